#include "ui/ledspinedit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

class tst_LedSpinEdit : public QObject {
    Q_OBJECT
private slots:
    void setValueClamps_data();
    void setValueClamps();
    void keys_data();
    void keys();
    void wheel_data();
    void wheel();
    void buttonsStepAndRepeat();
    void digits_data();
    void digits();
    void drawsLitAndUnlitSegments();
    void takesAndShowsFocus();
};

namespace {

constexpr quint8 Seg0 = 0x3F, Seg1 = 0x06, Seg7 = 0x07, Seg5 = 0x6D;

void sendWheel(QWidget& w, int angle) {
    const QPointF pos(w.width() / 2.0, w.height() / 2.0);
    QWheelEvent event(pos, w.mapToGlobal(pos), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &event);
}

} // namespace

void tst_LedSpinEdit::setValueClamps_data() {
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("shown");
    QTest::newRow("inside") << 57 << 57;
    QTest::newRow("minimum") << 0 << 0;
    QTest::newRow("maximum") << 100 << 100;
    QTest::newRow("just above") << 101 << 100;
    QTest::newRow("negative") << -1 << 0;
    QTest::newRow("16-bit high") << 32767 << 100;
    QTest::newRow("16-bit low") << -32768 << 0;
    QTest::newRow("int max") << std::numeric_limits<int>::max() << 100;
}

void tst_LedSpinEdit::setValueClamps() {
    QFETCH(int, given);
    QFETCH(int, shown);
    LedSpinEdit edit;
    edit.setValue(50);
    QSignalSpy changed(&edit, &LedSpinEdit::valueChanged);
    edit.setProperty("Value", given);
    QCOMPARE(edit.value(), shown);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), shown);
    // Setting the same value again is no change.
    edit.setValue(given);
    QCOMPARE(changed.size(), 1);
}

void tst_LedSpinEdit::keys_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("up") << 50 << int(Qt::Key_Up) << 51;
    QTest::newRow("up at maximum") << 100 << int(Qt::Key_Up) << 100;
    QTest::newRow("down") << 50 << int(Qt::Key_Down) << 49;
    QTest::newRow("down at minimum") << 0 << int(Qt::Key_Down) << 0;
    QTest::newRow("page up") << 50 << int(Qt::Key_PageUp) << 60;
    QTest::newRow("page up near maximum") << 95 << int(Qt::Key_PageUp) << 100;
    QTest::newRow("page down") << 50 << int(Qt::Key_PageDown) << 40;
    QTest::newRow("page down near minimum") << 5 << int(Qt::Key_PageDown) << 0;
    QTest::newRow("home") << 50 << int(Qt::Key_Home) << 0;
    QTest::newRow("end") << 50 << int(Qt::Key_End) << 100;
    QTest::newRow("digit ignored") << 50 << int(Qt::Key_7) << 50;
}

void tst_LedSpinEdit::keys() {
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, expected);
    LedSpinEdit edit;
    edit.setValue(start);
    QTest::keyClick(&edit, Qt::Key(key));
    QCOMPARE(edit.value(), expected);
}

void tst_LedSpinEdit::wheel_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("angles");
    QTest::addColumn<int>("expected");
    QTest::newRow("one notch up") << 10 << QList<int>{120} << 11;
    QTest::newRow("two notches down") << 10 << QList<int>{-240} << 8;
    QTest::newRow("half notches add up") << 10 << QList<int>{60, 60} << 11;
    QTest::newRow("half notch alone") << 10 << QList<int>{60} << 10;
    QTest::newRow("stops at maximum") << 99 << QList<int>{360} << 100;
    QTest::newRow("stops at minimum") << 1 << QList<int>{-360} << 0;
}

void tst_LedSpinEdit::wheel() {
    QFETCH(int, start);
    QFETCH(QList<int>, angles);
    QFETCH(int, expected);
    LedSpinEdit edit;
    edit.setValue(start);
    for (int angle : angles)
        sendWheel(edit, angle);
    QCOMPARE(edit.value(), expected);
}

void tst_LedSpinEdit::buttonsStepAndRepeat() {
    LedSpinEdit edit;
    edit.setValue(99);
    auto* up = edit.findChild<QToolButton*>(QStringLiteral("up"));
    auto* down = edit.findChild<QToolButton*>(QStringLiteral("down"));
    QVERIFY(up && down);
    QVERIFY(up->autoRepeat());
    QVERIFY(down->autoRepeat());
    QCOMPARE(up->focusPolicy(), Qt::NoFocus);
    // The buttons sit beside the digits, not over them.
    const int digitsRight = 3 * LedSpinEdit::DigitWidth + 2 * LedSpinEdit::DigitSpacing;
    QVERIFY(up->geometry().left() > digitsRight);
    QVERIFY(edit.rect().contains(up->geometry()));
    QVERIFY(edit.rect().contains(down->geometry()));

    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(edit.value(), 100);
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(edit.value(), 100);
    QTest::mouseClick(down, Qt::LeftButton);
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(edit.value(), 98);
}

void tst_LedSpinEdit::digits_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QList<int>>("segments");
    QTest::newRow("0 shows one lit zero") << 0 << QList<int>{0, 0, Seg0};
    QTest::newRow("7 has two unlit leading digits") << 7 << QList<int>{0, 0, Seg7};
    QTest::newRow("10 keeps its inner zero") << 10 << QList<int>{0, Seg1, Seg0};
    QTest::newRow("75") << 75 << QList<int>{0, Seg7, Seg5};
    QTest::newRow("100 lights all three") << 100 << QList<int>{Seg1, Seg0, Seg0};
}

void tst_LedSpinEdit::digits() {
    QFETCH(int, value);
    QFETCH(QList<int>, segments);
    LedSpinEdit edit;
    edit.setValue(value);
    for (int position = 0; position < 3; ++position)
        QCOMPARE(int(edit.litSegments(position)), segments.at(position));
}

void tst_LedSpinEdit::drawsLitAndUnlitSegments() {
    LedSpinEdit edit;
    edit.setValue(7);
    const QImage image = edit.grab().toImage();
    // The centre of segment a (top) and d (bottom) of a digit cell; the
    // digits start 3 px inside the panel and are 15 px wide with 1 px gaps.
    const auto segmentColour = [&](int position, bool top) {
        const int x = 3 + position * (LedSpinEdit::DigitWidth + LedSpinEdit::DigitSpacing) + 7;
        const int y = 3 + (top ? 2 : LedSpinEdit::DigitHeight - 3);
        return image.pixelColor(x, y);
    };
    const auto isYellow = [](const QColor& c) {
        return c.red() > 200 && c.green() > 180 && c.blue() < 80;
    };
    const auto isGreen = [](const QColor& c) {
        return c.green() > 40 && c.red() < 40 && c.blue() < 40;
    };
    // 7 = segments a, b, c: the top of the last digit is lit, its bottom not;
    // the leading digits are unlit throughout.
    QVERIFY(isYellow(segmentColour(2, true)));
    QVERIFY(isGreen(segmentColour(2, false)));
    QVERIFY(isGreen(segmentColour(0, true)));
    QVERIFY(isGreen(segmentColour(1, true)));
    QVERIFY(isGreen(segmentColour(1, false)));
}

void tst_LedSpinEdit::takesAndShowsFocus() {
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* edit = new LedSpinEdit(&window);
    edit->move(0, 40);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    const QImage unfocused = edit->grab().toImage();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(edit->grab().toImage() == unfocused, false);
    // Keys reach it once it has the focus.
    QCOMPARE(QApplication::focusWidget(), edit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(edit->value(), 1);
}

QTEST_MAIN(tst_LedSpinEdit)
#include "tst_ledspinedit.moc"
