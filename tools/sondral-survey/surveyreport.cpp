#include "tools/sondral-survey/surveyreport.h"

#include <QStringList>

namespace {

QString padded(int value, int width) {
    return QStringLiteral("%1").arg(value, width);
}

} // namespace

QString durationText(int seconds) {
    const QString tail = QStringLiteral("%1:%2")
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds >= 3600)
        return QStringLiteral("%1:%2").arg(seconds / 3600).arg(tail);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString levelInDbfs(int level) {
    // The scale: level = 100 + 100 * dBFS / 60.
    if (level <= 0)
        return QStringLiteral("-60 dBFS or below");
    return QStringLiteral("%1 dBFS").arg((level - 100) * 0.6, 0, 'f', 1);
}

QString surveyReport(const SurveyContext& context, const LevelSurvey& survey) {
    QStringList out;
    const int heard = survey.heardSeconds();
    const int unheard = int(survey.seconds().size()) - heard;
    out << QStringLiteral("Sondral level survey");
    if (context.card < 0)
        out << QStringLiteral("device:    stream %1").arg(context.deviceName);
    else
        out << QStringLiteral("device:    card %1, \"%2\"")
                   .arg(context.card)
                   .arg(context.deviceName);
    out << QStringLiteral("started:   %1")
               .arg(context.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    out << QStringLiteral("measured:  %1 s of %2 s asked%3")
               .arg(heard)
               .arg(context.secondsAsked)
               .arg(context.endedEarly ? QStringLiteral(" (ended early)") : QString());
    if (unheard > 0)
        out << QStringLiteral("           %1 s without audio (capture lost), left out")
                   .arg(unheard);

    const auto spread = survey.distribution();
    const auto proposal = survey.proposal();
    if (!spread || !proposal) {
        out << QString() << QStringLiteral("No second was measured: nothing to report.");
        return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }

    out << QString()
        << QStringLiteral("Level of the louder channel per second (percent, 60 dB scale):");
    const QList<std::pair<const char*, int>> rows{{"minimum", spread->minimum},
                                                  {"5th percentile", spread->p5},
                                                  {"median", spread->median},
                                                  {"95th percentile", spread->p95},
                                                  {"maximum", spread->maximum}};
    for (const auto& [name, level] : rows)
        out << QStringLiteral("  %1 %2   %3")
                   .arg(QLatin1String(name), -16)
                   .arg(padded(level, 3))
                   .arg(levelInDbfs(level));
    out << QString()
        << QStringLiteral("noise floor: %1 (%2)")
               .arg(proposal->noiseFloor)
               .arg(levelInDbfs(proposal->noiseFloor));

    out << QString()
        << QStringLiteral("Silent runs per threshold (a second is silent when both channels are")
        << QStringLiteral("below half the threshold; a Time below the longest run would have")
        << QStringLiteral("raised an alarm during the survey):")
        << QStringLiteral("   Vol  half  runs  silent s  longest run");
    for (int threshold = 10; threshold <= LevelSurvey::highestSetting; threshold += 10) {
        const SilentRuns runs = survey.silentRuns(threshold);
        out << QStringLiteral("  %1  %2  %3  %4  %5 s")
                   .arg(padded(threshold, 4))
                   .arg(padded(threshold / 2, 4))
                   .arg(padded(runs.runs, 4))
                   .arg(padded(runs.seconds, 8))
                   .arg(padded(runs.longest, 9));
    }

    out << QString()
        << QStringLiteral("Dynamics per second (the spread of the 50 ms RMS levels within the")
        << QStringLiteral("second; a loud second that hardly moves, or repeats itself, is a")
        << QStringLiteral("steady signal: a hum, hiss, a tone, a stuck player):");
    if (const auto dynamics = survey.dynamics()) {
        const FlatRun flat = survey.flattestRun(proposal->vol);
        out << QStringLiteral("  spread 5th percentile %1 dB, median %2 dB")
                   .arg(dynamics->spreadP5, 0, 'f', 1)
                   .arg(dynamics->spreadMedian, 0, 'f', 1)
            << QStringLiteral("  steady seconds: %1 of %2 measured")
                   .arg(dynamics->steady)
                   .arg(dynamics->measured);
        if (flat.count > 0)
            out << QStringLiteral("  flattest run at Vol=%1: %2 s steady, from %3; a Flat time "
                                  "below %2 s would have raised an alarm.")
                       .arg(proposal->vol)
                       .arg(flat.count)
                       .arg(durationText(flat.first));
        else
            out << QStringLiteral("  flattest run at Vol=%1: none; any Flat time leaves the "
                                  "programme alone.")
                       .arg(proposal->vol);
    } else {
        out << QStringLiteral("  not measured");
    }

    const int half = proposal->vol / 2;
    out << QString()
        << (proposal->floorTooHigh
                ? QStringLiteral("Proposal: Vol=%1, the highest; its half threshold %2 is only "
                                 "%3 points above the noise floor;")
                      .arg(proposal->vol)
                      .arg(half)
                      .arg(half - proposal->noiseFloor)
                : QStringLiteral("Proposal: Vol=%1 puts the half threshold at %2, %3 points "
                                 "(6 dB) above the noise floor;")
                      .arg(proposal->vol)
                      .arg(half)
                      .arg(half - proposal->noiseFloor))
        << QStringLiteral("at Vol=%1 the longest silent run was %2 s, and Time=%3 allows %4 s.")
               .arg(proposal->vol)
               .arg(proposal->longestRun)
               .arg(proposal->time)
               .arg(proposal->time - proposal->longestRun);
    if (proposal->floorTooHigh)
        out << QStringLiteral("WARNING: the quietest second (%1) is too loud for a 6 dB margin "
                              "below any threshold.")
                   .arg(proposal->noiseFloor)
            << QStringLiteral("  The survey heard no dead air, or the chain is very noisy: survey "
                              "again with a")
            << QStringLiteral("  gap or the source faded down for a few seconds.");
    if (proposal->runTooLong)
        out << QStringLiteral("WARNING: a silent run of %1 s is longer than the highest time "
                              "limit (100 s);")
                   .arg(proposal->longestRun)
            << QStringLiteral("  at this threshold the source would raise false alarms.");
    out << QStringLiteral("suggest Vol=%1 Time=%2").arg(proposal->vol).arg(proposal->time);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
