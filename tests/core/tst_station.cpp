// What every output relies on: whether the monitoring works, and the
// operator's texts for the monitor's failures, and the event kinds.
#include "core/failuretexts.h"
#include "core/monitoringhealth.h"
#include "core/stationstate.h"

#include <QSet>
#include <QTest>

class tst_Station : public QObject {
    Q_OBJECT
private slots:
    void health_data();
    void health();
    void failureTexts();
    void everyKindCounted();
};

void tst_Station::health_data() {
    QTest::addColumn<bool>("tickRunning");
    QTest::addColumn<qint64>("sinceTick");
    QTest::addColumn<int>("phase");
    QTest::addColumn<qint64>("sinceBlock");
    QTest::addColumn<bool>("ok");
    const int capturing = int(CapturePhase::Capturing);
    QTest::newRow("idle, capturing") << false << qint64(60000) << capturing << qint64(20) << true;
    QTest::newRow("tick on time") << true << qint64(1100) << capturing << qint64(20) << true;
    QTest::newRow("tick overdue") << true << qint64(2500) << capturing << qint64(20) << false;
    QTest::newRow("stopped tick never overdue")
        << false << qint64(999999) << capturing << qint64(20) << true;
    QTest::newRow("blocks stopped, not reported")
        << false << qint64(0) << capturing << qint64(3500) << false;
    QTest::newRow("loss reported")
        << true << qint64(500) << int(CapturePhase::Lost) << qint64(60000) << true;
    QTest::newRow("waiting for the input")
        << true << qint64(500) << int(CapturePhase::Waiting) << qint64(99999) << true;
}

void tst_Station::health() {
    QFETCH(bool, tickRunning);
    QFETCH(qint64, sinceTick);
    QFETCH(int, phase);
    QFETCH(qint64, sinceBlock);
    QFETCH(bool, ok);
    StationState s;
    const qint64 now = 1'000'000;
    s.tickRunning = tickRunning;
    s.lastTickMs = now - sinceTick;
    s.capture.phase = CapturePhase(phase);
    const MonitoringHealth h = MonitoringHealth::check(s, now, now - sinceBlock);
    QCOMPARE(h.ok, ok);
    QCOMPARE(h.reason.isEmpty(), ok);
}

void tst_Station::failureTexts() {
    QCOMPARE(FailureTexts::datagram(10054), QStringList{});
    QCOMPARE(FailureTexts::datagram(10040), QStringList{"Onbekende fout, foutcode : 10040"});
    QCOMPARE(FailureTexts::tick(10054), QStringList{"Fout : 10054"});
    QCOMPARE(FailureTexts::tick(6), (QStringList{"Fout : 6", "Onbekende fout, foutcode : 6"}));
    // An empty reason still gives a box: the line is lost.
    QCOMPARE(FailureTexts::log(QString()), QString("Kan niet schrijven naar het logbestand."));
    QCOMPARE(FailureTexts::log("Kan logbestand x niet openen"),
             QString("Kan logbestand x niet openen"));
}

// The counts per kind are sized by kindCount, written by hand as the last
// kind plus one: a kind added after it would be counted out of bounds. Every
// kind below it has a name of its own, and the first value past it none.
void tst_Station::everyKindCounted() {
    QSet<QString> names;
    for (int k = 0; k < StationEvent::kindCount; ++k) {
        const QString name = StationEvent::kindName(StationEvent::Kind(k));
        QVERIFY2(name != u"unknown", qPrintable(QString::number(k)));
        names.insert(name);
    }
    QCOMPARE(names.size(), StationEvent::kindCount);
    QCOMPARE(StationEvent::kindName(StationEvent::Kind(StationEvent::kindCount)),
             QStringLiteral("unknown"));
}

QTEST_APPLESS_MAIN(tst_Station)
#include "tst_station.moc"
