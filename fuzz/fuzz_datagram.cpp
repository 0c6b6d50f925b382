// Drives Monitor with a fuzzed run: settings, then a sequence of datagrams
// (random bytes, keywords, near misses), ticks with fuzzed levels, ticks that
// let a datagram and a second tick in at their midpoint, and failing sends,
// logs and open message boxes. Checks: no crash; a payload that is not one
// of the eight keywords changes nothing but LastDatagram; every keyword and
// tick leaves the state that the monitoring rules give.

#include "core/modestate.h"
#include "core/monitor.h"
#include "core/monitorports.h"
#include "fuzz/fakeports.h"
#include "settings/settings.h"
#include "tests/support/portsof.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <tuple>

namespace {

const std::array<const char*, 8> Keywords = {"SN_AUTO",     "SN_LIVE",     "SN_FEED_1",
                                             "SN_FEED_2",   "SN_FEED_3",   "SN_FEED_4",
                                             "SN_PAUSE_ON", "SN_PAUSE_OFF"};

// Payloads one byte away from a keyword, and the alarm going the wrong way.
const std::array<QByteArray, 8> NearMisses = {
    QByteArray("sn_auto"),     QByteArray("SN_AUTO "),
    QByteArray("SN_AUTO\r\n"), QByteArray("SN_AUTO\0", 8),
    QByteArray(" SN_LIVE"),    QByteArray("SN_FEED_5"),
    QByteArray("SN_ALARM"),    QByteArray("SN_PAUSE_ONSN_PAUSE_OFF")};

bool isKeyword(const QByteArray& p) {
    for (const char* k : Keywords)
        if (p == k)
            return true;
    return false;
}

class Run {
public:
    explicit Run(const Settings& s) : m_settings(s), m_monitor(m_settings, ports()) {}

    FakeStatus status;
    FakeMeters meters;
    FakeGauge gauge;
    FakeTimer timer;
    FakeSender sender;
    FakeLogger logger;
    FakePump pump;
    FakePresenter presenter;

    void deliver(const QByteArray& payload) {
        const auto before = snapshot();
        const ModeState old = m_monitor.state();
        const QString oldStatus = status.text;
        const bool wasActive = timer.active;
        m_monitor.Winsock1_DataArrival(payload);
        const ModeState& st = m_monitor.state();
        if (st.LastDatagram != QString::fromLatin1(payload))
            fuzzFail("LastDatagram is not the payload, one character per byte");
        if (!isKeyword(payload)) {
            if (snapshot() != before)
                fuzzFail("a payload that is no keyword changed the state");
            return;
        }
        checkKeyword(payload, old, oldStatus, wasActive, before);
    }

    // One tick as the timer fires it; hook runs in its middle.
    void tick(int left, int right, std::function<void()> hook) {
        meters.left = left;
        meters.right = right;
        const ModeState old = m_monitor.state();
        const bool hooked = bool(hook);
        const int sentBefore = sender.sent;
        const int sequencesBefore = presenter.sequences;
        pump.hook = std::move(hook);
        m_monitor.tmrSN_Timer();
        pump.hook = nullptr;
        if (hooked)
            return; // the datagram in the middle makes the outcome its own
        const ModeState& st = m_monitor.state();
        const double half = old.ArmedVol / 2.0;
        const bool silent = half > left && half > right;
        if (silent && old.SilenceCount == 32767) {
            if (st.SilenceCount != 32767)
                fuzzFail("the counter passed 32767");
            if (presenter.sequences == sequencesBefore)
                fuzzFail("an overflow was not reported");
            return;
        }
        const int expected = silent ? old.SilenceCount + 1 : 0;
        if (st.SilenceCount != expected || gauge.position != expected)
            fuzzFail("silence count or gauge position wrong after a tick");
        if (expected > old.ArmedTime) {
            if (status.text != QLatin1String("SONDRAL GEACTIVEERD!"))
                fuzzFail("alarm without the alarm status text");
            if (sender.failWith == 0 && (sender.sent != sentBefore + 1 || timer.active))
                fuzzFail("a sent alarm did not stop the tick");
            if (sender.failWith != 0 && !timer.active)
                fuzzFail("a failed alarm stopped the tick, so it is never retried");
        } else if (sender.sent != sentBefore || !timer.active) {
            fuzzFail("alarm or stop below the time limit");
        }
    }

    void checkInvariants() const {
        const ModeState& st = m_monitor.state();
        if (st.Mode < 0 || st.Mode > 6)
            fuzzFail("Mode outside 0..6");
        if (st.SilenceCount < 0)
            fuzzFail("negative silence count");
        if (!m_settings.Log && logger.attempts != 0)
            fuzzFail("logged with Log off");
    }

    Monitor& monitor() { return m_monitor; }

private:
    using Snapshot = std::tuple<qint16, qint16, qint16, qint16, QString, QString, int, int, int,
                                int, int, int, int, int, bool, int, int, int, int, int>;

    Snapshot snapshot() const {
        const ModeState& st = m_monitor.state();
        return {st.Mode,
                st.ArmedVol,
                st.ArmedTime,
                st.SilenceCount,
                st.SavedStatus,
                status.text,
                status.writes,
                meters.leftThreshold,
                meters.rightThreshold,
                meters.thresholdWrites,
                gauge.maximum,
                gauge.position,
                gauge.writes,
                timer.calls,
                timer.active,
                sender.attempts,
                sender.sent,
                logger.attempts,
                int(logger.lines.size()),
                presenter.sequences};
    }

    void checkKeyword(const QByteArray& p, const ModeState& old, const QString& oldStatus,
                      bool wasActive, const Snapshot& before) {
        const ModeState& st = m_monitor.state();
        const Settings& s = m_settings;
        struct Row {
            const char* keyword;
            qint16 mode;
            const char* text;
            qint16 vol;
            qint16 time;
        };
        const Row rows[] = {{"SN_AUTO", 2, "AUTOMAAT", s.AutoVol, s.Autotime},
                            {"SN_FEED_1", 3, "FEED 1", s.Feed1Vol, s.Feed1time},
                            {"SN_FEED_2", 4, "FEED 2", s.Feed2Vol, s.Feed2time},
                            {"SN_FEED_3", 5, "FEED 3", s.Feed3Vol, s.Feed3time},
                            {"SN_FEED_4", 6, "FEED 4", s.Feed4Vol, s.Feed4time}};
        for (const Row& r : rows) {
            if (p != r.keyword)
                continue;
            if (st.Mode != r.mode || status.text != QLatin1String(r.text) ||
                meters.leftThreshold != r.vol || meters.rightThreshold != r.vol ||
                st.ArmedVol != r.vol || st.ArmedTime != r.time || gauge.maximum != r.time ||
                st.SilenceCount != 0)
                fuzzFail("a source keyword did not arm its source");
            const bool expectActive = (r.vol > 0 && r.time > 0) || wasActive;
            if (timer.active != expectActive)
                fuzzFail("a source keyword left the tick in the wrong state");
            return;
        }
        if (p == "SN_LIVE") {
            if (st.Mode != 1 || status.text != QLatin1String("LIVE") || timer.active ||
                st.SilenceCount != 0 || gauge.position != 0 || st.ArmedVol != old.ArmedVol ||
                st.ArmedTime != old.ArmedTime)
                fuzzFail("SN_LIVE did not switch to an unmonitored live studio");
            return;
        }
        const bool pauseOn = p == "SN_PAUSE_ON";
        if (old.Mode != 2 || (pauseOn && !wasActive)) {
            if (snapshot() != before)
                fuzzFail("a pause or resume that must be ignored changed the state");
            return;
        }
        if (pauseOn) {
            if (status.text != QLatin1String("PAUSE") || st.SavedStatus != oldStatus ||
                timer.active || st.SilenceCount != old.SilenceCount)
                fuzzFail("SN_PAUSE_ON did not pause the automation");
            return;
        }
        const bool expectActive = wasActive || oldStatus == QLatin1String("PAUSE");
        if (status.text != old.SavedStatus || timer.active != expectActive ||
            st.SilenceCount != old.SilenceCount)
            fuzzFail("SN_PAUSE_OFF did not resume the automation");
    }

    MonitorPorts ports() { return portsOf(*this); }

    Settings m_settings;
    Monitor m_monitor;
};

QByteArray payload(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        return QByteArray(Keywords[in.ConsumeIntegralInRange<size_t>(0, Keywords.size() - 1)]);
    case 1:
        return NearMisses[in.ConsumeIntegralInRange<size_t>(0, NearMisses.size() - 1)];
    default: {
        // Up to the largest UDP payload.
        const std::string bytes = in.ConsumeRandomLengthString(65507);
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    }
}

int level(FuzzedDataProvider& in) {
    // Mostly on the meters' 0..100 scale, now and then anything at all.
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 100) : in.ConsumeIntegral<int>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Settings s;
    for (qint16* f : {&s.AutoVol, &s.Autotime, &s.Feed1Vol, &s.Feed1time, &s.Feed2Vol, &s.Feed2time,
                      &s.Feed3Vol, &s.Feed3time, &s.Feed4Vol, &s.Feed4time})
        *f = in.ConsumeBool() ? in.ConsumeIntegralInRange<qint16>(0, 100)
                              : in.ConsumeIntegral<qint16>();
    s.Log = in.ConsumeBool();
    Run run(s);

    int steps = 0;
    while (in.remaining_bytes() > 0 && ++steps < 4000) {
        switch (in.ConsumeIntegralInRange<int>(0, 6)) {
        case 0:
        case 1:
            run.deliver(payload(in));
            break;
        case 2:
            if (run.timer.active)
                run.tick(level(in), level(in), nullptr);
            break;
        case 3:
            if (run.timer.active) {
                const QByteArray middle = payload(in);
                const int l = level(in);
                const int r = level(in);
                run.tick(l, r, [&run, middle] {
                    run.deliver(middle);
                    // A tick that fires while another waits in its middle
                    // must do nothing at all.
                    const ModeState before = run.monitor().state();
                    const int writes = run.gauge.writes + run.status.writes;
                    run.monitor().tmrSN_Timer();
                    if (run.monitor().state().SilenceCount != before.SilenceCount ||
                        run.gauge.writes + run.status.writes != writes)
                        fuzzFail("a re-entrant tick did something");
                });
            }
            break;
        case 4: {
            static const int codes[] = {0, 0, 10054, 11001, 10065, 10040};
            run.sender.failWith = codes[in.ConsumeIntegralInRange<int>(0, 5)];
            break;
        }
        case 5:
            run.logger.fail = in.ConsumeBool();
            break;
        case 6:
            break; // the operator closes a box: nothing the handlers see
        }
        run.checkInvariants();
    }
    return 0;
}
