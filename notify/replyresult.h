#pragma once

#include <QString>

class QNetworkReply;

// How a finished HTTP request went, in a few English words for the journal
// and the test output: "HTTP 503", "Connection refused", or "no answer
// within 10 s" for a request its time-out ended (Qt reports that as
// canceled).
QString replyResult(const QNetworkReply& reply, int timeoutMs);
