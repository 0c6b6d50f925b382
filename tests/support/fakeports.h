#pragma once

// Stand-ins for the monitor's ports (the tick timer and the datagram link)
// and a recorder of the station's events, shared by the unit tests and the
// fuzz target. Every call that changes something outside the monitor, and
// every event, can be written to one journal, so tests can check the order
// of steps across them.

#include "core/datagramlink.h"
#include "core/failuretexts.h"
#include "core/station.h"
#include "core/ticktimer.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>

struct FakeTimer : TickTimer {
    QStringList* journal = nullptr;
    bool active = false;
    int starts = 0;
    int calls = 0;
    void start() override {
        active = true;
        ++starts;
        ++calls;
        if (journal)
            journal->append("tick start");
    }
    void stop() override {
        active = false;
        ++calls;
        if (journal)
            journal->append("tick stop");
    }
};

// Sends succeed unless result is set; pending holds what waits on the
// socket when a tick asks for it, and onTake runs at the first such ask (a
// datagram arriving while the tick runs).
struct FakeLink : DatagramLink {
    QStringList* journal = nullptr;
    QList<QByteArray> sent;
    int attempts = 0;
    int result = 0;
    QList<Received> pending;
    std::function<void()> onTake;
    int takes = 0;

    int sendDatagram(const QByteArray& payload) override {
        ++attempts;
        if (journal)
            journal->append("send " + QString::fromLatin1(payload));
        if (result == 0)
            sent << payload;
        return result;
    }
    std::optional<Received> takePending() override {
        ++takes;
        if (onTake) {
            auto hook = std::move(onTake);
            onTake = nullptr;
            hook();
        }
        if (pending.isEmpty())
            return std::nullopt;
        return pending.takeFirst();
    }
};

// What the readers of a station would get: the event log's lines ("log X"
// in the journal), the operator's failure boxes, the gauge after each tick.
struct StationRecorder {
    QStringList* journal = nullptr;
    QList<StationEvent> events;
    QStringList logLines;
    QList<QStringList> boxes;
    QList<int> gaugePositions;

    void attach(Station& station) {
        QObject::connect(&station, &Station::eventPublished, &station,
                         [this](const StationEvent& e, const StationState& s) { record(e, s); });
    }
    void record(const StationEvent& e, const StationState& s) {
        events << e;
        using Kind = StationEvent::Kind;
        if (StationEvent::isLogged(e)) {
            logLines << e.text;
            if (journal)
                journal->append("log " + e.text);
        }
        if (e.kind == Kind::TickCounted)
            gaugePositions << s.gaugePosition;
        QStringList texts;
        if (e.kind == Kind::DatagramFailed)
            texts = FailureTexts::datagram(e.code);
        if (e.kind == Kind::AlarmSendFailed || e.kind == Kind::TickFailed ||
            (e.kind == Kind::AlarmRaised && e.code != 0))
            texts = FailureTexts::tick(e.code);
        if (!texts.isEmpty())
            boxes << texts;
    }
    int count(StationEvent::Kind kind) const {
        int n = 0;
        for (const StationEvent& e : events)
            n += e.kind == kind;
        return n;
    }
};
