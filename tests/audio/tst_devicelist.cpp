#include "audio/captureengine.h"
#include "audio/devicelist.h"

#include <QtTest>

// Re-finding the captured device in a changed list: by its sound-server
// name, else by position when the list is as long as before.
class TstDeviceList : public QObject {
    Q_OBJECT
private slots:
    void findDevice_data();
    void findDevice();
    void preferredDeviceWins_data();
    void preferredDeviceWins();
    void firstBlockWaitGrows_data();
    void firstBlockWaitGrows();
};

void TstDeviceList::findDevice_data() {
    QTest::addColumn<QList<QByteArray>>("ids");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    const QList<QByteArray> abc{"a", "b", "c"};
    QTest::newRow("same place") << abc << QByteArray("b") << 1 << 3 << 1;
    QTest::newRow("moved up") << QList<QByteArray>{"b", "c"} << QByteArray("b") << 1 << 3 << 0;
    QTest::newRow("new id, same length")
        << QList<QByteArray>{"a", "x", "c"} << QByteArray("b") << 1 << 3 << 1;
    QTest::newRow("gone, one fewer")
        << QList<QByteArray>{"a", "c"} << QByteArray("b") << 1 << 3 << -1;
    QTest::newRow("first start: by position") << abc << QByteArray() << 2 << 3 << 2;
    QTest::newRow("position past the end") << abc << QByteArray() << 3 << 3 << -1;
    QTest::newRow("empty list") << QList<QByteArray>{} << QByteArray("a") << 0 << 0 << -1;
    QTest::newRow("before any list: position only") << abc << QByteArray() << 1 << -1 << 1;
    QTest::newRow("before any list: past the end") << abc << QByteArray() << 3 << -1 << -1;
}

void TstDeviceList::findDevice() {
    QFETCH(QList<QByteArray>, ids);
    QFETCH(QByteArray, id);
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, expected);
    QCOMPARE(findCaptureDevice(ids, id, position, count), expected);
}

void TstDeviceList::preferredDeviceWins_data() {
    QTest::addColumn<QList<QByteArray>>("ids");
    QTest::addColumn<QByteArray>("preferred");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    // A webcam listed ahead of the card after a reboot: the name finds it.
    QTest::newRow("reordered: by name") << QList<QByteArray>{"cam", "usb", "line"}
                                        << QByteArray("usb") << QByteArray() << 1 << -1 << 1;
    QTest::newRow("moved down: by name") << QList<QByteArray>{"cam", "line", "usb"}
                                         << QByteArray("usb") << QByteArray() << 0 << -1 << 2;
    // After a loss the chosen name wins over the one captured meanwhile.
    QTest::newRow("back after a loss") << QList<QByteArray>{"line", "usb"} << QByteArray("usb")
                                       << QByteArray("line") << 0 << 2 << 1;
    QTest::newRow("not listed: the captured id")
        << QList<QByteArray>{"cam", "line"} << QByteArray("usb") << QByteArray("line") << 0 << 2
        << 1;
    QTest::newRow("not listed: the position")
        << QList<QByteArray>{"cam", "line"} << QByteArray("usb") << QByteArray() << 1 << -1 << 1;
    QTest::newRow("not listed, position past the end")
        << QList<QByteArray>{"line"} << QByteArray("usb") << QByteArray() << 1 << -1 << -1;
    QTest::newRow("empty list") << QList<QByteArray>{} << QByteArray("usb") << QByteArray() << 0
                                << -1 << -1;
}

void TstDeviceList::preferredDeviceWins() {
    QFETCH(QList<QByteArray>, ids);
    QFETCH(QByteArray, preferred);
    QFETCH(QByteArray, id);
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, expected);
    QCOMPARE(findCaptureDevice(ids, preferred, id, position, count), expected);
}

void TstDeviceList::firstBlockWaitGrows_data() {
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("first attempt") << 0 << 3000;
    QTest::newRow("one empty attempt") << 1 << 6000;
    QTest::newRow("three") << 3 << 24000;
    QTest::newRow("four: held at 30 s") << 4 << 30000;
    QTest::newRow("many") << 16 << 30000;
}

void TstDeviceList::firstBlockWaitGrows() {
    QFETCH(int, failures);
    QFETCH(int, waitMs);
    QCOMPARE(CaptureEngine::firstBlockWaitMs(failures), waitMs);
}

QTEST_APPLESS_MAIN(TstDeviceList)
#include "tst_devicelist.moc"
