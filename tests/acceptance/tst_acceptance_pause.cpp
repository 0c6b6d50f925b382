// The automation's pause and resume, pause outside the automation, a loud
// second in a silence, and one channel silent on its own.
#include "station.h"
#include "stationclock.h"

#include <QTest>

#include <optional>

namespace {

const QByteArray settings = "[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=3\r\n"
                            "Feed1Vol=20\r\nFeed1Time=3\r\nLog=1\r\n";

} // namespace

class TestAcceptancePause : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pauseStopsTheCountAndResumeGoesOn();
    void pauseAndResumeAfterAnAlarmDoNothing();
    void pauseIsIgnoredOutsideTheAutomation();
    void aLoudSecondRestartsTheCount();
    void oneSilentChannelNeverAlarms_data();
    void oneSilentChannelNeverAlarms();
    void theLogHoldsEveryEventInOrder();

private:
    bool sendLogged(const QByteArray& keyword, const QString& logText);
    bool sendIgnored(const QByteArray& keyword);
    double secondsToAlarm(qint64 since, int timeoutMs);

    Station m_station;
    SondralInstance* m_sondral = nullptr;
    QStringList m_expectedLog;
};

bool TestAcceptancePause::sendLogged(const QByteArray& keyword, const QString& logText) {
    const qsizetype before = m_sondral->messages().size();
    m_station.send(keyword);
    m_expectedLog.append(logText);
    return m_sondral->waitForMessage(logText, before, 3000);
}

bool TestAcceptancePause::sendIgnored(const QByteArray& keyword) {
    const qsizetype before = m_sondral->messages().size();
    m_station.send(keyword);
    QTest::qWait(300);
    return m_sondral->messages().size() == before;
}

double TestAcceptancePause::secondsToAlarm(qint64 since, int timeoutMs) {
    const qsizetype before = m_station.peer().arrivals().size();
    if (!m_station.peer().waitForArrivals(before + 1, timeoutMs))
        return -1.0;
    const ServerPeer::Arrival& alarm = m_station.peer().arrivals().at(before);
    if (alarm.m_payload != "SN_ALARM")
        return -1.0;
    m_expectedLog.append(QStringLiteral("SONDRAL ACTIVATED"));
    for (int i = 0; i < 200 && m_sondral->messages().size() < m_expectedLog.size(); ++i)
        QTest::qWait(10);
    return (alarm.m_atMs - since) / 1000.0;
}

void TestAcceptancePause::initTestCase() {
    if (const QString missing = Station::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY2(m_station.bringUp(), qPrintable(m_station.error()));
    m_sondral = m_station.launch(QStringLiteral("pause"), settings + m_station.linkSection());
    QVERIFY2(m_sondral, qPrintable(m_station.error()));
    m_expectedLog.append(QStringLiteral("Program started Up"));
}

void TestAcceptancePause::pauseStopsTheCountAndResumeGoesOn() {
    m_station.programme().silence();
    QTest::qWait(1200);
    QVERIFY(sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QTest::qWait(2500); // two silent ticks counted
    QVERIFY(sendLogged("SN_PAUSE_ON", QStringLiteral("Server PAUSE ON")));
    // Unpaused, the fourth silent tick would have come 1.5 s from now.
    QCOMPARE(m_station.arrivalsDuring(4000), 0);
    const qint64 resumed = m_station.send("SN_PAUSE_OFF");
    m_expectedLog.append(QStringLiteral("Server PAUSE OFF"));
    const double seconds = secondsToAlarm(resumed, 8000);
    qInfo("paused after 2 silent ticks, AutoTime 3: SN_ALARM %.3f s after SN_PAUSE_OFF", seconds);
    // Counting goes on from 2: two more silent ticks, not four.
    QVERIFY2(seconds >= 1.4 && seconds <= 3.2, qPrintable(QString::number(seconds)));
}

void TestAcceptancePause::pauseAndResumeAfterAnAlarmDoNothing() {
    // The alarm stopped the tick: there is no running automation to pause, and
    // a resume without a pause must not start the tick (it would alarm at once).
    QVERIFY(sendIgnored("SN_PAUSE_ON"));
    QVERIFY(sendIgnored("SN_PAUSE_OFF"));
    QCOMPARE(m_station.arrivalsDuring(2500), 0);
}

void TestAcceptancePause::pauseIsIgnoredOutsideTheAutomation() {
    m_station.programme().silence();
    const qint64 sent = m_station.send("SN_FEED_1");
    m_expectedLog.append(QStringLiteral("Server Running FEED 1"));
    QTest::qWait(1500);
    QVERIFY(sendIgnored("SN_PAUSE_ON"));
    const double seconds = secondsToAlarm(sent, 8000);
    qInfo("FEED 1 (time 3) with SN_PAUSE_ON after 1.5 s: SN_ALARM %.3f s after SN_FEED_1", seconds);
    QVERIFY2(seconds >= 3.7 && seconds <= 4.9, qPrintable(QString::number(seconds)));
    QVERIFY(sendIgnored("SN_PAUSE_OFF"));
}

void TestAcceptancePause::aLoudSecondRestartsTheCount() {
    m_station.programme().silence();
    QVERIFY(sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QTest::qWait(2500);
    m_station.programme().tone(-12.0);
    QTest::qWait(1300);
    m_station.programme().silence();
    const qint64 onset = m_station.programme().lastChangeMs();
    const double seconds = secondsToAlarm(onset, 9000);
    qInfo("2.5 s silent, 1.3 s programme, silent again: SN_ALARM %.3f s after the second onset",
          seconds);
    QVERIFY2(seconds >= 3.5 && seconds <= 5.5, qPrintable(QString::number(seconds)));
}

void TestAcceptancePause::oneSilentChannelNeverAlarms_data() {
    QTest::addColumn<bool>("leftSilent");
    QTest::newRow("left silent") << true;
    QTest::newRow("right silent") << false;
}

void TestAcceptancePause::oneSilentChannelNeverAlarms() {
    QFETCH(bool, leftSilent);
    const std::optional<double> present = -12.0;
    if (leftSilent)
        m_station.programme().play(std::nullopt, present);
    else
        m_station.programme().play(present, std::nullopt);
    QVERIFY(sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    // AutoTime 3: both channels silent would have alarmed after 4 s.
    QCOMPARE(m_station.arrivalsDuring(5500), 0);
}

void TestAcceptancePause::theLogHoldsEveryEventInOrder() {
    QVERIFY(m_sondral->terminate());
    m_expectedLog.append(QStringLiteral("Program Closed"));
    QCOMPARE(m_sondral->messages(), m_expectedLog);
}

QTEST_GUILESS_MAIN(TestAcceptancePause)
#include "tst_acceptance_pause.moc"
