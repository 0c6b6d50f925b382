#pragma once

#include "status/statusclips.h"

#include <QAbstractHttpServer>

class StatusBoard;
class StatusListener;

// Answers the status requests from the board's latest copy, on the server's
// thread: "/" (the page), "/status.json", "/timeline.json", "/metrics",
// "/healthz", "/clips.json" and "/clips/NAME.flac". Read-only by
// construction: GET and HEAD only (anything else 405), no other path (404),
// nothing from the file system but the alarm clips (StatusClips: clip names
// only, in the clip folder only), and nothing here can reach the settings
// or the monitoring.
class StatusHttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    // clipFolder empty: no clips are served.
    explicit StatusHttpServer(StatusBoard& board, const QString& clipFolder = {},
                              QObject* parent = nullptr);
    // Binds the listener (which becomes this server's child) and asks it,
    // after each answer, whether the client wants the connection closed.
    bool bindListener(StatusListener* listener);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    bool answer(const QHttpServerRequest& request, QTcpSocket* socket, bool close);

    StatusBoard& m_board;
    QByteArray m_page;
    StatusClips m_clips;
    StatusListener* m_listener = nullptr;
};
