#pragma once

// In-memory ports for driving Monitor from a fuzz target. Every fake counts
// the calls made on it, so a datagram that must change nothing can be checked
// by comparing two snapshots.

#include "core/datagramsender.h"
#include "core/errorpresenter.h"
#include "core/eventlogger.h"
#include "core/eventpump.h"
#include "core/levelmeters.h"
#include "core/silencegauge.h"
#include "core/statusdisplay.h"
#include "core/ticktimer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>

[[noreturn]] inline void fuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

struct FakeStatus : StatusDisplay {
    QString text;
    int writes = 0;
    void setStatusText(const QString& t) override {
        text = t;
        ++writes;
    }
    QString statusText() const override { return text; }
};

struct FakeMeters : LevelMeters {
    int left = 0;
    int right = 0;
    int leftThreshold = 0;
    int rightThreshold = 0;
    int thresholdWrites = 0;
    int leftLevel() override { return left; }
    int rightLevel() override { return right; }
    void setLeftThreshold(int p) override {
        leftThreshold = p;
        ++thresholdWrites;
    }
    void setRightThreshold(int p) override {
        rightThreshold = p;
        ++thresholdWrites;
    }
};

struct FakeGauge : SilenceGauge {
    int maximum = 0;
    int position = 0;
    int writes = 0;
    void setMaximum(int m) override {
        maximum = m;
        ++writes;
    }
    void setPosition(int p) override {
        position = p;
        ++writes;
    }
};

struct FakeTimer : TickTimer {
    bool active = false;
    int calls = 0;
    void start() override {
        active = true;
        ++calls;
    }
    void stop() override {
        active = false;
        ++calls;
    }
    bool isActive() const override { return active; }
};

struct FakeSender : DatagramSender {
    int failWith = 0; // 0: sends succeed
    int attempts = 0;
    int sent = 0;
    int sendDatagram(const QByteArray& payload) override {
        if (payload != "SN_ALARM")
            fuzzFail("something other than SN_ALARM was sent");
        ++attempts;
        if (failWith)
            return failWith;
        ++sent;
        return 0;
    }
};

struct FakeLogger : EventLogger {
    bool fail = false;
    QStringList lines;
    int attempts = 0;
    bool writeLog(const QString& message, QString* error) override {
        ++attempts;
        if (fail) {
            if (error)
                *error = QStringLiteral("Kan niet schrijven naar het logbestand: schijf vol");
            return false;
        }
        lines << message;
        return true;
    }
};

// Runs a hook in the middle of a tick, where the real pump would let
// datagrams (and even another tick) through.
struct FakePump : EventPump {
    std::function<void()> hook;
    void processPendingEvents() override {
        if (hook) {
            auto h = std::move(hook);
            hook = nullptr;
            h();
        }
    }
};

struct FakePresenter : ErrorPresenter {
    int sequences = 0;
    void present(const QStringList& texts) override {
        if (texts.isEmpty())
            fuzzFail("an empty box sequence was presented");
        ++sequences;
    }
};
