#include "support/privatepulse.h"

#include <QProcess>
#include <QRegularExpression>

namespace {
const QString script = QStringLiteral(SONDRAL_PULSE_PRIVATE);
}

PrivatePulse::~PrivatePulse() {
    stop();
}

bool PrivatePulse::start(const QString& dir) {
    QProcess process;
    process.start(QStringLiteral("bash"), {script, QStringLiteral("start"), dir});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = QStringLiteral("pulse-private.sh start failed: ") +
                  QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    m_dir = dir;

    // The script prints one line: export NAME=VALUE NAME=VALUE ... The values
    // are paths under dir, which holds no blanks or quotes.
    const QString exports = QString::fromLocal8Bit(process.readAllStandardOutput());
    static const QRegularExpression assignment(QStringLiteral("([A-Z_]+)=(\\S+)"));
    auto it = assignment.globalMatch(exports);
    while (it.hasNext()) {
        const auto match = it.next();
        m_environment.insert(match.captured(1), match.captured(2));
    }
    if (!m_environment.contains(QStringLiteral("PULSE_SERVER"))) {
        m_error = QStringLiteral("pulse-private.sh printed no PULSE_SERVER: ") + exports;
        return false;
    }
    return true;
}

void PrivatePulse::stop() {
    if (m_dir.isEmpty())
        return;
    QProcess::execute(QStringLiteral("bash"), {script, QStringLiteral("stop"), m_dir});
    m_dir.clear();
}
