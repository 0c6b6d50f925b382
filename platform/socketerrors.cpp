#include "platform/socketerrors.h"

int wsaCodeFromSocketError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return 10051;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    case QAbstractSocket::UnfinishedSocketOperationError:
        return 10036;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return 10061;
    case QAbstractSocket::ProxyConnectionClosedError:
        return 10054;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return 10060;
    case QAbstractSocket::ProxyNotFoundError:
        return 11001;
    case QAbstractSocket::TemporaryError:
        return 10035;
    default:
        return 10107;
    }
}

QString socketErrorText(int wsaCode) {
    switch (wsaCode) {
    case 10013:
        return QStringLiteral("geen toegang");
    case 10022:
        return QStringLiteral("ongeldige waarde");
    case 10040:
        return QStringLiteral("bericht te lang");
    case 10048:
        return QStringLiteral("adres al in gebruik");
    case 10049:
        return QStringLiteral("adres niet beschikbaar");
    case 10050:
    case 10051:
        return QStringLiteral("netwerk onbereikbaar");
    case 10054:
        return QStringLiteral("verbinding verbroken door de andere kant");
    case 10055:
        return QStringLiteral("te weinig systeembronnen");
    case 10060:
        return QStringLiteral("tijd verstreken");
    case 10065:
        return QStringLiteral("computer onbereikbaar");
    case 11001:
        return QStringLiteral("onbekende naam");
    default:
        return QStringLiteral("foutcode %1").arg(wsaCode);
    }
}
