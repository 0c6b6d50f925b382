#include "tools/sondral-survey/surveyplot.h"

#include "tools/sondral-survey/surveyreport.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {

constexpr int imageWidth = 1200;
constexpr int imageHeight = 560;
const QRect area(80, 56, imageWidth - 80 - 24, imageHeight - 56 - 70); // the plot itself

const QColor leftColour(30, 90, 200, 150);
const QColor rightColour(210, 50, 40);
const QColor silentColour(255, 190, 90, 110);
const QColor unheardColour(150, 150, 150, 90);
const QColor thresholdColour(0, 130, 60);
const QPen leftPen(leftColour, 4);
const QPen rightPen(rightColour, 1.5);

// A tick step in seconds that gives at most about a dozen labels.
int timeStep(int seconds) {
    for (int step : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200})
        if (seconds / step <= 12)
            return step;
    return 14400;
}

} // namespace

QImage surveyPlot(const LevelSurvey& survey, const SurveyProposal& proposal, const QString& title) {
    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);

    const int total = std::max<int>(1, int(survey.seconds().size()));
    auto xOf = [total](double second) { return area.left() + second * area.width() / total; };
    auto yOf = [](double level) { return area.bottom() - level * area.height() / 100.0; };
    auto shade = [&](const QList<SecondSpan>& spans, const QColor& colour) {
        for (const SecondSpan& span : spans)
            painter.fillRect(QRectF(QPointF(xOf(span.first), area.top()),
                                    QPointF(xOf(span.first + span.length), area.bottom())),
                             colour);
    };
    shade(survey.silentSpans(proposal.vol), silentColour);
    shade(survey.unheardSpans(), unheardColour);

    // Grid and axes.
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(225, 225, 225));
    for (int level = 10; level <= 100; level += 10)
        painter.drawLine(QPointF(area.left(), yOf(level)), QPointF(area.right(), yOf(level)));
    painter.setPen(Qt::black);
    painter.drawRect(area);
    for (int level = 0; level <= 100; level += 20)
        painter.drawText(QRectF(area.left() - 50, yOf(level) - 8, 42, 16),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
    const int step = timeStep(total);
    for (int second = 0; second <= total; second += step) {
        const double x = xOf(second);
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 5));
        painter.drawText(QRectF(x - 40, area.bottom() + 6, 80, 16), Qt::AlignCenter,
                         durationText(second));
    }
    painter.drawText(QRectF(area.left(), area.bottom() + 26, area.width(), 18), Qt::AlignCenter,
                     QStringLiteral("time since the start of the survey (m:ss)"));
    painter.save();
    painter.translate(22, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-area.height() / 2.0, -10, area.height(), 20), Qt::AlignCenter,
                     QStringLiteral("level (%; 0 = -60 dBFS, 100 = 0 dBFS)"));
    painter.restore();

    // The levels: each second holds its reading for the whole second.
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int channel = 0; channel < 2; ++channel) {
        QPainterPath path;
        bool drawing = false;
        for (int i = 0; i < survey.seconds().size(); ++i) {
            const SurveySecond& second = survey.seconds().at(i);
            if (!second.heard) {
                drawing = false;
                continue;
            }
            const double y = yOf(channel == 0 ? second.left : second.right);
            if (drawing)
                path.lineTo(xOf(i), y);
            else
                path.moveTo(xOf(i), y);
            path.lineTo(xOf(i + 1), y);
            drawing = true;
        }
        // The left channel broad underneath, so that it shows where the
        // right one covers it.
        painter.setPen(channel == 0 ? leftPen : rightPen);
        painter.drawPath(path);
    }
    const double half = yOf(proposal.vol / 2.0);
    painter.setPen(QPen(thresholdColour, 2, Qt::DashLine));
    painter.drawLine(QPointF(area.left(), half), QPointF(area.right(), half));
    painter.setClipping(false);
    painter.setPen(thresholdColour);
    painter.drawText(
        QRectF(area.left() + 6, half - 18, 400, 16), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("half threshold %1 (Vol=%2)").arg(proposal.vol / 2.0).arg(proposal.vol));

    // Legend, above the plot on the right.
    // A line entry has a pen, a shaded one a fill.
    struct Entry {
        QString text;
        QPen pen;
        QColor fill;
    };
    const std::array<Entry, 4> legend{{
        {QStringLiteral("left"), leftPen, {}},
        {QStringLiteral("right"), rightPen, {}},
        {QStringLiteral("silent at Vol=%1").arg(proposal.vol), Qt::NoPen, silentColour},
        {QStringLiteral("no audio"), Qt::NoPen, unheardColour},
    }};
    double x = area.right() - 430;
    const double y = area.top() - 16;
    for (const Entry& entry : legend) {
        const bool line = !entry.fill.isValid();
        if (line) {
            painter.setPen(entry.pen);
            painter.drawLine(QPointF(x, y), QPointF(x + 18, y));
        } else {
            painter.fillRect(QRectF(x, y - 6, 18, 12), entry.fill);
        }
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x + 22, y - 8, 130, 16), Qt::AlignLeft | Qt::AlignVCenter,
                         entry.text);
        x += line ? 70 : 140;
    }

    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(area.left(), 6, area.width(), 22), Qt::AlignLeft | Qt::AlignVCenter,
                     title);
    return image;
}
