#pragma once

#include <QString>

class QNetworkReply;
class QUrl;

// How a finished HTTP request went, in a few English words for the journal
// and the test output: "HTTP 503", "Connection refused", or "no answer
// within 10 s" for a request its time-out ended (Qt reports that as
// canceled).
QString replyResult(const QNetworkReply& reply, int timeoutMs);

// A URL as the journal and the test output show it: scheme, host and port
// only. A chat hook's or a health check's path is its secret, and so are a
// user's name and password.
QString shownUrl(const QUrl& url);
