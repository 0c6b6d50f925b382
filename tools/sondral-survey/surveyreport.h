#pragma once

#include "tools/sondral-survey/levelsurvey.h"

#include <QDateTime>
#include <QString>

// What the report says about the survey besides its levels.
struct SurveyContext {
    int card = 0; // -1: a stream (--url)
    QString deviceName;
    QDateTime started;
    int secondsAsked = 0;
    bool endedEarly = false; // stopped by Ctrl-C or a termination signal
};

// The report as plain English text, one line per item, ending with the line
// "suggest Vol=<n> Time=<n>" for scripts; without a heard second there is no
// such line.
QString surveyReport(const SurveyContext& context, const LevelSurvey& survey);

// "-12.6 dBFS", or "-60 dBFS or below" for 0: a level in the decibels an
// engineer reads on the console.
QString levelInDbfs(int level);

// "2:05" or "1:02:05": seconds as a clock reads them.
QString durationText(int seconds);
