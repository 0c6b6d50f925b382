// The lines between the capture helper and WaveIn, and how a device is found
// again in a changed list.

#include "audio/captureprotocol.h"
#include "audio/devicelist.h"

#include <QtTest>

using namespace captureprotocol;

class TstCaptureProtocol : public QObject {
    Q_OBJECT
private slots:
    void roundTrip();
    void rejects_data();
    void rejects();
    void findDevice_data();
    void findDevice();
};

void TstCaptureProtocol::roundTrip() {
    const Message levelsBack = parse(levels(100, 0, 37, 99));
    QCOMPARE(levelsBack.kind, Kind::Levels);
    QCOMPARE(levelsBack.level[0], 100);
    QCOMPARE(levelsBack.level[1], 0);
    QCOMPARE(levelsBack.instant[0], 37);
    QCOMPARE(levelsBack.instant[1], 99);

    // Names with blanks, non-ASCII letters and even line ends stay one line.
    const QString name = QStringLiteral("Ingang 1 – Studio \"A\"\nB");
    const QByteArray line = opened(name);
    QCOMPARE(line.count('\n'), 1);
    QCOMPARE(parse(line).kind, Kind::Opened);
    QCOMPARE(parse(line).text, QStringLiteral("Ingang 1 – Studio \"A\" B"));
    QCOMPARE(parse(lost(QStringLiteral("Kaart"))).text, QStringLiteral("Kaart"));
    QCOMPARE(parse(failed(QStringLiteral("het apparaat bestaat niet meer"))).kind, Kind::Failed);

    // Ids are the sound system's own bytes, any of them.
    const QByteArray id("alsa_input.pci-0000 00 1f.3\x01\xff", 30);
    const Message dev = parse(device(id, QStringLiteral("Ingebouwd")));
    QCOMPARE(dev.kind, Kind::Device);
    QCOMPARE(dev.id, id);
    QCOMPARE(dev.text, QStringLiteral("Ingebouwd"));
    QCOMPARE(parse("levels 1 2 3 4\r\n").kind, Kind::Levels);
}

void TstCaptureProtocol::rejects_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unknown keyword") << QByteArray("level 1 2 3 4");
    QTest::newRow("three levels") << QByteArray("levels 1 2 3");
    QTest::newRow("five levels") << QByteArray("levels 1 2 3 4 5");
    QTest::newRow("above 100") << QByteArray("levels 101 2 3 4");
    QTest::newRow("negative") << QByteArray("levels -1 2 3 4");
    QTest::newRow("not a number") << QByteArray("levels x 2 3 4");
    QTest::newRow("odd hex id") << QByteArray("device abc Name");
    QTest::newRow("not hex id") << QByteArray("device zz Name");
    QTest::newRow("no id") << QByteArray("device");
    QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3);
}

void TstCaptureProtocol::rejects() {
    QFETCH(QByteArray, line);
    QCOMPARE(parse(line).kind, Kind::Invalid);
}

void TstCaptureProtocol::findDevice_data() {
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
}

void TstCaptureProtocol::findDevice() {
    QFETCH(QList<QByteArray>, ids);
    QFETCH(QByteArray, id);
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, expected);
    QCOMPARE(findCaptureDevice(ids, id, position, count), expected);
}

QTEST_APPLESS_MAIN(TstCaptureProtocol)
#include "tst_captureprotocol.moc"
