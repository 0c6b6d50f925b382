// Which failures of the monitoring handlers reach the operator, and as what.
#include "core/errorreporter.h"
#include "fakes.h"

#include <QTest>

class tst_ErrorReporter : public QObject {
    Q_OBJECT
private slots:
    void everyFailureButAResetReachesThePresenter();
};

void tst_ErrorReporter::everyFailureButAResetReachesThePresenter() {
    FakePresenter presenter;
    ErrorReporter reporter(presenter);
    QVERIFY(reporter.reportTickFailure(11001));
    // A repeat is passed on too: the presenter's queue drops duplicates, and
    // the repeat still gets its line on standard error there.
    QVERIFY(reporter.reportTickFailure(11001));
    QVERIFY(!reporter.reportDatagramFailure(10054));
    QVERIFY(reporter.reportLogFailure(QString()));
    QCOMPARE(presenter.sequences,
             (QList<QStringList>{{"Fout : 11001", "Onbekende fout, foutcode : 11001"},
                                 {"Fout : 11001", "Onbekende fout, foutcode : 11001"},
                                 {"Kan niet schrijven naar het logbestand."}}));
}

QTEST_APPLESS_MAIN(tst_ErrorReporter)
#include "tst_errorreporter.moc"
