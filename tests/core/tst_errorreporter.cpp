// The one-sequence-at-a-time rule of the error boxes.
#include "core/errorreporter.h"
#include "fakes.h"

#include <QTest>

class tst_ErrorReporter : public QObject {
    Q_OBJECT
private slots:
    void oneSequenceAtATime();
};

void tst_ErrorReporter::oneSequenceAtATime() {
    FakePresenter presenter;
    ErrorReporter reporter(presenter);
    QVERIFY(reporter.reportTickFailure(11001));
    QVERIFY(!reporter.reportDatagramFailure(5));
    QVERIFY(!reporter.reportLogFailure("x"));
    QVERIFY(!reporter.reportTickFailure(11001));
    QCOMPARE(presenter.sequences.size(), 1);

    presenter.closeAll();
    // A silent report does not open anything, and does not block the next.
    QVERIFY(!reporter.reportDatagramFailure(10054));
    QVERIFY(!presenter.open);
    QVERIFY(reporter.reportLogFailure(QString()));
    QCOMPARE(presenter.sequences.last(), QStringList{"Kan niet schrijven naar het logbestand."});
}

QTEST_APPLESS_MAIN(tst_ErrorReporter)
#include "tst_errorreporter.moc"
