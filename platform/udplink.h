#pragma once

#include "core/datagramlink.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

class QHostInfo;

// The datagram socket to the server: bound to the local port on all local
// addresses (IPv4 and IPv6), it hands every arrived datagram on, from any
// sender (as it arrives, or to the tick that asks for what waits), and sends
// to the configured remote name and port. Name lookups run asynchronously so
// the window never freezes on a slow resolver.
class UdpLink : public QObject, public DatagramLink {
    Q_OBJECT
public:
    explicit UdpLink(QObject* parent = nullptr);

    // Binds exclusively (no sharing with another socket on the same port).
    // On failure returns false; lastErrorCode() and lastErrorText() say why.
    // A valid port that cannot be had (another program holds it) is tried
    // again every bindRetryMs, silently, until it binds: then bound().
    bool bind(qint32 port);
    static constexpr int bindRetryMs = 5000;
    bool isRetryingBind() const { return m_bindRetry.isActive(); }
    bool isBound() const;
    int lastErrorCode() const { return m_lastErrorCode; }
    QString lastErrorText() const { return m_lastErrorText; }
    // The same failure in English, for the journal and the health check.
    QString lastErrorReason() const { return m_lastErrorReason; }

    // Datagrams the kernel dropped on the bound socket because its receive
    // buffer was full, since the bind; -1 when not known (not bound, or a
    // kernel that does not say). Looked at every dropPollMs while bound;
    // droppedChanged() tells when the count moved.
    qint64 droppedDatagrams() const { return m_dropped; }
    static constexpr int dropPollMs = 1000;

    // The destination of every datagram sent. An IP literal is used as it
    // is; a name is looked up in the background. A name that cannot be
    // found is reported once per setRemote() through remoteResolveFailed;
    // later retries fail silently (the sender sees 11001).
    void setRemote(const QString& name, qint32 port);

    // A name (not an IP literal) is looked up again in the background about
    // once a minute (refreshMs after the last answer), so that a server that
    // moved (a new DHCP lease, the standby playout PC) gets the alarm at its
    // new address. Each lookup that finds addresses keeps the current one
    // when it is still among them, else takes the new one; one that fails
    // keeps the last good address and is reported once per run through
    // remoteResolveFailed. refreshRemote() starts such a lookup now when one
    // is due (the monitor's wiring asks before an alarm may be due, a timer
    // every refreshPollMs); it never waits for the answer.
    void refreshRemote();
    // Just over Qt's own 60 s of keeping an answer.
    static constexpr int refreshMs = 61 * 1000;
    static constexpr int refreshPollMs = 2 * 1000;

    // 0 when sent; otherwise a Windows Sockets code. Without a resolved
    // remote address: 11001, and a new lookup starts so a later call may
    // succeed.
    int sendDatagram(const QByteArray& payload) override;
    // The next datagram waiting on the socket, read at once; nothing when
    // the socket is not bound or none waits.
    std::optional<Received> takePending() override;

signals:
    void datagramReceived(const QByteArray& payload);
    // A bind that failed has succeeded on a later try.
    void bound();
    void droppedChanged(qint64 dropped);
    // A Dutch text for the operator naming the server that was not found.
    void remoteResolveFailed(const QString& text);
    // Reading a datagram failed (Windows Sockets code, 10054 for a refused
    // earlier send).
    void receiveFailed(int code);

private:
    void readPending();
    bool tryBind();
    void pollDrops();
    void startLookup();
    void lookedUp(const QHostInfo& info);
    void reportResolveFailure(const QHostInfo& info);

    QUdpSocket m_socket;
    QString m_remoteName;
    quint16 m_remotePort = 0;
    QHostAddress m_remoteAddress;
    int m_lookupId = -1;
    bool m_resolveFailureReported = false;
    bool m_refreshFailureReported = false;
    // When the last lookup answered; invalid before the first answer.
    QElapsedTimer m_lastAnswer;
    QTimer m_refresh;
    int m_lastErrorCode = 0;
    QString m_lastErrorText;
    QString m_lastErrorReason;
    qint32 m_port = 0;
    QTimer m_bindRetry;
    QTimer m_dropPoll;
    qint64 m_dropped = -1;
};
