// Telling people, against a real Sondral and real audio: the outage from
// the alarm to the programme's return and its length, a command that
// records what it is told, a web hook that never answers and holds back
// nothing, and the test from the command line against a receiver that is
// down.
#include "acceptance/stationscript.h"
#include "support/httpreceiver.h"
#include "support/stationclock.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int autoTime = 3;
constexpr int restoreTime = 3;
constexpr int deadAirMs = 8000;

QByteArray audioSection() {
    return "[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=" + QByteArray::number(autoTime) +
           "\r\nLog=1\r\n";
}

// The notifications a recording command was given, one map each, in order.
QList<QHash<QString, QString>> recorded(const QString& path) {
    QFile file(path);
    QList<QHash<QString, QString>> events;
    if (!file.open(QIODevice::ReadOnly))
        return events;
    QHash<QString, QString> current;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line == u"---") {
            events << current;
            current.clear();
        } else if (const qsizetype eq = line.indexOf('='); eq > 0) {
            current.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    return events;
}
} // namespace

class TestAcceptanceNotify : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void outageFromAlarmToRestore();
    void testNotifyAgainstReceiverDown();
    void unusableKeyIsNamedAndOthersWork();

private:
    Station m_station;
    StationScript m_script{m_station};
    QTemporaryDir m_dir;
};

void TestAcceptanceNotify::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_script.bringUp();
}

void TestAcceptanceNotify::outageFromAlarmToRestore() {
    // A receiver that takes the request and never answers.
    HttpReceiver hook;
    QVERIFY(hook.listen());
    hook.setHanging(true);
    const QString events = m_dir.filePath("events");
    const QByteArray ini =
        audioSection() + m_station.linkSection() +
        "[Station]\r\nName=Radio Test\r\n[Notify]\r\nUrl=http://127.0.0.1:" +
        QByteArray::number(hook.port()) +
        "/hook\r\nCommand=/bin/sh -c \"env | grep ^SONDRAL_ >> $0; echo --- >> $0\" " +
        events.toUtf8() + "\r\nRestoreTime=" + QByteArray::number(restoreTime) +
        "\r\nLogRestore=1\r\n";
    m_station.programme().tone(-12.0);
    SondralInstance* sondral = m_station.launch(QStringLiteral("outage"), ini);
    QVERIFY2(sondral, qPrintable(m_station.error()));
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QTest::qWait(2000);

    m_station.programme().silence();
    const qint64 onset = m_station.programme().lastChangeMs();
    const double toAlarm = m_script.secondsToAlarm(onset, 10000);
    qInfo("SN_ALARM %.3f s after the silence began, the web hook hanging", toAlarm);
    // On its second as without any path: AutoTime + 1 to AutoTime + 2 s.
    QVERIFY2(toAlarm >= autoTime + 0.5 && toAlarm <= autoTime + 2.5,
             qPrintable(QString::number(toAlarm)));

    QTest::qWait(int(onset + deadAirMs - StationClock::nowMs()));
    m_station.programme().tone(-12.0);
    const qint64 back = m_station.programme().lastChangeMs();
    const QRegularExpression restored(QStringLiteral("^SONDRAL RESTORED after (\\d+) s$"));
    QString line;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const QString& m : sondral->messages()) {
                if (restored.match(m).hasMatch())
                    line = m;
            }
            return !line.isEmpty();
        },
        (restoreTime + 5) * 1000));
    const double afterBack = (StationClock::nowMs() - back) / 1000.0;
    const int length = restored.match(line).captured(1).toInt();
    qInfo("restored %.1f s after the programme returned; outage %d s for %d s of dead air",
          afterBack, length, deadAirMs / 1000);
    QVERIFY2(qAbs(length - deadAirMs / 1000) <= 1, qPrintable(line));
    QVERIFY2(afterBack <= restoreTime + 2.0, qPrintable(QString::number(afterBack)));
    // The journal's line follows from its own writer thread.
    QVERIFY(sondral->waitForOutput(
        QStringLiteral("programme back after %1 s of dead air (AUTO)").arg(length), 2000));

    // The command was told of the start, the alarm and the restore, in order.
    QList<QHash<QString, QString>> told;
    QVERIFY(QTest::qWaitFor(
        [&] {
            told = recorded(events);
            return told.size() >= 3;
        },
        5000));
    QCOMPARE(told.size(), 3);
    QCOMPARE(told[0].value("SONDRAL_EVENT"), QString("started"));
    QCOMPARE(told[0].value("SONDRAL_SOURCE"), QString());
    QCOMPARE(told[1].value("SONDRAL_EVENT"), QString("alarm"));
    QCOMPARE(told[1].value("SONDRAL_SILENCE_SECONDS"), QString::number(autoTime + 1));
    QCOMPARE(told[1].value("SONDRAL_SOURCE"), QString("AUTO"));
    QCOMPARE(told[1].value("SONDRAL_STATION"), QString("Radio Test"));
    QVERIFY(QDateTime::fromString(told[1].value("SONDRAL_TIME"), Qt::ISODate).isValid());
    QVERIFY(
        QRegularExpression("[+-]\\d\\d:\\d\\d$").match(told[1].value("SONDRAL_TIME")).hasMatch());
    QCOMPARE(told[2].value("SONDRAL_EVENT"), QString("restored"));
    QCOMPARE(told[2].value("SONDRAL_SILENCE_SECONDS"), QString::number(length));
    // The hanging hook got the first notification and still holds it.
    QVERIFY(hook.requests().size() >= 1);
    QVERIFY(sondral->isRunning());
    hook.stop();
    sondral->terminate();
}

void TestAcceptanceNotify::testNotifyAgainstReceiverDown() {
    quint16 downPort = 0;
    {
        HttpReceiver probe;
        QVERIFY(probe.listen());
        downPort = probe.port();
    }
    const QString dir = m_dir.filePath("test-notify");
    QDir().mkpath(dir);
    SondralInstance tester(dir);
    tester.writeIni("[Notify]\r\nUrl=http://127.0.0.1:" + QByteArray::number(downPort) +
                    "/hook\r\nCommand=/bin/true\r\n");
    tester.setArguments({QStringLiteral("--test-notify")});
    QVERIFY(tester.start());
    QVERIFY(tester.waitForEnd(20000));
    const QString out = tester.output();
    QVERIFY2(tester.exitCode() != 0, qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("OK      command /bin/true: exit status 0")),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("FAILED  webhook http://127.0.0.1:%1: Connection "
                                         "refused")
                              .arg(downPort)),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("1 of 2 paths did not deliver the test.")),
             qPrintable(out));
    // Nothing of the monitor ran: no event log.
    QVERIFY(!QFile::exists(tester.logPath()));
}

void TestAcceptanceNotify::unusableKeyIsNamedAndOthersWork() {
    const QString events = m_dir.filePath("started-events");
    SondralInstance* sondral =
        m_station.launch(QStringLiteral("unusable"),
                         audioSection() +
                             "[Notify]\r\nUrl=hooks.example/x\r\nHeartbeat=http:///ping\r\n"
                             "Command=/bin/sh -c \"env | grep ^SONDRAL_ >> $0; echo --- >> $0\" " +
                             events.toUtf8() + "\r\n");
    QVERIFY2(sondral, qPrintable(m_station.error()));
    // Named by what stands before the path: the path may be a secret.
    QVERIFY(sondral->waitForOutput(QStringLiteral("[Notify] Url \"hooks.example\" cannot be "
                                                  "used: it must begin with http:// or https://"),
                                   5000));
    QVERIFY2(sondral->waitForOutput(
                 QStringLiteral("[Notify] Heartbeat \"http://\" cannot be used: it names no host"),
                 2000),
             qPrintable(sondral->output()));
    // The command still hears of the start.
    QVERIFY(QTest::qWaitFor([&] { return recorded(events).size() == 1; }, 5000));
    QCOMPARE(recorded(events).first().value("SONDRAL_EVENT"), QString("started"));
    QVERIFY(sondral->terminate());
    QCOMPARE(recorded(events).size(), 2);
    QCOMPARE(recorded(events).last().value("SONDRAL_EVENT"), QString("closed"));
}

QTEST_GUILESS_MAIN(TestAcceptanceNotify)
#include "tst_acceptance_notify.moc"
