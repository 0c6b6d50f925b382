// A journal's reader that stopped reading: standard error is a pipe, full
// from the start, that nobody reads. The monitoring must not notice: the
// armed alarm still reaches the server, and SIGTERM still ends the program.

#include "acceptance/station.h"

#include <QTemporaryDir>
#include <QTest>

class TstJournalPipe : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fullPipeHoldsNothing();

private:
    Station m_station;
};

void TstJournalPipe::initTestCase() {
    if (const QString missing = Station::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY2(m_station.bringUp(), qPrintable(m_station.error()));
}

void TstJournalPipe::fullPipeHoldsNothing() {
    QTemporaryDir dir;
    SondralInstance sondral(dir.path());
    sondral.writeIni("[Audio]\r\nAutoVol=20\r\nAutoTime=1\r\nLog=1\r\n" + m_station.linkSection());
    sondral.setStandardErrorUnread();
    QVERIFY(sondral.start(m_station.pulseEnvironment()));
    QVERIFY2(sondral.waitForMessage(QStringLiteral("Program started Up"), 0, 10000),
             "no start-up in the log");
    // Every event from here on has a journal line that cannot get out.
    m_station.send("SN_AUTO");
    QVERIFY2(m_station.nextAlarm(8000).has_value(), "no SN_ALARM at the server");
    QVERIFY2(sondral.waitForMessage(QStringLiteral("SONDRAL ACTIVATED"), 0, 5000),
             "no alarm in the log");
    QVERIFY2(sondral.terminate(8000), "SIGTERM did not end it");
    QVERIFY(sondral.messages().contains(QStringLiteral("Program Closed")));
}

QTEST_GUILESS_MAIN(TstJournalPipe)
#include "tst_journalpipe.moc"
