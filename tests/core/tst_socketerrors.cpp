// The Windows Sockets numbering of socket failures, from Qt and from errno.
#include "core/socketerrors.h"

#include <QTest>
#include <cerrno>

class tst_SocketErrors : public QObject {
    Q_OBJECT
private slots:
    void fromQt_data();
    void fromQt();
    void fromErrno_data();
    void fromErrno();
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

void tst_SocketErrors::fromErrno_data() {
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("code");
    QTest::newRow("ECONNREFUSED") << ECONNREFUSED << 10054;
    QTest::newRow("ECONNRESET") << ECONNRESET << 10054;
    QTest::newRow("EADDRINUSE") << EADDRINUSE << 10048;
    QTest::newRow("EADDRNOTAVAIL") << EADDRNOTAVAIL << 10049;
    QTest::newRow("ENETUNREACH") << ENETUNREACH << 10051;
    QTest::newRow("EHOSTUNREACH") << EHOSTUNREACH << 10065;
    QTest::newRow("EMSGSIZE") << EMSGSIZE << 10040;
    QTest::newRow("EACCES") << EACCES << 10013;
    QTest::newRow("ETIMEDOUT") << ETIMEDOUT << 10060;
    QTest::newRow("EAGAIN") << EAGAIN << 10035;
    QTest::newRow("EINTR") << EINTR << 10004;
    QTest::newRow("other: 10000 + errno") << EIO << 10000 + EIO;
}

void tst_SocketErrors::fromErrno() {
    QFETCH(int, err);
    QFETCH(int, code);
    QCOMPARE(wsaCodeFromErrno(err), code);
}

QTEST_APPLESS_MAIN(tst_SocketErrors)
#include "tst_socketerrors.moc"
