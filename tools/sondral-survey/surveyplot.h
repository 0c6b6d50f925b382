#pragma once

#include "tools/sondral-survey/levelsurvey.h"

#include <QImage>
#include <QString>

// The survey as a picture: each second's level of both channels, the
// proposed half threshold as a line, the seconds silent at the proposed
// threshold shaded, seconds without audio greyed. Drawn with QPainter on a
// QImage, so it needs no window system.
QImage surveyPlot(const LevelSurvey& survey, const SurveyProposal& proposal, const QString& title);
