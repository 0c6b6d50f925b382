#include "tools/sondral-sim/scriptparser.h"

#include "tools/sondral-sim/datagramtext.h"

#include <QRegularExpression>

#include <cmath>

namespace {

ScriptParser::Result failure(int line, const QString& message) {
    ScriptParser::Result result;
    result.m_error = QStringLiteral("command %1: %2").arg(line).arg(message);
    return result;
}

// A non-negative, finite number of seconds, or a negative value when the text is none.
double parseSeconds(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0)
        return -1.0;
    return value;
}

ScriptParser::Result appendAll(ScriptParser::Result into, const ScriptParser::Result& part) {
    into.m_commands += part.m_commands;
    return into;
}

} // namespace

ScriptParser::Result ScriptParser::parseArguments(const QStringList& words) {
    Result result;
    const QStringList pieces = words.join(QLatin1Char(' ')).split(QLatin1Char(','));
    int position = 0;
    for (const QString& piece : pieces) {
        ++position;
        if (piece.trimmed().isEmpty()) {
            // "a,,b" or a trailing comma: nothing to do, but say so rather than guess.
            if (pieces.size() > 1)
                return failure(position, QStringLiteral("empty command between commas"));
            continue;
        }
        const Result one = parseCommand(piece, position);
        if (!one.m_error.isEmpty())
            return one;
        result = appendAll(result, one);
    }
    return result;
}

ScriptParser::Result ScriptParser::parseScript(const QString& text) {
    Result result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        if (line.trimmed().isEmpty())
            continue;
        const Result one = parseCommand(line, i + 1);
        if (!one.m_error.isEmpty())
            return one;
        result = appendAll(result, one);
    }
    return result;
}

ScriptParser::Result ScriptParser::parseCommand(const QString& text, int line) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = text.trimmed().split(blanks, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return failure(line, QStringLiteral("empty command"));

    const QString verb = words.first().toLower();
    SimCommand command;
    command.m_line = line;

    if (verb == QLatin1String("send")) {
        if (words.size() != 2)
            return failure(line, QStringLiteral("send takes one keyword, e.g. send SN_AUTO "
                                                "(use send-hex for spaces or line ends)"));
        command.m_kind = SimCommand::Kind::Send;
        command.m_payload = words.at(1).toLatin1();
    } else if (verb == QLatin1String("send-hex")) {
        const auto bytes = DatagramText::fromHex(words.mid(1).join(QString()));
        if (!bytes)
            return failure(line, QStringLiteral("send-hex needs an even number of hex digits, "
                                                "e.g. send-hex 534e5f4155544f0d0a"));
        command.m_kind = SimCommand::Kind::Send;
        command.m_payload = *bytes;
    } else if (verb == QLatin1String("wait")) {
        const double seconds = words.size() == 2 ? parseSeconds(words.at(1)) : -1.0;
        if (seconds < 0.0)
            return failure(line, QStringLiteral("wait takes a number of seconds, e.g. wait 2.5"));
        command.m_kind = SimCommand::Kind::Wait;
        command.m_seconds = seconds;
    } else if (verb == QLatin1String("listen")) {
        if (words.size() > 2)
            return failure(line, QStringLiteral("listen takes at most a number of seconds"));
        command.m_kind = SimCommand::Kind::Listen;
        command.m_seconds = -1.0;
        if (words.size() == 2) {
            command.m_seconds = parseSeconds(words.at(1));
            if (command.m_seconds < 0.0)
                return failure(line, QStringLiteral("listen takes a number of seconds"));
        }
    } else if (verb == QLatin1String("expect")) {
        if (words.size() < 2 || words.size() > 3)
            return failure(line, QStringLiteral("expect takes a keyword and optionally seconds, "
                                                "e.g. expect SN_ALARM 15"));
        command.m_kind = SimCommand::Kind::Expect;
        command.m_payload = words.at(1).toLatin1();
        command.m_seconds = defaultExpectSeconds;
        if (words.size() == 3) {
            command.m_seconds = parseSeconds(words.at(2));
            if (command.m_seconds < 0.0)
                return failure(line, QStringLiteral("expect: the timeout is a number of seconds"));
        }
    } else {
        return failure(line, QStringLiteral("unknown command \"%1\" (send, send-hex, wait, "
                                            "listen, expect)")
                                 .arg(words.first()));
    }

    Result result;
    result.m_commands.append(command);
    return result;
}
