#include "support/serverpeer.h"
#include "support/sondralinstance.h"
#include "support/udpports.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

// A real Sondral whose status port is taken by another program: the
// operator is told at start-up, and the monitoring goes on as without the
// page, alarm included.
class TestStatusStartup : public QObject {
    Q_OBJECT

private slots:
    void portTakenIsAStartupMessage() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
        ServerPeer peer;
        QVERIFY(peer.bind());
        const quint16 hostPort = UdpPorts::freePort();

        QTemporaryDir dir;
        SondralInstance sondral(dir.path());
        sondral.writeIni("[Audio]\nAutoVol=20\nAutoTime=1\n[InterPC]\nRemoteName=127.0.0.1\n"
                         "RemotePort=" +
                         QByteArray::number(peer.port()) +
                         "\nHostPort=" + QByteArray::number(hostPort) +
                         "\n[Status]\nPort=" + QByteArray::number(squatter.serverPort()) + "\n");
        QVERIFY(sondral.start());
        QVERIFY2(sondral.waitForOutput(QStringLiteral("De statuspagina kan niet starten op "
                                                      "127.0.0.1, poort %1")
                                           .arg(squatter.serverPort()),
                                       10000),
                 qPrintable(sondral.output()));
        QVERIFY(sondral.output().contains(QStringLiteral("De bewaking gaat gewoon door.")));

        // No sound server: the automation's silence is counted, and the alarm
        // goes out.
        QTRY_VERIFY_WITH_TIMEOUT(!UdpPorts::canBind(hostPort), 5000);
        peer.send("SN_AUTO", hostPort);
        QVERIFY(peer.waitForArrivals(1, 8000));
        QCOMPARE(peer.arrivals().first().m_payload, QByteArray("SN_ALARM"));
        QVERIFY(sondral.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestStatusStartup)
#include "tst_statusstartup.moc"
