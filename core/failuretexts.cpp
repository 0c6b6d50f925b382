#include "core/failuretexts.h"

#include "core/failurecodes.h"

namespace {
QString unknownFailure(int code) {
    return QStringLiteral("Onbekende fout, foutcode : ") + QString::number(code);
}
} // namespace

namespace FailureTexts {

QStringList datagram(int code) {
    if (code == FailureCode::ConnectionReset)
        return {};
    return {unknownFailure(code)};
}

QStringList tick(int code) {
    QStringList texts{QStringLiteral("Fout : ") + QString::number(code)};
    if (code != FailureCode::ConnectionReset)
        texts << unknownFailure(code);
    return texts;
}

QString log(const QString& error) {
    // An empty reason still deserves a box, since the line is lost.
    if (error.isEmpty())
        return QStringLiteral("Kan niet schrijven naar het logbestand.");
    return error;
}

} // namespace FailureTexts
