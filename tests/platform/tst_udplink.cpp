// The datagram socket over real loopback: bind, receive from any peer, send
// to the configured server, and the failures an operator can run into.
#include "core/monitor.h"
#include "core/station.h"
#include "platform/udplink.h"
#include "settings/settings.h"
#include "support/fakeports.h"
#include "support/udpports.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

class tst_UdpLink : public QObject {
    Q_OBJECT
private slots:
    void receivesEveryDatagramFromAnySender();
    void sendsToTheRemote_data();
    void sendsToTheRemote();
    void portInUse();
    void badPortNumber();
    void unresolvableName();
    void refusedSendIsReportedAsReset();
    void takesWhatWaitsWithoutWaiting();
    void readsASliceATurn();
    void kernelDropsAreCounted();
    void realLinkWithMonitor();
};

void tst_UdpLink::receivesEveryDatagramFromAnySender() {
    UdpLink link;
    const quint16 port = UdpPorts::freePort();
    QVERIFY2(link.bind(port), qPrintable(link.lastErrorText()));
    QVERIFY(link.isBound());

    QSignalSpy spy(&link, &UdpLink::datagramReceived);
    QUdpSocket a, b;
    a.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    a.writeDatagram(QByteArray("SN_LIVE\0", 8), QHostAddress::LocalHost, port);
    b.writeDatagram("SN_FEED_1", QHostAddress::LocalHost, port);
    QTRY_COMPARE(spy.size(), 3);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("SN_AUTO"));
    QCOMPARE(spy.at(1).at(0).toByteArray(), QByteArray("SN_LIVE\0", 8));
    QCOMPARE(spy.at(2).at(0).toByteArray(), QByteArray("SN_FEED_1"));
}

void tst_UdpLink::sendsToTheRemote_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("IPv4 literal") << "127.0.0.1";
    QTest::newRow("name") << "localhost";
}

void tst_UdpLink::sendsToTheRemote() {
    QFETCH(QString, name);
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    UdpLink link;
    QVERIFY(link.bind(UdpPorts::freePort()));
    link.setRemote(name, server.localPort());
    // A name is looked up in the background; until then a send says 11001.
    QTRY_COMPARE(link.sendDatagram("SN_ALARM"), 0);
    QTRY_VERIFY(server.hasPendingDatagrams());
    QCOMPARE(server.receiveDatagram().data(), QByteArray("SN_ALARM"));
}

void tst_UdpLink::portInUse() {
    QUdpSocket holder; // default bind mode, as another program would
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
    UdpLink link;
    QVERIFY(!link.bind(holder.localPort()));
    QCOMPARE(link.lastErrorCode(), 10048);
    QCOMPARE(link.lastErrorText(),
             QString("Kan UDP-poort %1 niet openen: adres al in gebruik").arg(holder.localPort()));
    QVERIFY(!link.isBound());
}

void tst_UdpLink::badPortNumber() {
    UdpLink link;
    QVERIFY(!link.bind(0));
    QCOMPARE(link.lastErrorCode(), 10022);
    QVERIFY(!link.bind(70000));
    QCOMPARE(link.lastErrorCode(), 10022);
    QVERIFY(link.lastErrorText().startsWith("Kan UDP-poort 70000 niet openen"));
}

void tst_UdpLink::unresolvableName() {
    // An invalid name fails inside the resolver without a network query.
    const QString name = "sondral..invalid";
    UdpLink link;
    QSignalSpy failed(&link, &UdpLink::remoteResolveFailed);
    link.setRemote(name, 9);
    QCOMPARE(link.sendDatagram("SN_ALARM"), 11001);
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY2(failed.at(0).at(0).toString().startsWith("Kan de server \"" + name + "\" niet vinden"),
             qPrintable(failed.at(0).at(0).toString()));

    // Every later send retries the lookup; the failure is reported once only.
    QCOMPARE(link.sendDatagram("SN_ALARM"), 11001);
    QTest::qWait(200);
    QCOMPARE(link.sendDatagram("SN_ALARM"), 11001);
    QTest::qWait(200);
    QCOMPARE(failed.size(), 1);
}

void tst_UdpLink::refusedSendIsReportedAsReset() {
    // Nobody listens on the remote port: the refusal that comes back must
    // not stop the link from receiving, and shows as 10054 if at all.
    const quint16 deadPort = UdpPorts::freePort();
    const quint16 port = UdpPorts::freePort();
    UdpLink link;
    QVERIFY(link.bind(port));
    link.setRemote("127.0.0.1", deadPort);
    QSignalSpy received(&link, &UdpLink::datagramReceived);
    QSignalSpy failed(&link, &UdpLink::receiveFailed);

    QCOMPARE(link.sendDatagram("SN_ALARM"), 0);
    QTest::qWait(100);
    const int second = link.sendDatagram("SN_ALARM");
    QVERIFY2(second == 0 || second == 10054, qPrintable(QString::number(second)));
    for (const auto& args : failed)
        QCOMPARE(args.at(0).toInt(), 10054);

    QUdpSocket peer;
    peer.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    QTRY_COMPARE(received.size(), 1);
}

// What a tick asks for: the datagrams already waiting, in order, read at
// once; nothing when none waits, never a wait for one.
void tst_UdpLink::takesWhatWaitsWithoutWaiting() {
    UdpLink unbound;
    QVERIFY(!unbound.takePending());

    const quint16 port = UdpPorts::freePort();
    UdpLink link;
    QVERIFY(link.bind(port));
    QVERIFY(!link.takePending());
    QUdpSocket peer;
    peer.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    peer.writeDatagram("SN_LIVE", QHostAddress::LocalHost, port);
    // Arrived, but not handled: no event loop turn for the link.
    QThread::msleep(50);
    auto first = link.takePending();
    QVERIFY(first);
    QCOMPARE(first->payload, QByteArray("SN_AUTO"));
    QCOMPARE(first->error, 0);
    QCOMPARE(link.takePending()->payload, QByteArray("SN_LIVE"));
    QVERIFY(!link.takePending());
}

// A burst is handed on a bounded slice per turn of the event loop, in order,
// so that the tick's timer is served in between.
void tst_UdpLink::readsASliceATurn() {
    const quint16 port = UdpPorts::freePort();
    UdpLink link;
    QVERIFY(link.bind(port));
    QSignalSpy spy(&link, &UdpLink::datagramReceived);
    QUdpSocket peer;
    const int n = 3 * DatagramLink::maxPerTurn + 5;
    for (int i = 0; i < n; ++i)
        QVERIFY(peer.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, port) > 0);
    QElapsedTimer clock;
    clock.start();
    int turns = 0;
    while (spy.size() < n && clock.elapsed() < 5000) {
        const qsizetype before = spy.size();
        QCoreApplication::processEvents();
        QVERIFY(spy.size() - before <= DatagramLink::maxPerTurn);
        turns += spy.size() > before ? 1 : 0;
    }
    QCOMPARE(spy.size(), n);
    QVERIFY(turns >= 4);
    for (int i = 0; i < n; ++i)
        QCOMPARE(spy.at(i).at(0).toByteArray(), QByteArray::number(i));
}

// More than the receive buffer holds, with nobody reading: the kernel's
// drops show in the count.
void tst_UdpLink::kernelDropsAreCounted() {
    const quint16 port = UdpPorts::freePort();
    UdpLink link;
    QVERIFY(link.bind(port));
    QCOMPARE(link.droppedDatagrams(), 0);
    QUdpSocket peer;
    const QByteArray payload(1024, 'x');
    for (int i = 0; i < 8000; ++i)
        peer.writeDatagram(payload, QHostAddress::LocalHost, port);
    QTRY_VERIFY(link.droppedDatagrams() > 0);
}

// The real socket under the monitor: the alarm reaches the server, and a
// datagram already waiting in the socket when a tick begins is handled in
// the tick's middle, before the alarm decision.
void tst_UdpLink::realLinkWithMonitor() {
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    const quint16 port = UdpPorts::freePort();
    UdpLink link;
    QVERIFY(link.bind(port));
    link.setRemote("127.0.0.1", server.localPort());

    Settings settings;
    settings.AutoVol = 20;
    settings.Autotime = 1;
    Station station;
    FakeTimer timer;
    Monitor monitor(settings, station, timer, link);
    connect(&link, &UdpLink::datagramReceived, this,
            [&](const QByteArray& payload) { monitor.Winsock1_DataArrival(payload); });

    server.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    QTRY_COMPARE(station.state().modes.Mode, 2);
    monitor.tmrSN_Timer(0, 0);
    // The server switches to the studio just as the limit is reached; the
    // datagram has not been read yet when the tick starts.
    server.writeDatagram("SN_LIVE", QHostAddress::LocalHost, port);
    QTest::qWait(20);
    monitor.tmrSN_Timer(0, 0);
    QCOMPARE(station.state().modes.Mode, 1);
    QCOMPARE(station.state().statusText(), QString("LIVE"));
    QTest::qWait(100);
    QVERIFY(!server.hasPendingDatagrams());

    server.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    QTRY_COMPARE(station.state().modes.Mode, 2);
    monitor.tmrSN_Timer(0, 0);
    monitor.tmrSN_Timer(0, 0);
    QTRY_VERIFY(server.hasPendingDatagrams());
    const QNetworkDatagram alarm = server.receiveDatagram();
    QCOMPARE(alarm.data(), QByteArray("SN_ALARM"));
    QCOMPARE(alarm.senderPort(), port); // sent from the bound port
    QVERIFY(!timer.active);
}

QTEST_GUILESS_MAIN(tst_UdpLink)
#include "tst_udplink.moc"
