// The queue of messages to the operator: one box at a time, the next when
// the previous one is closed, no duplicates, bounded, never blocking.
#include "ui/messageboxpresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

namespace {
QList<QMessageBox*> openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes << box;
    return boxes;
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class tst_MessageBoxPresenter : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                delete w;
    }
    void showsSequenceOneAfterTheOther();
    void duplicatesAndOverflowAreNotQueued();
    void followUpRunsOnCloseWhileItsDialogLasts();
    void boxDeletedFromOutsideEndsIt();
    void destroyingPresenterTakesItsBox();
};

void tst_MessageBoxPresenter::showsSequenceOneAfterTheOther() {
    MessageBoxPresenter presenter;
    QCOMPARE(presenter.waiting(), 0);
    presenter.present({"Fout : 11001", "Onbekende fout, foutcode : 11001"});
    // present() returned without anyone clicking.
    QCOMPARE(presenter.waiting(), 2);

    QList<QMessageBox*> boxes = openBoxes();
    QCOMPARE(boxes.size(), 1);
    QMessageBox* box = boxes.first();
    QCOMPARE(box->text(), QString("Fout : 11001"));
    QCOMPARE(box->windowTitle(), QString("Sondral"));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QVERIFY(!box->isModal());
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));

    box->button(QMessageBox::Ok)->click();
    flushDeletes();
    boxes = openBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(), QString("Onbekende fout, foutcode : 11001"));
    QCOMPARE(presenter.waiting(), 1);

    boxes.first()->button(QMessageBox::Ok)->click();
    flushDeletes();
    QVERIFY(openBoxes().isEmpty());
    QCOMPARE(presenter.waiting(), 0);
}

void tst_MessageBoxPresenter::duplicatesAndOverflowAreNotQueued() {
    MessageBoxPresenter presenter;
    const OperatorMessage lost{QMessageBox::Critical,    "Foutmelding", "weg",
                               Journal::Priority::Error, nullptr,       {}};
    QVERIFY(presenter.post(lost)); // on screen
    QVERIFY(presenter.post(
        {QMessageBox::Information, "Mededeling", "terug", Journal::Priority::Notice, nullptr, {}}));
    QVERIFY(!presenter.post(lost)); // equal to the one on screen
    QCOMPARE(presenter.waiting(), 2);
    for (int i = 0; presenter.waiting() < MessageBoxPresenter::MaxWaiting; ++i)
        QVERIFY(presenter.post({QMessageBox::Warning,
                                "t",
                                QString::number(i),
                                Journal::Priority::Warning,
                                nullptr,
                                {}}));
    QVERIFY(!presenter.post(
        {QMessageBox::Warning, "t", "one too many", Journal::Priority::Warning, nullptr, {}}));
    QCOMPARE(openBoxes().size(), 1);
}

void tst_MessageBoxPresenter::followUpRunsOnCloseWhileItsDialogLasts() {
    MessageBoxPresenter presenter;
    auto* dialog = new QWidget;
    dialog->show();
    int followUps = 0;
    presenter.post({QMessageBox::Warning, "Mededeling", "a", Journal::Priority::Warning, dialog,
                    [&] { ++followUps; }});
    presenter.post({QMessageBox::Warning, "Mededeling", "b", Journal::Priority::Warning, dialog,
                    [&] { ++followUps; }});
    QCOMPARE(presenter.currentBox()->windowModality(), Qt::WindowModal);
    QCOMPARE(followUps, 0);
    presenter.currentBox()->button(QMessageBox::Ok)->click();
    QCOMPARE(followUps, 1);
    // The dialog goes, and its box with it: nothing of it may run.
    delete dialog;
    QCOMPARE(followUps, 1);
    QCOMPARE(presenter.waiting(), 0);
}

void tst_MessageBoxPresenter::boxDeletedFromOutsideEndsIt() {
    MessageBoxPresenter presenter;
    presenter.present({"a", "b"});
    delete presenter.currentBox();
    QTRY_VERIFY(presenter.currentBox());
    QCOMPARE(presenter.currentBox()->text(), QString("b"));
    presenter.currentBox()->close();
    flushDeletes();
    QCOMPARE(presenter.waiting(), 0);
    QVERIFY(openBoxes().isEmpty());
}

void tst_MessageBoxPresenter::destroyingPresenterTakesItsBox() {
    {
        MessageBoxPresenter presenter;
        presenter.present({"a", "b"});
        QCOMPARE(openBoxes().size(), 1);
    }
    flushDeletes();
    QVERIFY(openBoxes().isEmpty());
}

QTEST_MAIN(tst_MessageBoxPresenter)
#include "tst_messageboxpresenter.moc"
