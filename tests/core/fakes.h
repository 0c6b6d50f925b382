#pragma once

// Stand-ins for the window, meters, gauge, tick, socket, log, event loop and
// message boxes, so the monitoring logic runs tick by tick in a test. Every
// call that changes something outside the logic is written to one shared
// journal, so tests can check the order of steps across ports.

#include "core/datagramsender.h"
#include "core/errorpresenter.h"
#include "core/eventlogger.h"
#include "core/eventpump.h"
#include "core/levelmeters.h"
#include "core/monitorfailure.h"
#include "core/monitorports.h"
#include "core/silencegauge.h"
#include "core/statusdisplay.h"
#include "core/ticktimer.h"
#include "support/portsof.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

struct Journal {
    QStringList entries;
    void add(const QString& e) { entries << e; }
};

class FakeStatus : public StatusDisplay {
public:
    explicit FakeStatus(Journal& j) : m_j(j) {}
    void setStatusText(const QString& text) override {
        m_text = text;
        m_j.add("status " + text);
    }
    QString statusText() const override { return m_text; }

private:
    Journal& m_j;
    QString m_text;
};

class FakeMeters : public LevelMeters {
public:
    explicit FakeMeters(Journal& j) : m_j(j) {}
    int leftLevel() override {
        ++leftReads;
        if (levelFailure)
            throw MonitorFailure{levelFailure};
        return left;
    }
    int rightLevel() override {
        ++rightReads;
        return right;
    }
    void setLeftThreshold(int p) override {
        leftThreshold = p;
        m_j.add(QString("left marker %1").arg(p));
    }
    void setRightThreshold(int p) override {
        if (thresholdFailure)
            throw MonitorFailure{thresholdFailure};
        rightThreshold = p;
        m_j.add(QString("right marker %1").arg(p));
    }
    void setLevels(int l, int r) {
        left = l;
        right = r;
    }

    int left = 0, right = 0;
    int leftThreshold = -1, rightThreshold = -1;
    int leftReads = 0, rightReads = 0;
    // Non-zero: the call fails with this code, as a broken port would.
    int levelFailure = 0, thresholdFailure = 0;

private:
    Journal& m_j;
};

class FakeGauge : public SilenceGauge {
public:
    explicit FakeGauge(Journal& j) : m_j(j) {}
    void setMaximum(int m) override {
        maximum = m;
        m_j.add(QString("gauge max %1").arg(m));
    }
    void setPosition(int p) override {
        position = p;
        positions << p;
        m_j.add(QString("gauge pos %1").arg(p));
    }
    int maximum = -1, position = -1;
    QList<int> positions;

private:
    Journal& m_j;
};

class FakeTimer : public TickTimer {
public:
    explicit FakeTimer(Journal& j) : m_j(j) {}
    void start() override {
        ++starts;
        active = true;
        m_j.add("tick start");
    }
    void stop() override {
        active = false;
        m_j.add("tick stop");
    }
    bool isActive() const override { return active; }
    bool active = false;
    int starts = 0;

private:
    Journal& m_j;
};

class FakeSender : public DatagramSender {
public:
    explicit FakeSender(Journal& j) : m_j(j) {}
    int sendDatagram(const QByteArray& payload) override {
        sent << payload;
        m_j.add("send " + QString::fromLatin1(payload));
        return result;
    }
    QList<QByteArray> sent;
    int result = 0;

private:
    Journal& m_j;
};

class FakeLogger : public EventLogger {
public:
    explicit FakeLogger(Journal& j) : m_j(j) {}
    bool writeLog(const QString& message, QString* error) override {
        m_j.add("log " + message);
        if (fail) {
            if (error)
                *error = "Kan niet schrijven naar het logbestand /x/sondral.log: disk full";
            return false;
        }
        lines << message;
        return true;
    }
    QStringList lines;
    bool fail = false;

private:
    Journal& m_j;
};

// Runs whatever a test puts in onPump, as if those events were pending when
// the tick let the event loop run.
class FakePump : public EventPump {
public:
    void processPendingEvents() override {
        ++calls;
        if (onPump)
            onPump();
    }
    std::function<void()> onPump;
    int calls = 0;
};

// Records each sequence of texts.
class FakePresenter : public ErrorPresenter {
public:
    void present(const QStringList& texts) override { sequences << texts; }
    QList<QStringList> sequences;
};

struct Fakes {
    Journal journal;
    FakeStatus status{journal};
    FakeMeters meters{journal};
    FakeGauge gauge{journal};
    FakeTimer timer{journal};
    FakeSender sender{journal};
    FakeLogger logger{journal};
    FakePump pump;
    FakePresenter presenter;

    MonitorPorts ports() { return portsOf(*this); }
};
