#include "core/socketerrors.h"

#include <cerrno>

namespace {
struct ErrnoEntry {
    int errnoValue;
    int wsaCode;
};

// Looked up in order, first match wins, so aliases (EAGAIN and EWOULDBLOCK,
// ENOTSUP and EOPNOTSUPP) need no special care.
constexpr ErrnoEntry ErrnoTable[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {EWOULDBLOCK, 10035},     {EAGAIN, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {ENOTSUP, 10045},         {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053}, {ECONNRESET, 10054},      {ECONNREFUSED, 10054},
    {ENOBUFS, 10055},      {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETIMEDOUT, 10060},       {ELOOP, 10062},
    {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},
};
} // namespace

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

int wsaCodeFromErrno(int errnoValue) {
    for (const ErrnoEntry& entry : ErrnoTable)
        if (entry.errnoValue == errnoValue)
            return entry.wsaCode;
    return 10000 + errnoValue;
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
