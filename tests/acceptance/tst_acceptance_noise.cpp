// A steady signal instead of programme, and one channel lost, with the real
// program: a 50 Hz hum at -30 dBFS under AutoFlat raises the alarm with its
// reason in the journal; a channel that stays below the half threshold while
// the other plays is told lost once and back once, and is no alarm. The log
// file holds only the lines it always held.
#include "acceptance/stationscript.h"
#include "support/programmesignals.h"
#include "support/stationclock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int autoFlat = 5;
const QByteArray settings = "[Audio]\r\n"
                            "Card=0\r\n"
                            "AutoVol=20\r\nAutoTime=100\r\n"
                            "AutoFlat=5\r\n"
                            "Log=1\r\n"
                            "[Notify]\r\nChannelTime=3\r\n";

} // namespace

class TestAcceptanceNoise : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void humRaisesTheAlarm();
    void oneChannelLostAndBack();
    void theLogHoldsOnlyItsOwnLines();

private:
    Station m_station;
    StationScript m_script{m_station};
    QTemporaryDir m_signals;
};

void TestAcceptanceNoise::initTestCase() {
    if (const QStringList missing = ProgrammeSignals::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("missing: %1").arg(missing.join(QLatin1Char(' ')))));
    m_script.bringUpAndLaunch(QStringLiteral("noise"), settings);
}

void TestAcceptanceNoise::humRaisesTheAlarm() {
    QString error;
    const QString hum = ProgrammeSignals::make(m_signals.path(), QStringLiteral("hum"), 30, &error);
    QVERIFY2(!hum.isEmpty(), qPrintable(error));
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));

    QProcess player;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(m_station.pulseEnvironment());
    player.setProcessEnvironment(environment);
    const qint64 started = StationClock::nowMs();
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("--latency-msec=30"), QStringLiteral("-d"),
                  QStringLiteral("programme"), hum});
    QVERIFY(player.waitForStarted(5000));
    const double seconds = m_script.secondsToAlarm(started, 15000);
    player.kill();
    player.waitForFinished(2000);
    qInfo("hum -30 dBFS, AutoFlat=%d: SN_ALARM %.3f s after the player started", autoFlat, seconds);
    // The (AutoFlat + 1)-th steady second, counted from the first whole
    // second of hum: as the silence rule counts, plus the player's start.
    QVERIFY2(seconds >= autoFlat + 1 && seconds <= autoFlat + 3.5,
             qPrintable(QString::number(seconds)));
    QVERIFY(m_station.sondral().waitForOutput(
        QStringLiteral("no programme: steady signal at -30 dBFS for %1 s").arg(autoFlat + 1),
        2000));
}

void TestAcceptanceNoise::oneChannelLostAndBack() {
    // The left channel dead, the right one plays programme level.
    m_station.programme().play(std::nullopt, -6);
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    QVERIFY(m_station.sondral().waitForOutput(
        QStringLiteral("left channel lost: below half the threshold for 3 s"), 7000));
    m_station.programme().tone(-6);
    QVERIFY(m_station.sondral().waitForOutput(QStringLiteral("left channel back"), 4000));
    // Never the alarm.
    QCOMPARE(m_station.arrivalsDuring(500), 0);
    QCOMPARE(m_station.sondral().output().count(QStringLiteral("channel lost")), 1);
}

void TestAcceptanceNoise::theLogHoldsOnlyItsOwnLines() {
    m_script.closeAndCompareLog();
}

QTEST_MAIN(TestAcceptanceNoise)
#include "tst_acceptance_noise.moc"
