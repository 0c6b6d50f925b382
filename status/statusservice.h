#pragma once

#include "status/statuslistener.h"

#include <QObject>
#include <QString>

class QThread;
class StatusBoard;
class StatusHttpServer;

// The status server on a thread of its own: it answers from the board and
// never waits on the UI thread. start() opens the port (a bind is a quick
// system call, never a wait on the network) so that a port that cannot be
// had is known at once; from then on the socket and every connection live
// on the server's thread.
class StatusService : public QObject {
    Q_OBJECT
public:
    explicit StatusService(StatusBoard& board, StatusListener::Limits limits = {},
                           QObject* parent = nullptr);
    ~StatusService() override;

    // bind: an address, or "*" for every address; port 0 takes any free
    // port. False, with errorString(), when the address is not one or the
    // port cannot be bound; nothing runs then.
    bool start(const QString& bind, quint16 port);
    // The folder whose alarm clips the page may play; before start(). Unset:
    // none are served.
    void setClipFolder(const QString& folder) { m_clipFolder = folder; }
    // The port listened on, once started.
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

private:
    void stop();

    StatusBoard& m_board;
    StatusListener::Limits m_limits;
    QThread* m_thread = nullptr;
    StatusHttpServer* m_server = nullptr; // lives on m_thread
    quint16 m_port = 0;
    QString m_error;
    QString m_clipFolder;
};
