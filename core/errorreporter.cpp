#include "core/errorreporter.h"

#include "core/errorpresenter.h"
#include "core/monitorfailure.h"

namespace {
QString unknownFailure(int code) {
    return QStringLiteral("Onbekende fout, foutcode : ") + QString::number(code);
}
} // namespace

ErrorReporter::ErrorReporter(ErrorPresenter& presenter) : m_presenter(presenter) {}

QStringList ErrorReporter::datagramFailureTexts(int code) {
    if (code == FailureCode::ConnectionReset)
        return {};
    return {unknownFailure(code)};
}

QStringList ErrorReporter::tickFailureTexts(int code) {
    QStringList texts{QStringLiteral("Fout : ") + QString::number(code)};
    if (code != FailureCode::ConnectionReset)
        texts << unknownFailure(code);
    return texts;
}

QStringList ErrorReporter::logFailureTexts(const QString& error) {
    // The logger's text names the file and the reason; an empty one still
    // deserves a box, since the line is lost.
    if (error.isEmpty())
        return {QStringLiteral("Kan niet schrijven naar het logbestand.")};
    return {error};
}

bool ErrorReporter::reportDatagramFailure(int code) {
    return show(datagramFailureTexts(code));
}

bool ErrorReporter::reportTickFailure(int code) {
    return show(tickFailureTexts(code));
}

bool ErrorReporter::reportLogFailure(const QString& error) {
    return show(logFailureTexts(error));
}

bool ErrorReporter::show(const QStringList& texts) {
    if (texts.isEmpty())
        return false;
    m_presenter.present(texts);
    return true;
}
