// A long run of a station's life: sources switching, programme and silence,
// pauses, live studio, alarms and recoveries, with junk datagrams throughout.
// Resident memory, open descriptors and threads are sampled every few
// seconds; at the end no growth beyond noise may show, every event's log
// line must be there in order, and every alarm (and only those) must have
// reached the server.
//
// SONDRAL_SOAK_SECONDS sets the length (60 s by default, for the test run,
// about ten cycles with several alarms; scripts/soak.sh runs an hour). With SONDRAL_SOAK_STATUS=1
// the status page is on and polled as an open browser tab would (the state at the meters' pace, the
// clip list and the newest clip now and then); SONDRAL_SOAK_CURVE names a file that gets one line
// "seconds KiB" of resident memory every 30 s, so the curve of a long run can be read while it
// runs.

#include "acceptance/station.h"
#include "robustness/datagramflood.h"
#include "robustness/processprobe.h"
#include "support/stationclock.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

struct Source {
    QByteArray keyword;
    QString logText;
    int limitSeconds; // the time setting: alarm on the (limit + 1)-th silent second
};

const QList<Source> Sources = {
    {"SN_AUTO", QStringLiteral("Server Running AUTO"), 2},
    {"SN_FEED_1", QStringLiteral("Server Running FEED 1"), 1},
    {"SN_FEED_2", QStringLiteral("Server Running FEED 2"), 3},
    {"SN_FEED_3", QStringLiteral("Server Running FEED 3"), 2},
    {"SN_FEED_4", QStringLiteral("Server Running FEED 4"), 1},
};

const QString Activated = QStringLiteral("SONDRAL ACTIVATED");

int soakSeconds() {
    const int s = qEnvironmentVariableIntValue("SONDRAL_SOAK_SECONDS");
    return s > 0 ? s : 60;
}

struct Sample {
    qint64 atMs;
    qint64 rssKiB;
    int descriptors;
    int threads;
};

} // namespace

class TstSoak : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void longRunKeepsResourcesAndLogLines();

private:
    void wait(int ms);
    void sample();
    void send(const QByteArray& keyword, const QString& logText = {});
    // Silence until the alarm arrives; false when it does not come in time.
    bool silenceUntilAlarm(int limitSeconds);

    void pollStatus();

    Station m_station;
    std::unique_ptr<DatagramFlood> m_junk;
    quint16 m_statusPort = 0;
    QNetworkAccessManager m_web;
    QTimer m_poll;
    qint64 m_polls = 0;
    qint64 m_pollFailures = 0;
    qint64 m_clipBytes = 0;
    QString m_curvePath;
    QStringList m_missed; // alarms not in time, in a memory run
    qint64 m_nextCurveMs = 0;
    qint64 m_startMs = 0;
    qint64 m_pid = 0;
    QList<Sample> m_samples;
    qint64 m_nextSampleMs = 0;
    QStringList m_expected;
    qsizetype m_expectedAlarms = 0;
    QString m_failure; // why silenceUntilAlarm() returned false
};

void TstSoak::initTestCase() {
    if (const QString missing = Station::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY2(m_station.bringUp(), qPrintable(m_station.error()));
    QByteArray ini = "[Audio]\r\nLog=1\r\nAutoVol=20\r\n";
    for (const Source& s : Sources) {
        const QByteArray name = s.keyword == "SN_AUTO" ? "Auto" : "Feed" + s.keyword.right(1);
        ini += name + "Vol=20\r\n" + name + "Time=" + QByteArray::number(s.limitSeconds) + "\r\n";
    }
    ini += m_station.linkSection();
    if (qEnvironmentVariableIntValue("SONDRAL_SOAK_STATUS") == 1) {
        QTcpServer probe; // a port that was free a moment ago
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        m_statusPort = probe.serverPort();
        probe.close();
        ini += "[Status]\r\nPort=" + QByteArray::number(m_statusPort) + "\r\n";
    }
    m_curvePath = qEnvironmentVariable("SONDRAL_SOAK_CURVE");
    QVERIFY2(m_station.launch(QStringLiteral("soak"), ini), qPrintable(m_station.error()));
    m_pid = ProcessProbe::pidOfExecutable(m_station.sondral().dir() + QStringLiteral("/sondral"));
    QVERIFY(m_pid > 0);
    m_expected << QStringLiteral("Program started Up");
    m_startMs = StationClock::nowMs();
    if (m_statusPort != 0) {
        m_poll.setInterval(400); // below 500 ms: the page counts as watched
        connect(&m_poll, &QTimer::timeout, this, &TstSoak::pollStatus);
        m_poll.start();
    }
}

void TstSoak::pollStatus() {
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(m_statusPort);
    auto get = [this, base](const QString& path, auto done) {
        QNetworkReply* reply = m_web.get(QNetworkRequest(QUrl(base + path)));
        reply->setReadBufferSize(0);
        connect(reply, &QNetworkReply::finished, this, [this, reply, done] {
            ++m_polls;
            if (reply->error() != QNetworkReply::NoError)
                ++m_pollFailures;
            done(reply->readAll());
            reply->deleteLater();
        });
    };
    get(QStringLiteral("/status.json"), [](const QByteArray&) {});
    // Every 25th poll (10 s): the list, the metrics and the newest clip.
    if (m_polls % 25 != 0)
        return;
    get(QStringLiteral("/metrics"), [](const QByteArray&) {});
    get(QStringLiteral("/clips.json"), [this, base, get](const QByteArray& list) {
        static const QRegularExpression name(QStringLiteral(R"([A-Za-z0-9_.-]+\.flac)"));
        const QString clip = name.match(QString::fromUtf8(list)).captured(0);
        if (!clip.isEmpty())
            get(QStringLiteral("/clips/") + clip,
                [this](const QByteArray& body) { m_clipBytes += body.size(); });
    });
}

void TstSoak::sample() {
    const qint64 now = StationClock::nowMs();
    if (now < m_nextSampleMs)
        return;
    m_nextSampleMs = now + 5000;
    m_samples.append({now, ProcessProbe::residentKiB(m_pid), ProcessProbe::openDescriptors(m_pid),
                      ProcessProbe::threads(m_pid)});
    if (!m_curvePath.isEmpty() && now >= m_nextCurveMs) {
        m_nextCurveMs = now + 30000;
        QFile curve(m_curvePath);
        if (curve.open(QIODevice::Append | QIODevice::Text))
            curve.write(QByteArray::number((now - m_startMs) / 1000) + ' ' +
                        QByteArray::number(m_samples.last().rssKiB) + '\n');
    }
}

void TstSoak::wait(int ms) {
    const qint64 end = StationClock::nowMs() + ms;
    while (StationClock::nowMs() < end) {
        QTest::qWait(int(qMin<qint64>(250, end - StationClock::nowMs())));
        sample();
    }
}

void TstSoak::send(const QByteArray& keyword, const QString& logText) {
    m_station.send(keyword);
    if (!logText.isEmpty())
        m_expected << logText;
}

bool TstSoak::silenceUntilAlarm(int limitSeconds) {
    const qsizetype arrivals = m_station.peer().arrivals().size();
    m_station.programme().silence();
    // Counted from when the silence reaches the sink (later than now when the
    // player has a backlog). The level looks back one second, and the tick's
    // phase adds up to one.
    const qint64 backlogMs = m_station.programme().lastChangeMs() - StationClock::nowMs();
    const qint64 end = m_station.programme().lastChangeMs() + (limitSeconds + 1) * 1000 + 4000;
    while (StationClock::nowMs() < end && m_station.peer().arrivals().size() == arrivals)
        wait(100);
    if (m_station.peer().arrivals().size() != arrivals + 1) {
        m_failure = QStringLiteral("%1 alarms within %2 s of silence (player backlog %3 ms)")
                        .arg(m_station.peer().arrivals().size() - arrivals)
                        .arg(limitSeconds + 5)
                        .arg(backlogMs);
        return false;
    }
    ++m_expectedAlarms;
    m_expected << Activated;
    return true;
}

void TstSoak::longRunKeepsResourcesAndLogLines() {
    SondralInstance& sondral = m_station.sondral();
    TonePlayer& programme = m_station.programme();
    const quint32 seed = quint32(StationClock::nowMs());
    QRandomGenerator random(seed);
    m_junk = std::make_unique<DatagramFlood>(2, seed);
    QVERIFY(m_junk->start(m_station.hostPort(), 200));

    const qint64 start = StationClock::nowMs();
    const qint64 end = start + qint64(soakSeconds()) * 1000;
    int cycles = 0;
    while (StationClock::nowMs() < end) {
        ++cycles;
        const Source& source = Sources[random.bounded(int(Sources.size()))];
        programme.tone(-12 - random.bounded(20)); // -12 to -31 dBFS: loud enough
        send(source.keyword, source.logText);
        wait(1000 + random.bounded(2000));

        switch (random.bounded(5)) {
        case 0: // a short drop-out that must not alarm
            programme.silence();
            wait(500);
            programme.tone(-20);
            wait(2500);
            break;
        case 1: // the automation pauses through a silence, then resumes
            if (source.keyword == "SN_AUTO") {
                send("SN_PAUSE_ON", QStringLiteral("Server PAUSE ON"));
                programme.silence();
                wait(4000);
                programme.tone(-15);
                wait(500);
                send("SN_PAUSE_OFF", QStringLiteral("Server PAUSE OFF"));
                wait(2000);
            }
            break;
        case 2: // live studio: silence never alarms
            send("SN_LIVE", QStringLiteral("Server Running LIVE"));
            programme.silence();
            wait(4000);
            break;
        default: // dead air: the alarm, then the server names a source again
            if (!silenceUntilAlarm(source.limitSeconds)) {
                const QString why =
                    QStringLiteral("cycle %1 at %2 s: no single alarm for %3, %4 (seed %5); "
                                   "log ends: %6; output ends: %7")
                        .arg(cycles)
                        .arg((StationClock::nowMs() - start) / 1000)
                        .arg(QString::fromLatin1(source.keyword), m_failure)
                        .arg(seed)
                        .arg(sondral.messages()
                                 .mid(sondral.messages().size() - 4)
                                 .join(QStringLiteral(" | ")))
                        .arg(sondral.output().right(800));
                if (m_curvePath.isEmpty())
                    QFAIL(qPrintable(why));
                // A memory run goes on to the end, so that its curve is
                // whole; the miss fails it there.
                m_missed << why.left(200);
                qWarning("missed: %s", qPrintable(m_missed.last()));
            }
            programme.tone(-12);
            wait(1000);
            break;
        }
    }
    m_junk->stop();
    m_poll.stop();
    QVERIFY2(m_missed.isEmpty(), qPrintable(m_missed.join(QStringLiteral("; "))));
    send("SN_LIVE", QStringLiteral("Server Running LIVE"));
    QVERIFY(
        sondral.waitForMessage(QStringLiteral("Server Running LIVE"), m_expected.size() - 1, 5000));
    QVERIFY(sondral.isRunning());

    const auto& arrivals = m_station.peer().arrivals();
    qInfo("soak: %lld alarms expected, %lld reached the server; %lld log lines expected, %lld "
          "found",
          qint64(m_expectedAlarms), qint64(arrivals.size()), qint64(m_expected.size()),
          qint64(sondral.messages().size()));
    // Only alarms came back, one for each dead-air phase.
    QCOMPARE(arrivals.size(), m_expectedAlarms);
    for (const auto& a : arrivals)
        QCOMPARE(a.m_payload, QByteArray("SN_ALARM"));
    QCOMPARE(sondral.messages(), m_expected);

    // Resources: the last minute against the first one after the start.
    QVERIFY(m_samples.size() >= 4);
    const qsizetype window = qMax<qsizetype>(1, qMin<qsizetype>(12, m_samples.size() / 3));
    auto peak = [&](qsizetype from, auto field) {
        qint64 best = 0;
        for (qsizetype i = from; i < from + window; ++i)
            best = qMax<qint64>(best, field(m_samples[i]));
        return best;
    };
    const auto rss = [](const Sample& s) { return s.rssKiB; };
    const auto fds = [](const Sample& s) { return qint64(s.descriptors); };
    const auto threads = [](const Sample& s) { return qint64(s.threads); };
    const qsizetype last = m_samples.size() - window;
    qInfo("soak: %d cycles in %lld s, %lld alarms, %lld log lines, %lld junk datagrams, seed %u",
          cycles, (StationClock::nowMs() - start) / 1000, qint64(m_expectedAlarms),
          qint64(m_expected.size()), m_junk->sent(), seed);
    qInfo("RSS peak %lld -> %lld KiB, descriptors %lld -> %lld, threads %lld -> %lld", peak(0, rss),
          peak(last, rss), peak(0, fds), peak(last, fds), peak(0, threads), peak(last, threads));
    if (m_statusPort != 0)
        qInfo("soak: %lld status requests, %lld failed, %lld clip bytes fetched", m_polls,
              m_pollFailures, m_clipBytes);
    QVERIFY(peak(last, fds) <= peak(0, fds));
    QVERIFY(peak(last, threads) <= peak(0, threads));
#ifndef SONDRAL_SANITIZED
    QVERIFY2(peak(last, rss) - peak(0, rss) < 4096,
             qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(peak(last, rss) - peak(0, rss))));
#endif
}

QTEST_GUILESS_MAIN(TstSoak)
#include "tst_soak.moc"
