// The queue of messages to the operator: one box at a time, the next when
// the previous one is closed, no duplicates, bounded, never blocking.
#include "ui/messageboxpresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

namespace {
void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The boxes on screen, top-level or on a dialog.
QList<QMessageBox*> openBoxes() {
    flushDeletes();
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes << box;
    return boxes;
}

QMessageBox* currentBox() {
    const QList<QMessageBox*> boxes = openBoxes();
    return boxes.size() == 1 ? boxes.first() : nullptr;
}

// Closes every box with OK, one after the other as the queue shows them;
// returns their texts.
QStringList clickThrough() {
    QStringList texts;
    while (QMessageBox* box = currentBox()) {
        texts << box->text();
        box->button(QMessageBox::Ok)->click();
    }
    return texts;
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
    QVERIFY(openBoxes().isEmpty());
    presenter.postFailures({"Fout : 11001", "Onbekende fout, foutcode : 11001"});
    // postFailures() returned without anyone clicking.

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

    boxes.first()->button(QMessageBox::Ok)->click();
    QVERIFY(openBoxes().isEmpty());
}

void tst_MessageBoxPresenter::duplicatesAndOverflowAreNotQueued() {
    MessageBoxPresenter presenter;
    const OperatorMessage lost{QMessageBox::Critical,    "Foutmelding", "weg",
                               Journal::Priority::Error, nullptr,       {}};
    QVERIFY(presenter.post(lost)); // on screen
    QVERIFY(presenter.post(
        {QMessageBox::Information, "Mededeling", "terug", Journal::Priority::Notice, nullptr, {}}));
    QVERIFY(!presenter.post(lost)); // equal to the one on screen
    // Two wait (the one on screen included); fill the queue.
    for (int i = 2; i < MessageBoxPresenter::MaxWaiting; ++i)
        QVERIFY(presenter.post({QMessageBox::Warning,
                                "t",
                                QString::number(i),
                                Journal::Priority::Warning,
                                nullptr,
                                {}}));
    QVERIFY(!presenter.post(
        {QMessageBox::Warning, "t", "one too many", Journal::Priority::Warning, nullptr, {}}));
    QCOMPARE(openBoxes().size(), 1);
    const QStringList shown = clickThrough();
    QCOMPARE(shown.size(), MessageBoxPresenter::MaxWaiting);
    QCOMPARE(shown.first(), QString("weg"));
    QCOMPARE(shown.at(1), QString("terug"));
    QVERIFY(!shown.contains("one too many"));
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
    QCOMPARE(currentBox()->windowModality(), Qt::WindowModal);
    QCOMPARE(currentBox()->parentWidget(), dialog);
    QCOMPARE(followUps, 0);
    currentBox()->button(QMessageBox::Ok)->click();
    QCOMPARE(followUps, 1);
    // The dialog goes, and its box with it: nothing of it may run.
    delete dialog;
    QCOMPARE(followUps, 1);
    QCoreApplication::processEvents();
    QVERIFY(openBoxes().isEmpty());
}

void tst_MessageBoxPresenter::boxDeletedFromOutsideEndsIt() {
    MessageBoxPresenter presenter;
    presenter.postFailures({"a", "b"});
    delete currentBox();
    QTRY_VERIFY(currentBox());
    QCOMPARE(currentBox()->text(), QString("b"));
    currentBox()->close();
    QVERIFY(openBoxes().isEmpty());
}

void tst_MessageBoxPresenter::destroyingPresenterTakesItsBox() {
    {
        MessageBoxPresenter presenter;
        presenter.postFailures({"a", "b"});
        QCOMPARE(openBoxes().size(), 1);
    }
    QVERIFY(openBoxes().isEmpty());

    // A cleared queue (the run's end) shows nothing more, and takes posts
    // again afterwards.
    MessageBoxPresenter presenter;
    presenter.postFailures({"a", "b"});
    presenter.clear();
    QVERIFY(openBoxes().isEmpty());
    presenter.postFailures({"c"});
    QCOMPARE(clickThrough(), QStringList{"c"});
}

QTEST_MAIN(tst_MessageBoxPresenter)
#include "tst_messageboxpresenter.moc"
