#include "audio/devicelist.h"

#include <QtTest>

// Re-finding the captured device in a changed list: by its sound-server
// name, else by position when the list is as long as before.
class TstDeviceList : public QObject {
    Q_OBJECT
private slots:
    void findDevice_data();
    void findDevice();
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

QTEST_APPLESS_MAIN(TstDeviceList)
#include "tst_devicelist.moc"
