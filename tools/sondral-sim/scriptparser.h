#pragma once

#include "tools/sondral-sim/simcommand.h"

#include <QList>
#include <QString>
#include <QStringList>

// Turns command-line words or a script text into simulator commands.
//
// Command line: all words are joined with spaces and split at commas, so
//   send SN_AUTO, wait 5, expect SN_ALARM 10
// is three commands whether it arrives as one argument or as many.
// Script: one command per line; '#' starts a comment; blank lines are skipped.
class ScriptParser {
public:
    struct Result {
        QList<SimCommand> m_commands;
        QString m_error; // empty when the whole input parsed
    };

    static Result parseArguments(const QStringList& words);
    static Result parseScript(const QString& text);

    // One command ("send SN_AUTO", "wait 0.5", ...); m_error names the problem.
    static Result parseCommand(const QString& text, int line);

    // Seconds given to expect when the command names none.
    static constexpr double defaultExpectSeconds = 10.0;
};
