#pragma once

#include <QString>

// What may be shown of a stream's URL, and what kind of stream it names.
// A URL may carry an account (user:password@, Icecast's source or listener
// accounts) or a token in its query or fragment: whatever shows a URL (the
// window, the page, the JSON, the metrics, the log, the journal, the
// messages, the notifications) shows redacted() and never the URL itself.
namespace streamurl {

// Scheme, host, port and path only: no account, no query, no fragment. A
// local file (an .sdp) shows its path. Text that does not parse as a URL
// shows as "(invalid URL)" rather than in part.
QString redacted(const QString& url);

// The protocol as the status outputs name it: "http" (also https), "hls"
// (a .m3u8 over HTTP(S)), "srt", "udp", "rtp" (also an .sdp file); empty
// for a scheme Sondral does not take.
QString kind(const QString& url);

} // namespace streamurl
