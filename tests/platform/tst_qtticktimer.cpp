// The Qt tick: precise, one second, stopped when built, and start() on a
// running tick keeps its phase.
#include "platform/qtticktimer.h"

#include <QTest>

class tst_QtTickTimer : public QObject {
    Q_OBJECT
private slots:
    void builtStoppedPreciseOneSecond();
    void startOnRunningTickKeepsPhase();
};

void tst_QtTickTimer::builtStoppedPreciseOneSecond() {
    QtTickTimer t;
    QVERIFY(!t.isActive());
    QCOMPARE(t.interval(), 1000);
    QCOMPARE(t.timerType(), Qt::PreciseTimer);
    t.start();
    QVERIFY(t.isActive());
    t.stop();
    QVERIFY(!t.isActive());
}

void tst_QtTickTimer::startOnRunningTickKeepsPhase() {
    QtTickTimer t;
    t.start();
    QTest::qWait(300);
    const int before = t.remainingTime();
    t.start();
    // A restart would put the remaining time back near 1000 ms.
    QVERIFY2(t.remainingTime() <= before, qPrintable(QString::number(t.remainingTime())));
}

QTEST_GUILESS_MAIN(tst_QtTickTimer)
#include "tst_qtticktimer.moc"
