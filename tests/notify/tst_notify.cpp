// The paths that tell people: what a receiver gets and in which order, what
// a command sees, what is retried and what is given up.
#include "core/stationevent.h"
#include "core/stationstate.h"
#include "notify/commandpath.h"
#include "notify/heartbeatpath.h"
#include "notify/notification.h"
#include "notify/notifier.h"
#include "notify/webhookpath.h"
#include "settings/journal.h"
#include "settings/settings.h"
#include "support/httpreceiver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
Notification sample(const QString& event, int seconds) {
    return {event,
            QStringLiteral("FEED_2"),
            seconds,
            QDateTime(QDate(2026, 3, 5), QTime(9, 7, 4), QTimeZone(3600)),
            QStringLiteral("Radio Test"),
            QStringLiteral("Dead air."),
            {},
            {}};
}

// The journal's lines while it lives: standard error goes to a file.
class JournalCapture {
public:
    JournalCapture() : m_saved(::dup(STDERR_FILENO)) {
        Journal::flush(5000); // nothing of before in it
        m_file.open();
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~JournalCapture() { restore(); }
    QStringList lines() {
        Journal::flush(5000);
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved;
};

// The peak resident memory of this process, in KiB.
qint64 peakKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Gone, or a zombie that is only waiting to be reaped.
bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return errno == ESRCH;
    QFile stat(QString("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
}

QString freeClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QString::number(probe.serverPort()); // closed again when probe goes
}
} // namespace

class tst_Notify : public QObject {
    Q_OBJECT
private slots:
    void json();
    void urlsShownWithoutSecrets();
    void webhookRetriesUntilAccepted();
    void webhookReceiverDownThenBack();
    void webhookDropsOldestBeyondLimit();
    void webhookWithoutAnswerGivesUpOnce();
    void heartbeatOnlyWhileMonitoringWorks();
    void webhookTricklingReceiverCutOff();
    void heartbeatTricklingReceiverCutOff();
    void webhookRedirect_data();
    void webhookRedirect();
    void commandOutputBounded();
    void commandTimeoutKillsItsChildren();
    void command_data();
    void command();
    void commandRunsOneAtATime();
    void notificationsFromEvents_data();
    void notificationsFromEvents();
    void steadySignalAlarm();
    void unusableKeys_data();
    void unusableKeys();
};

void tst_Notify::json() {
    const Notification n = sample(QStringLiteral("alarm"), 4);
    QCOMPARE(n.isoTime(), QString("2026-03-05T09:07:04+01:00"));
    const QJsonObject o = QJsonDocument::fromJson(n.toJson()).object();
    QCOMPARE(o.keys(),
             (QStringList{"event", "silence_seconds", "source", "station", "text", "time"}));
    QCOMPARE(o.value("silence_seconds").toInt(), 4);
    QCOMPARE(o.value("source").toString(), QString("FEED_2"));
    // UTC still names its offset.
    Notification utc = n;
    utc.time = QDateTime(QDate(2026, 3, 5), QTime(8, 7, 4), QTimeZone::utc());
    QCOMPARE(utc.isoTime(), QString("2026-03-05T08:07:04+00:00"));
}

void tst_Notify::urlsShownWithoutSecrets() {
    QCOMPARE(shownUrl(QUrl("https://bot:pw@hooks.slack.com/services/T0/B0/XYZ?x=1#f")),
             QString("https://hooks.slack.com"));
    QCOMPARE(shownUrl(QUrl("http://127.0.0.1:8080/ping/uuid")), QString("http://127.0.0.1:8080"));
}

void tst_Notify::webhookRetriesUntilAccepted() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    receiver.setStatuses({503, 500, 404});
    WebhookPath path(QUrl(QString("http://127.0.0.1:%1/hook").arg(receiver.port())), "s3cret",
                     WebhookPath::RequestTimeoutMs);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("alarm", 4));
    path.send(sample("restored", 8));
    // Three refusals: 1 + 2 + 4 s of back-off.
    QVERIFY(QTest::qWaitFor([&] { return finished.size() == 2; }, 15000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    // The second waited for the first: four tries of the alarm, then one.
    QCOMPARE(receiver.requests().size(), 5);
    const QList<QByteArray> got = receiver.delivered();
    QCOMPARE(got.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(got[0]).object().value("event").toString(), QString("alarm"));
    QCOMPARE(QJsonDocument::fromJson(got[1]).object().value("event").toString(),
             QString("restored"));
    const HttpReceiver::Request& r = receiver.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, QByteArray("/hook"));
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(r.headers.value("authorization"), QByteArray("Bearer s3cret"));
    QVERIFY(path.idle());
}

void tst_Notify::webhookReceiverDownThenBack() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    const quint16 port = receiver.port();
    receiver.stop();
    WebhookPath path(QUrl(QString("http://127.0.0.1:%1/").arg(port)), {},
                     WebhookPath::RequestTimeoutMs);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("alarm", 4));
    path.send(sample("restored", 8));
    QTest::qWait(2500); // refused at 0, 1 and 3 s
    QCOMPARE(finished.size(), 0);
    QVERIFY(receiver.listen(port));
    QVERIFY(QTest::qWaitFor([&] { return finished.size() == 2; }, 8000));
    // Both, once each and in order, as soon as it is back.
    QCOMPARE(receiver.requests().size(), 2);
    QVERIFY(QJsonDocument::fromJson(receiver.delivered().value(0)).object().value("event") ==
            "alarm");
    QVERIFY(QJsonDocument::fromJson(receiver.delivered().value(1)).object().value("event") ==
            "restored");
}

void tst_Notify::webhookDropsOldestBeyondLimit() {
    WebhookPath path(QUrl("http://127.0.0.1:" + freeClosedPort() + "/"), {},
                     WebhookPath::RequestTimeoutMs);
    QSignalSpy finished(&path, &NotificationPath::finished);
    for (int i = 0; i < WebhookPath::MaxWaiting + 2; ++i)
        path.send(sample("alarm", i));
    // The two oldest behind the one on its way went; none was delivered.
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!path.idle());
}

void tst_Notify::heartbeatOnlyWhileMonitoringWorks() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    HeartbeatPath beat(QUrl(QString("http://127.0.0.1:%1/ping").arg(receiver.port())), 1);
    bool works = false;
    beat.startBeating([&] { return works; });
    QTest::qWait(1500);
    QCOMPARE(receiver.requests().size(), 0);
    works = true;
    QVERIFY(receiver.waitForRequests(2, 3000));
    QCOMPARE(receiver.requests().first().method, QByteArray("GET"));
    QCOMPARE(receiver.requests().first().path, QByteArray("/ping"));
}

// One attempt (the command-line test): a receiver that never answers is
// given up after the request's time-out, and said so.
void tst_Notify::webhookWithoutAnswerGivesUpOnce() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    receiver.setHanging(true);
    WebhookPath path(QUrl(QString("http://127.0.0.1:%1/").arg(receiver.port())), {}, 1000);
    path.setRetrying(false);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("test", 0));
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(finished.at(0).at(1).toString(), QString("no answer within 1 s"));
    QCOMPARE(receiver.requests().size(), 1);
    QVERIFY(path.idle());
}

// A receiver that trickles a byte of its answer every 200 ms: with the
// transfer time-out alone (which starts again with each byte) the first
// request would hold every later one for ever. Its whole time is 1 s here.
void tst_Notify::webhookTricklingReceiverCutOff() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    receiver.setTrickling(1, 200);
    WebhookPath path(QUrl(QString("http://127.0.0.1:%1/").arg(receiver.port())), {}, 1000);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("alarm", 4));
    path.send(sample("restored", 8));
    // Cut off at 1 s, tried again 1 s later: then both go, in order.
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    QCOMPARE(receiver.requests().size(), 3);
    QCOMPARE(receiver.delivered().size(), 2);
    QVERIFY(QJsonDocument::fromJson(receiver.delivered().value(1)).object().value("event") ==
            "restored");
}

void tst_Notify::heartbeatTricklingReceiverCutOff() {
    HttpReceiver receiver;
    QVERIFY(receiver.listen());
    receiver.setTrickling(1000, 200);
    // Every 1 s, each beat given 1 s.
    HeartbeatPath beat(QUrl(QString("http://127.0.0.1:%1/ping").arg(receiver.port())), 1);
    QSignalSpy finished(&beat, &NotificationPath::finished);
    beat.startBeating({});
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() >= 2, 10000);
    QCOMPARE(finished.at(0).at(1).toString(), QString("no answer within 1 s"));
    // The beats go on, each on a fresh request.
    QTRY_VERIFY_WITH_TIMEOUT(receiver.requests().size() >= 3, 10000);
}

void tst_Notify::webhookRedirect_data() {
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("sameOrigin");
    QTest::addColumn<bool>("followed");
    QTest::newRow("token, same origin") << "s3cret" << true << true;
    // Another port is another origin: the token must not go there.
    QTest::newRow("token, other origin") << "s3cret" << false << false;
    QTest::newRow("no token, other origin") << "" << false << true;
}

void tst_Notify::webhookRedirect() {
    QFETCH(QString, token);
    QFETCH(bool, sameOrigin);
    QFETCH(bool, followed);
    HttpReceiver first;
    HttpReceiver other;
    QVERIFY(first.listen());
    QVERIFY(other.listen());
    HttpReceiver& target = sameOrigin ? first : other;
    const QString base = QString("http://127.0.0.1:%1").arg(first.port());
    first.setStatuses({307});
    first.setLocation(QString("http://127.0.0.1:%1/moved").arg(target.port()).toUtf8());
    WebhookPath path(QUrl(base + "/hook"), token, 2000);
    path.setRetrying(false);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("alarm", 4));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QCOMPARE(finished.at(0).at(0).toBool(), followed);
    const qsizetype atTarget =
        std::count_if(target.requests().cbegin(), target.requests().cend(),
                      [](const HttpReceiver::Request& r) { return r.path == "/moved"; });
    QCOMPARE(atTarget, qsizetype(followed ? 1 : 0));
    if (followed && !token.isEmpty())
        QCOMPARE(target.requests().last().headers.value("authorization"),
                 QByteArray("Bearer s3cret"));
    if (!followed)
        QCOMPARE(finished.at(0).at(1).toString(),
                 QString("redirected to http://127.0.0.1:%1, not followed: the token is sent "
                         "only to %2")
                     .arg(other.port())
                     .arg(base));
}

// 300 MB of output: read and counted, not kept; the journal gets its end.
void tst_Notify::commandOutputBounded() {
    const qint64 peakBefore = peakKiB();
    JournalCapture journal;
    CommandPath path("/bin/sh -c \"yes 'a line of output' | head -c 300000000; echo; echo last "
                     "words\"",
                     CommandPath::DefaultTimeoutMs);
    QSignalSpy finished(&path, &NotificationPath::finished);
    // The event loop's longest turn meanwhile, seen by a 10 ms timer.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 worstGapMs = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        worstGapMs = std::max(worstGapMs, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(10);
    path.send(sample("alarm", 4));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    const qint64 tookMs = clock.elapsed();
    ticker.stop();
    // 300,000,012 bytes printed; kept: 18 whole lines of 17 bytes, the one
    // cut short by head (15 bytes with echo's line end) and "last words".
    constexpr qint64 NotKept = 300000012 - (18 * 17 + 15 + 11);
    const QStringList lines = journal.lines();
    const qint64 grewKiB = peakKiB() - peakBefore;
    qInfo("300 MB of output read in %lld ms, the event loop's longest turn %lld ms; peak memory "
          "grew by %lld KiB",
          tookMs, worstGapMs, grewKiB);
    // Generous on a loaded machine: what matters is that it is not seconds.
    QVERIFY2(worstGapMs < 500, qPrintable(QString::number(worstGapMs)));
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory in quarantine: there the peak
    // says nothing about what the reading keeps.)
    QVERIFY2(grewKiB < 32 * 1024, qPrintable(QString("%1 KiB more").arg(grewKiB)));
#endif
    QCOMPARE(lines.size(), 1 + CommandPath::KeptOutputLines);
    QVERIFY2(lines.first().contains(QString("notify command: %1 bytes of its output not kept, "
                                            "the last %2 lines follow")
                                        .arg(NotKept)
                                        .arg(CommandPath::KeptOutputLines)),
             qPrintable(lines.first()));
    QVERIFY(lines.last().endsWith("notify command: last words"));
}

// The command's children are killed with it at the time-out.
void tst_Notify::commandTimeoutKillsItsChildren() {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("child");
    CommandPath path(QString("/bin/sh -c \"sleep 300 & echo $! > %1; wait\"").arg(pidFile), 500);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("alarm", 4));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QCOMPARE(finished.at(0).at(1).toString(), QString("still running after 0 s, killed"));
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const pid_t child = pid_t(file.readAll().trimmed().toLongLong());
    QVERIFY(child > 0);
    QTRY_VERIFY_WITH_TIMEOUT(processGone(child), 3000);
}

void tst_Notify::command_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<QString>("detail");
    QTest::newRow("records") << "env | grep ^SONDRAL_ | sort > \"\"\"$0\"\"\"" << true
                             << "exit status 0";
    QTest::newRow("fails") << "exit 3" << false << "exit status 3";
    QTest::newRow("hangs") << "sleep 30" << false << "still running after 0 s, killed";
}

void tst_Notify::command() {
    QFETCH(QString, script);
    QFETCH(bool, delivered);
    QFETCH(QString, detail);
    QTemporaryDir dir;
    const QString out = dir.filePath("env with blank.txt");
    // Double quotes group a word with blanks; no shell reads the line itself.
    CommandPath path(QString("/bin/sh -c \"%1\" \"%2\"").arg(script, out), 500);
    QSignalSpy finished(&path, &NotificationPath::finished);
    path.send(sample("restored", 8));
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.at(0).at(0).toBool(), delivered);
    QCOMPARE(finished.at(0).at(1).toString(), detail);
    if (!delivered)
        return;
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts),
             (QStringList{"SONDRAL_EVENT=restored", "SONDRAL_SILENCE_SECONDS=8",
                          "SONDRAL_SOURCE=FEED_2", "SONDRAL_STATION=Radio Test",
                          "SONDRAL_TEXT=Dead air.", "SONDRAL_TIME=2026-03-05T09:07:04+01:00"}));
}

void tst_Notify::commandRunsOneAtATime() {
    QTemporaryDir dir;
    const QString out = dir.filePath("order");
    CommandPath path(QString("/bin/sh -c \"sleep 0.2; echo $SONDRAL_EVENT >> %1\"").arg(out),
                     CommandPath::DefaultTimeoutMs);
    QSignalSpy finished(&path, &NotificationPath::finished);
    for (const char* e : {"alarm", "restored", "capture_lost"})
        path.send(sample(e, 0));
    QVERIFY(QTest::qWaitFor([&] { return finished.size() == 3; }, 5000));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("alarm\nrestored\ncapture_lost\n"));
}

void tst_Notify::notificationsFromEvents_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    using K = StationEvent::Kind;
    // On air: FEED 4; the outage began under AUTO, 4 s counted, 9 s so far.
    QTest::newRow("alarm") << int(K::OutageBegan) << "alarm"
                           << "AUTO" << 4 << "Dead air at Oost: AUTO has been silent for 4 s.";
    QTest::newRow("alarm repeated")
        << int(K::OutageRepeated) << "alarm"
        << "AUTO" << 9 << "Dead air at Oost goes on: AUTO has been silent for 9 s.";
    QTest::newRow("restored") << int(K::OutageRestored) << "restored"
                              << "AUTO" << 9
                              << "Programme back at Oost after 9 s of dead air (AUTO).";
    QTest::newRow("capture lost") << int(K::CaptureLost) << "capture_lost"
                                  << "FEED_4" << 0
                                  << "Sondral at Oost hears nothing from its sound input "
                                     "\"USB\" any more; it counts this as silence.";
    QTest::newRow("capture back") << int(K::CaptureBack) << "capture_back"
                                  << "FEED_4" << 0
                                  << "Sondral at Oost hears its sound input \"USB\" again.";
    QTest::newRow("started") << int(K::RunStarted) << "started"
                             << "FEED_4" << 0 << "Sondral at Oost has started.";
    QTest::newRow("closed") << int(K::RunEnded) << "closed"
                            << "FEED_4" << 0
                            << "Sondral at Oost has been closed; nothing watches the programme "
                               "now.";
    // The alarm itself is told through its outage, once.
    QTest::newRow("SN_ALARM sent") << int(K::AlarmRaised) << ""
                                   << "FEED_4" << 0 << "";
    QTest::newRow("SN_ALARM not sent") << int(K::AlarmSendFailed) << ""
                                       << "FEED_4" << 0 << "";
    QTest::newRow("SN_ALARM sent on a retry") << int(K::AlarmSent) << ""
                                              << "FEED_4" << 0 << "";
    QTest::newRow("tick") << int(K::TickCounted) << ""
                          << "FEED_4" << 0 << "";
    // Code 1: the right channel (the outage's reason is unset: silence).
    QTest::newRow("channel lost") << int(K::ChannelLost) << "channel_lost"
                                  << "FEED_4" << 0
                                  << "One channel lost at Oost: the right channel of FEED 4 is "
                                     "below half the threshold while the other plays.";
    QTest::newRow("channel back") << int(K::ChannelBack) << "channel_back"
                                  << "FEED_4" << 0
                                  << "The right channel of FEED 4 at Oost plays again.";
}

void tst_Notify::notificationsFromEvents() {
    QFETCH(int, kind);
    QFETCH(QString, event);
    QFETCH(QString, source);
    QFETCH(int, seconds);
    QFETCH(QString, text);
    StationState state;
    state.modes.Mode = 6; // FEED 4
    state.outage.source = "AUTO";
    state.outage.silenceAtAlarm = 4;
    state.outage.seconds = 9;
    const StationEvent e{StationEvent::Kind(kind), QDateTime::currentDateTime(), "USB", 1};
    const Notification n = Notifier::notificationFor(e, state, "Oost");
    QCOMPARE(n.event, event);
    if (event.isEmpty())
        return;
    QCOMPARE(n.source, source);
    QCOMPARE(n.silenceSeconds, seconds);
    QCOMPARE(n.text, text);
    QCOMPARE(n.station, QString("Oost"));
    const bool outage = event == u"alarm" || event == u"restored";
    QCOMPARE(n.reason, outage ? QString("silence") : QString());
    QCOMPARE(n.channel, event.startsWith("channel_") ? QString("right") : QString());
}

void tst_Notify::steadySignalAlarm() {
    StationState state;
    state.modes.Mode = 2;
    state.outage.source = "AUTO";
    state.outage.reason = AlarmReason::SteadySignal;
    state.outage.silenceAtAlarm = 11;
    state.outage.seconds = 11;
    state.programme.last.peakDbfs = -30;
    const StationEvent e{StationEvent::Kind::OutageBegan, QDateTime::currentDateTime(), {}, 0};
    const Notification n = Notifier::notificationFor(e, state, "Oost");
    QCOMPARE(n.text,
             QString("Dead air at Oost: no programme: steady signal at -30 dBFS for 11 s (AUTO)."));
    QCOMPARE(n.silenceSeconds, 11);
    const QJsonObject o = QJsonDocument::fromJson(n.toJson()).object();
    QCOMPARE(o.value("reason").toString(), QString("steady_signal"));
    QVERIFY(!o.contains("channel"));
    QCOMPARE(n.environment({}).value("SONDRAL_REASON"), QString("steady_signal"));
    QVERIFY(!n.environment({}).contains("SONDRAL_CHANNEL"));
}

void tst_Notify::unusableKeys_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("both fine") << "/bin/true"
                               << "https://hooks.example/x" << QStringList{};
    QTest::newRow("no scheme") << "true"
                               << "hooks.example/x" << QStringList{"Url"};
    QTest::newRow("other scheme") << ""
                                  << "ftp://hooks.example/" << QStringList{"Url"};
    QTest::newRow("no such program") << "sondral-no-such-mailer -s x"
                                     << "http://127.0.0.1:1/" << QStringList{"Command"};
    QTest::newRow("not executable") << "@plain-file -x"
                                    << "" << QStringList{"Command"};
    QTest::newRow("secret arguments") << "sondral-no-such-mailer --token secret"
                                      << "" << QStringList{"Command"};
    QTest::newRow("secret path") << ""
                                 << "ftp://bot:pw@hooks.example:2121/T0/secret?k=secret"
                                 << QStringList{"Url"};
}

void tst_Notify::unusableKeys() {
    QFETCH(QString, command);
    QFETCH(QString, url);
    QFETCH(QStringList, keys);
    QTemporaryDir dir;
    QFile plain(dir.filePath("mailer"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    command.replace("@plain-file", plain.fileName());
    Settings s;
    s.NotifyCommand = command;
    s.NotifyUrl = url;
    Notifier n(s);
    QStringList named;
    for (const QString& line : n.problemJournalLines())
        named << line.section(' ', 1, 1);
    QCOMPARE(named, keys);
    // The usable ones still work.
    const int wanted = int(!command.isEmpty()) + int(!url.isEmpty()) - int(keys.size());
    QCOMPARE(int(n.paths().size()), wanted);
    QCOMPARE(n.problemTexts().size(), keys.size());
    if (QTest::currentDataTag() == QLatin1String("no scheme"))
        QCOMPARE(n.problemTexts().first(),
                 QString("Onbruikbare waarde in sondral.ini, sectie [Notify], sleutel Url: "
                         "\"hooks.example\". Een adres begint met http:// of https:// en noemt "
                         "een host. Deze sleutel wordt niet gebruikt; de andere meldingen werken "
                         "gewoon."));
    // A command's arguments are secrets: the program only.
    if (QTest::currentDataTag() == QLatin1String("secret arguments")) {
        const QString shown = n.problemTexts().join('\n') + n.problemJournalLines().join('\n');
        QVERIFY2(!shown.contains("secret") && shown.contains("\"sondral-no-such-mailer …\""),
                 qPrintable(shown));
    }
    // A URL's path, user and password are secrets: scheme, host and port only.
    if (QTest::currentDataTag() == QLatin1String("secret path")) {
        const QString shown = n.problemTexts().join('\n') + n.problemJournalLines().join('\n');
        QVERIFY2(!shown.contains("secret") && !shown.contains("pw"), qPrintable(shown));
        QCOMPARE(n.problemJournalLines().first(),
                 QString("[Notify] Url \"ftp://hooks.example:2121\" cannot be used: it must "
                         "begin with http:// or https://; that path stays off, the others work"));
    }
}

QTEST_GUILESS_MAIN(tst_Notify)
#include "tst_notify.moc"
