// The automation's pause and resume, pause outside the automation, a loud
// second in a silence, and one channel silent on its own.
#include "acceptance/stationscript.h"

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
    Station m_station;
    StationScript m_script{m_station};
};

void TestAcceptancePause::initTestCase() {
    m_script.bringUpAndLaunch(QStringLiteral("pause"), settings);
}

void TestAcceptancePause::pauseStopsTheCountAndResumeGoesOn() {
    m_station.programme().silence();
    QTest::qWait(1200);
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QTest::qWait(2500); // two silent ticks counted
    QVERIFY(m_script.sendLogged("SN_PAUSE_ON", QStringLiteral("Server PAUSE ON")));
    // Unpaused, the fourth silent tick would have come 1.5 s from now.
    QCOMPARE(m_station.arrivalsDuring(4000), 0);
    const qint64 resumed = m_station.send("SN_PAUSE_OFF");
    m_script.expect(QStringLiteral("Server PAUSE OFF"));
    const double seconds = m_script.secondsToAlarm(resumed, 8000);
    qInfo("paused after 2 silent ticks, AutoTime 3: SN_ALARM %.3f s after SN_PAUSE_OFF", seconds);
    // Counting goes on from 2: two more silent ticks, not four.
    QVERIFY2(seconds >= 1.4 && seconds <= 3.2, qPrintable(QString::number(seconds)));
}

void TestAcceptancePause::pauseAndResumeAfterAnAlarmDoNothing() {
    // The alarm stopped the tick: there is no running automation to pause, and
    // a resume without a pause must not start the tick (it would alarm at once).
    QVERIFY(m_script.sendIgnored("SN_PAUSE_ON"));
    QVERIFY(m_script.sendIgnored("SN_PAUSE_OFF"));
    QCOMPARE(m_station.arrivalsDuring(2500), 0);
}

void TestAcceptancePause::pauseIsIgnoredOutsideTheAutomation() {
    m_station.programme().silence();
    const qint64 sent = m_station.send("SN_FEED_1");
    m_script.expect(QStringLiteral("Server Running FEED 1"));
    QTest::qWait(1500);
    QVERIFY(m_script.sendIgnored("SN_PAUSE_ON"));
    const double seconds = m_script.secondsToAlarm(sent, 8000);
    qInfo("FEED 1 (time 3) with SN_PAUSE_ON after 1.5 s: SN_ALARM %.3f s after SN_FEED_1", seconds);
    QVERIFY2(seconds >= 3.7 && seconds <= 4.9, qPrintable(QString::number(seconds)));
    QVERIFY(m_script.sendIgnored("SN_PAUSE_OFF"));
}

void TestAcceptancePause::aLoudSecondRestartsTheCount() {
    m_station.programme().silence();
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QTest::qWait(2500);
    m_station.programme().tone(-12.0);
    QTest::qWait(1300);
    m_station.programme().silence();
    const qint64 onset = m_station.programme().lastChangeMs();
    const double seconds = m_script.secondsToAlarm(onset, 9000);
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
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    // AutoTime 3: both channels silent would have alarmed after 4 s.
    QCOMPARE(m_station.arrivalsDuring(5500), 0);
}

void TestAcceptancePause::theLogHoldsEveryEventInOrder() {
    m_script.closeAndCompareLog();
}

QTEST_GUILESS_MAIN(TestAcceptancePause)
#include "tst_acceptance_pause.moc"
