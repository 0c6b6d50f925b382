// Drives Monitor with a fuzzed run: settings, then a sequence of datagrams
// (random bytes, keywords, near misses), ticks with fuzzed levels, ticks
// that find a datagram waiting on the socket, and failing sends. Checks: no
// crash; a payload that is not one of the eight keywords changes nothing but
// LastDatagram; every keyword and tick leaves the state that the monitoring
// rules give.

#include "core/monitor.h"
#include "core/station.h"
#include "settings/settings.h"
#include "support/fakeports.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

[[noreturn]] void fuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

class Run {
public:
    explicit Run(const Settings& s) : m_settings(s), m_monitor(m_settings, station, timer, link) {
        events.attach(station);
    }

    Station station;
    FakeTimer timer;
    FakeLink link;
    StationRecorder events;

    void deliver(const QByteArray& payload) {
        const auto before = snapshot();
        const StationState old = station.state();
        m_monitor.Winsock1_DataArrival(payload);
        const ModeState& st = station.state().modes;
        if (st.LastDatagram != QString::fromLatin1(payload))
            fuzzFail("LastDatagram is not the payload, one character per byte");
        if (!isKeyword(payload)) {
            if (snapshot() != before)
                fuzzFail("a payload that is no keyword changed the state");
            return;
        }
        checkKeyword(payload, old, before);
    }

    // One tick as the timer fires it; middle, when given, waits on the
    // socket when the tick looks.
    void tick(int left, int right, const QByteArray* middle) {
        const StationState old = station.state();
        if (!old.tickRunning) {
            const auto before = snapshot();
            m_monitor.tmrSN_Timer(left, right);
            if (snapshot() != before)
                fuzzFail("a stopped tick did something");
            return;
        }
        const int sentBefore = int(link.sent.size());
        const auto boxesBefore = events.boxes.size();
        if (middle)
            link.pending << DatagramLink::Received{*middle, 0};
        m_monitor.tmrSN_Timer(left, right);
        if (!link.pending.isEmpty())
            fuzzFail("a datagram waiting on the socket was left for after the tick");
        if (middle)
            return; // the datagram in the middle makes the outcome its own
        const ModeState& st = station.state().modes;
        const double half = old.modes.ArmedVol / 2.0;
        const bool silent = half > left && half > right;
        if (silent && old.modes.SilenceCount == 32767) {
            if (st.SilenceCount != 32767)
                fuzzFail("the counter passed 32767");
            if (events.boxes.size() == boxesBefore)
                fuzzFail("an overflow was not reported");
            return;
        }
        const int expected = silent ? old.modes.SilenceCount + 1 : 0;
        if (st.SilenceCount != expected || station.state().gaugePosition != expected)
            fuzzFail("silence count or gauge position wrong after a tick");
        if (expected > old.modes.ArmedTime) {
            if (station.state().statusText() != QLatin1String("SONDRAL GEACTIVEERD!") ||
                !station.state().alarmActive())
                fuzzFail("alarm without the alarm status text");
            if (link.result == 0 && (link.sent.size() != sentBefore + 1 || timer.active))
                fuzzFail("a sent alarm did not stop the tick");
            if (link.result != 0 && !timer.active)
                fuzzFail("a failed alarm stopped the tick, so it is never retried");
        } else if (link.sent.size() != sentBefore || !timer.active) {
            fuzzFail("alarm or stop below the time limit");
        }
    }

    void checkInvariants() const {
        const StationState& s = station.state();
        if (s.modes.Mode < 0 || s.modes.Mode > 6)
            fuzzFail("Mode outside 0..6");
        if (s.modes.SilenceCount < 0)
            fuzzFail("negative silence count");
        if (s.tickRunning != timer.active)
            fuzzFail("the state and the timer disagree on the tick");
        for (const QByteArray& sent : link.sent)
            if (sent != "SN_ALARM")
                fuzzFail("something other than SN_ALARM was sent");
        if (s.alarmActive() != (s.statusText() == QLatin1String("SONDRAL GEACTIVEERD!")))
            fuzzFail("the alarm stands without its status text, or the other way round");
    }

    bool tickRunning() const { return timer.active; }

private:
    using Snapshot = std::tuple<qint16, qint16, qint16, qint16, ShownStatus, QString, int, bool,
                                int, qsizetype, qsizetype, int>;

    Snapshot snapshot() const {
        const StationState& s = station.state();
        return {s.modes.Mode,        s.modes.ArmedVol, s.modes.ArmedTime,    s.modes.SilenceCount,
                s.modes.SavedStatus, s.statusText(),   s.gaugePosition,      s.tickRunning,
                timer.calls,         link.sent.size(), events.events.size(), link.attempts};
    }

    void checkKeyword(const QByteArray& p, const StationState& oldState, const Snapshot& before) {
        const ModeState& st = station.state().modes;
        const ModeState& old = oldState.modes;
        const QString status = station.state().statusText();
        const bool wasActive = oldState.tickRunning;
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
            if (st.Mode != r.mode || status != QLatin1String(r.text) || st.ArmedVol != r.vol ||
                st.ArmedTime != r.time || st.SilenceCount != 0 ||
                station.state().gaugePosition != oldState.gaugePosition)
                fuzzFail("a source keyword did not arm its source");
            const bool expectActive = (r.vol > 0 && r.time > 0) || wasActive;
            if (timer.active != expectActive)
                fuzzFail("a source keyword left the tick in the wrong state");
            return;
        }
        if (p == "SN_LIVE") {
            if (st.Mode != 1 || status != QLatin1String("LIVE") || timer.active ||
                st.SilenceCount != 0 || station.state().gaugePosition != 0 ||
                st.ArmedVol != old.ArmedVol || st.ArmedTime != old.ArmedTime)
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
            if (status != QLatin1String("PAUSE") || st.SavedStatus != oldState.shown ||
                timer.active || st.SilenceCount != old.SilenceCount || !station.state().paused())
                fuzzFail("SN_PAUSE_ON did not pause the automation");
            return;
        }
        const bool expectActive = wasActive || oldState.statusText() == QLatin1String("PAUSE");
        StationState restored = oldState;
        restored.shown = old.SavedStatus;
        if (status != restored.statusText() || timer.active != expectActive ||
            st.SilenceCount != old.SilenceCount)
            fuzzFail("SN_PAUSE_OFF did not resume the automation");
    }

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
    // A byte the engine no longer reads (logging is the log's own concern),
    // kept so that the seed corpus means what it meant.
    in.ConsumeBool();
    Run run(s);

    int steps = 0;
    while (in.remaining_bytes() > 0 && ++steps < 4000) {
        switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
        case 1:
            run.deliver(payload(in));
            break;
        case 2:
            if (run.tickRunning())
                run.tick(level(in), level(in), nullptr);
            break;
        case 3:
            if (run.tickRunning()) {
                const QByteArray middle = payload(in);
                const int l = level(in);
                const int r = level(in);
                run.tick(l, r, &middle);
            }
            break;
        case 4: {
            static const int codes[] = {0, 0, 10054, 11001, 10065, 10040};
            run.link.result = codes[in.ConsumeIntegralInRange<int>(0, 5)];
            break;
        }
        case 5:
            // A tick the timer would not fire: a stopped tick does nothing.
            if (!run.tickRunning())
                run.tick(level(in), level(in), nullptr);
            break;
        }
        run.checkInvariants();
    }
    return 0;
}
