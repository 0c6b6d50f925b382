// The Windows Sockets numbering of Qt's socket failures.
#include "platform/socketerrors.h"

#include <QTest>

class tst_SocketErrors : public QObject {
    Q_OBJECT
private slots:
    void fromQt_data();
    void fromQt();
};

void tst_SocketErrors::fromQt_data() {
    QTest::addColumn<QAbstractSocket::SocketError>("error");
    QTest::addColumn<int>("code");
    QTest::newRow("refused") << QAbstractSocket::ConnectionRefusedError << 10054;
    QTest::newRow("closed") << QAbstractSocket::RemoteHostClosedError << 10054;
    QTest::newRow("in use") << QAbstractSocket::AddressInUseError << 10048;
    QTest::newRow("not found") << QAbstractSocket::HostNotFoundError << 11001;
    QTest::newRow("network") << QAbstractSocket::NetworkError << 10051;
    QTest::newRow("too large") << QAbstractSocket::DatagramTooLargeError << 10040;
    QTest::newRow("access") << QAbstractSocket::SocketAccessError << 10013;
    QTest::newRow("timeout") << QAbstractSocket::SocketTimeoutError << 10060;
    QTest::newRow("not available") << QAbstractSocket::SocketAddressNotAvailableError << 10049;
    QTest::newRow("unknown") << QAbstractSocket::UnknownSocketError << 10107;
}

void tst_SocketErrors::fromQt() {
    QFETCH(QAbstractSocket::SocketError, error);
    QFETCH(int, code);
    QCOMPARE(wsaCodeFromSocketError(error), code);
}

QTEST_APPLESS_MAIN(tst_SocketErrors)
#include "tst_socketerrors.moc"
