#pragma once

#include "status/statusclips.h"
#include "status/statuslistener.h"

#include <QObject>

class StatusBoard;

// Answers the status requests from the board's latest copy, on the server's
// thread: "/" (the page), "/status.json", "/timeline.json", "/metrics",
// "/healthz", "/clips.json" and "/clips/NAME.flac". Read-only by
// construction: GET and HEAD only (anything else 405), no other path (404),
// nothing from the file system but the alarm clips (StatusClips: clip names
// only, in the clip folder only), and nothing here can reach the settings
// or the monitoring. The connections and their limits are the listener's.
class StatusHttpServer : public QObject {
    Q_OBJECT
public:
    // clipFolder empty: no clips are served.
    explicit StatusHttpServer(StatusBoard& board, const QString& clipFolder = {},
                              QObject* parent = nullptr);
    // Takes the listener (which becomes this server's child, so that both
    // move to the server's thread together) and answers its requests.
    void bindListener(StatusListener* listener);

private:
    StatusListener::Answer answer(const StatusListener::Request& request);

    StatusBoard& m_board;
    QByteArray m_page;
    StatusClips m_clips;
};
