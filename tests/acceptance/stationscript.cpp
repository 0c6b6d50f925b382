#include "acceptance/stationscript.h"

#include <QTest>

bool StationScript::bringUp() {
    if (const QString missing = Station::missingTools(); !missing.isEmpty()) {
        QTest::qSkip(qPrintable(missing), __FILE__, __LINE__);
        return false;
    }
    return QTest::qVerify(m_station.bringUp(), "m_station.bringUp()", qPrintable(m_station.error()),
                          __FILE__, __LINE__);
}

void StationScript::bringUpAndLaunch(const QString& dirName, const QByteArray& settings,
                                     std::optional<double> programmeDbfs) {
    if (!bringUp())
        return;
    if (programmeDbfs)
        m_station.programme().tone(*programmeDbfs);
    launch(dirName, settings);
}

void StationScript::launch(const QString& dirName, const QByteArray& settings) {
    const SondralInstance* sondral = m_station.launch(dirName, settings + m_station.linkSection());
    QVERIFY2(sondral, qPrintable(m_station.error()));
    expect(QStringLiteral("Program started Up"));
}

bool StationScript::sendLogged(const QByteArray& keyword, const QString& logText) {
    const qsizetype before = m_station.sondral().messages().size();
    m_station.send(keyword);
    expect(logText);
    return m_station.sondral().waitForMessage(logText, before, 3000);
}

bool StationScript::sendIgnored(const QByteArray& keyword) {
    const qsizetype before = m_station.sondral().messages().size();
    m_station.send(keyword);
    QTest::qWait(300);
    return m_station.sondral().messages().size() == before;
}

double StationScript::secondsToAlarm(qint64 since, int timeoutMs) {
    const std::optional<ServerPeer::Arrival> alarm = m_station.nextAlarm(timeoutMs);
    if (!alarm)
        return -1.0;
    expect(QStringLiteral("SONDRAL ACTIVATED"));
    // Let the log line land before the next step reads the log.
    for (int i = 0; i < 200 && m_station.sondral().messages().size() < m_expectedLog.size(); ++i)
        QTest::qWait(10);
    return (alarm->m_atMs - since) / 1000.0;
}

void StationScript::closeAndCompareLog() {
    QVERIFY(m_station.sondral().terminate());
    expect(QStringLiteral("Program Closed"));
    QCOMPARE(m_station.sondral().messages(), m_expectedLog);
}
