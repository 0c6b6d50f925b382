#pragma once

#include <QString>
#include <QStringList>

class ErrorPresenter;

// Turns failures of the monitoring handlers into message box texts. At most
// one sequence of boxes is open at a time: a report made while one is open is
// counted as handled but not shown, so a failure that repeats every second
// cannot stack boxes. The handlers never wait for a box.
class ErrorReporter {
public:
    explicit ErrorReporter(ErrorPresenter& presenter);

    // Each returns true when the texts went to the presenter, false when
    // nothing was to be shown or a sequence was still open.
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
