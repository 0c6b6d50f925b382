// Error boxes that never block: one at a time, the next when the previous
// one is closed, with the title, button and icon the operator expects.
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
    void boxDeletedFromOutsideEndsIt();
    void destroyingPresenterTakesItsBox();
};

void tst_MessageBoxPresenter::showsSequenceOneAfterTheOther() {
    MessageBoxPresenter presenter;
    QVERIFY(!presenter.isPresenting());
    presenter.present({"Fout : 11001", "Onbekende fout, foutcode : 11001"});
    // present() returned without anyone clicking.
    QVERIFY(presenter.isPresenting());

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
    QVERIFY(presenter.isPresenting());

    boxes.first()->button(QMessageBox::Ok)->click();
    flushDeletes();
    QVERIFY(openBoxes().isEmpty());
    QVERIFY(!presenter.isPresenting());
}

void tst_MessageBoxPresenter::boxDeletedFromOutsideEndsIt() {
    MessageBoxPresenter presenter;
    presenter.present({"a", "b"});
    delete presenter.currentBox();
    QVERIFY(presenter.currentBox());
    QCOMPARE(presenter.currentBox()->text(), QString("b"));
    presenter.currentBox()->close();
    flushDeletes();
    QVERIFY(!presenter.isPresenting());
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
