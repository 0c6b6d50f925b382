#pragma once

#include <QAbstractSocket>
#include <QString>

// Socket failures are shown to the operator in the Windows Sockets
// numbering on every platform, so that a code means the same thing whatever
// machine Sondral runs on.
//
// Qt errors: connection refused and remote host closed give 10054 (a UDP
// socket sees a refused datagram as a connection reset), address in use
// 10048, host not found 11001, network error 10051, datagram too large 10040,
// access 10013, timeout 10060, address not available 10049, resource 10055,
// unsupported operation 10045, unfinished operation 10036, proxy errors the
// nearest connection code; anything else 10107 (system call failure).
int wsaCodeFromSocketError(QAbstractSocket::SocketError error);

// A short Dutch description of a Windows Sockets code for the operator,
// e.g. "adres al in gebruik" for 10048; "foutcode N" when there is none.
QString socketErrorText(int wsaCode);
