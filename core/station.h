#pragma once

#include "core/stationevent.h"
#include "core/stationstate.h"

#include <QByteArray>
#include <QObject>

#include <deque>

// The one station state and the one stream of its events. Writers change
// the state through edit() and then say so (notifyChanged, publish); every
// output is a reader connected to the two signals, all on the UI thread.
// Events reach every reader in one order: an event published while another
// is being handed out (a reader that publishes, as the outage does) is
// queued and handed out after it, to every reader.
//
// The run ends once (end()): RunEnded is the last event, and from then on
// nothing is published or changed. Every part of the program asks ended()
// instead of keeping a flag of its own.
class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(QObject* parent = nullptr);

    const StationState& state() const { return m_state; }
    StationState& edit() { return m_state; }

    // Stamps the event with the time now and hands it to every reader, with
    // the state as it stands now (a copy: a reader's edits show in the
    // events that follow, never in this one). Nothing once the run has ended.
    void publish(StationEvent::Kind kind, const QString& text = {}, int code = 0);
    // Counts one datagram received from the server, by its keyword (or as
    // another payload), and stamps it with the time now. Nothing once the
    // run has ended.
    void countDatagram(const QByteArray& payload);
    // The state changed: readers that show it show it afresh.
    void notifyChanged();

    // Publishes RunEnded with "Program Closed", once; returns false when the
    // run had already ended.
    bool end();
    bool ended() const { return m_ended; }

signals:
    void eventPublished(const StationEvent& event, const StationState& state);
    void changed(const StationState& state);

private:
    struct Pending {
        StationEvent event;
        StationState state;
    };

    StationState m_state;
    bool m_ended = false;
    bool m_dispatching = false;
    std::deque<Pending> m_pending;
};
