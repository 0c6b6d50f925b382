#pragma once

#include <QString>
#include <QStringList>

class ErrorPresenter;

// Turns failures of the monitoring handlers into message box texts for the
// presenter, whose queue keeps a failure that repeats every second from
// stacking boxes. The handlers never wait for a box.
class ErrorReporter {
public:
    explicit ErrorReporter(ErrorPresenter& presenter);

    // Each returns true when texts went to the presenter, false when there
    // was nothing to show (10054 for a datagram).
    bool reportDatagramFailure(int code);
    bool reportTickFailure(int code);
    bool reportLogFailure(const QString& error);

    static QStringList datagramFailureTexts(int code);
    static QStringList tickFailureTexts(int code);
    static QStringList logFailureTexts(const QString& error);

private:
    bool show(const QStringList& texts);

    ErrorPresenter& m_presenter;
};
