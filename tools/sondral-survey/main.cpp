// sondral-survey: measures a source's levels the way Sondral's silence check
// reads them, and proposes the threshold and time limit. See helpText().
#include "surveyrunner.h"

#include "audio/wavein.h"
#include "platform/terminationwatcher.h"
#include "settings/settingsfile.h"
#include "tools/sondral-survey/levelsurvey.h"
#include "tools/sondral-survey/surveyplot.h"
#include "tools/sondral-survey/surveyreport.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

// Exit status.
constexpr int exitDone = 0;
constexpr int exitFailed = 1; // no sound server, no audio, picture not written
constexpr int exitUsage = 2;  // bad command line, card out of range

constexpr double maximumMinutes = 24 * 60;

const char* helpText() {
    return R"(Usage: sondral-survey [--card N | --url URL] [--minutes M] [--plot FILE.png]

Listens to a capture device the way Sondral does and proposes the level
threshold (Vol) and time limit (Time) for the source on it. Run it on the
Sondral PC while the source plays normal programme, ideally with a few
seconds of dead air in it (a gap between items, or the fader down): that is
how it hears the chain's noise floor.

Each second it reads both channels exactly as Sondral's silence check does:
the highest peak of the last second, in percent on a 60 dB scale (0 is
-60 dBFS or below, 100 is 0 dBFS). A second counts as silent when both
channels are below half the threshold.

Options:
  --card N      The capture device, numbered as in Sondral's Audio dialog
                (from 0). Default: Card in the sondral.ini beside this
                program, else 0.
  --url URL     A network stream instead of a card, as [Audio] Url takes
                it (http, https, HLS, srt, udp, rtp, an .sdp file).
  --minutes M   How long to listen (default 10; fractions allowed, at most
                1440). Ctrl-C ends the survey early; it still reports.
  --plot FILE   Also draw the levels, the proposed half threshold and the
                silent seconds into the PNG picture FILE.
  --help        This text.

The report (standard output) gives the seconds measured, the spread of each
second's louder-channel level, the noise floor, and for Vol = 10, 20 .. 100
the number of silent runs and the longest one: a Time below that run would
have raised an alarm during the survey. It also gives the programme's
dynamics: the spread in dB of the 50 ms RMS levels within each second, how
many seconds sounded steady (a hum, hiss, a tone, a short loop: what
AutoFlat and Feed1Flat..Feed4Flat in sondral.ini catch), and the flattest
run, the longest count of steady seconds the proposed Vol would have seen:
a Flat time below it would have raised an alarm. Its last line is, for
scripts:
  suggest Vol=<0-100> Time=<0-100>

The rule behind the proposal:
  - the noise floor is the lowest louder-channel level of any second;
  - Vol puts the half threshold 10 points (6 dB) above the noise floor and no
    higher, so that quiet programme does not count as silent:
    Vol = 2 x (floor + 10), at most 100;
  - Time is the longest silent run at that Vol plus half of it, at least
    3 s more, at most 100.
Check the table before taking it: a survey without dead air proposes too
high a Vol, and a short survey may miss the source's longest quiet passage.

On a terminal a progress line (on standard error) shows the time, the
current levels, the second's spread and the quiet runs so far.

Exit status: 0 done, 1 no sound server, no audio or picture not written,
2 bad usage (also a card that does not exist).
)";
}

void error(const QString& text) {
    std::fprintf(stderr, "sondral-survey: %s\n", qPrintable(text));
}

QString settingsPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("sondral.ini"));
}

// The card Sondral itself would capture: Card from its settings file beside
// this program; 0 when there is none.
int cardFromSettings() {
    SettingsFile file(settingsPath());
    for (const QString& message : file.load())
        error(message);
    return file.settings().Card;
}

QString deviceListText(const QStringList& names) {
    QString text;
    for (int i = 0; i < names.size(); ++i)
        text += QStringLiteral("\n  %1  %2").arg(i, 2).arg(names.at(i));
    return text;
}

// Whether a picture can be written at path, checked before listening for
// minutes: an empty text, else why not.
QString plotPathProblem(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (file.fileName().isEmpty())
        return QStringLiteral("no file name");
    if (!folder.isDir())
        return QStringLiteral("folder %1 does not exist").arg(folder.filePath());
    if (file.isDir())
        return QStringLiteral("it is a folder");
    if (file.exists() ? !file.isWritable() : !folder.isWritable())
        return QStringLiteral("permission denied");
    return QString();
}

bool writePlot(const QString& path, const QImage& image, QString* why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

} // namespace

namespace {
// The sound server answers within milliseconds, or never (a refused
// connection answers at once); a hung one is waited for this long.
constexpr int firstAnswerMs = 2000;

void waitForDeviceList(WaveIn& in) {
    if (in.devicesKnown())
        return;
    // Before the survey starts, so waiting in an event loop of its own holds
    // up nothing.
    QEventLoop loop;
    QTimer::singleShot(firstAnswerMs, &loop, &QEventLoop::quit);
    QObject::connect(&in, &WaveIn::devicesChanged, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

int main(int argc, char* argv[]) {
    // The picture is drawn without any window: never depend on a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondral-survey"));

    QCommandLineParser parser;
    const QCommandLineOption cardOption(QStringLiteral("card"), QString(), QStringLiteral("N"));
    const QCommandLineOption minutesOption(QStringLiteral("minutes"), QString(),
                                           QStringLiteral("M"), QStringLiteral("10"));
    const QCommandLineOption plotOption(QStringLiteral("plot"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption urlOption(QStringLiteral("url"), QString(), QStringLiteral("URL"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({cardOption, minutesOption, plotOption, urlOption, helpOption});
    if (!parser.parse(app.arguments())) {
        error(parser.errorText() + QStringLiteral(" (see --help)"));
        return exitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(helpText(), stdout);
        return exitDone;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error(QStringLiteral("unexpected argument \"%1\" (see --help)")
                  .arg(parser.positionalArguments().first()));
        return exitUsage;
    }

    bool ok = false;
    const double minutes = parser.value(minutesOption).toDouble(&ok);
    const double seconds = std::round(minutes * 60);
    if (!ok || !std::isfinite(minutes) || minutes <= 0 || minutes > maximumMinutes || seconds < 1) {
        error(QStringLiteral("--minutes must be a number of minutes above 0 and at most %1 "
                             "(at least one second), not \"%2\"")
                  .arg(maximumMinutes)
                  .arg(parser.value(minutesOption)));
        return exitUsage;
    }
    std::optional<int> card;
    if (parser.isSet(cardOption)) {
        card = parser.value(cardOption).toInt(&ok);
        if (!ok) {
            error(QStringLiteral("--card must be a card number, not \"%1\"")
                      .arg(parser.value(cardOption)));
            return exitUsage;
        }
    }
    const QString plotPath = parser.value(plotOption);
    if (parser.isSet(plotOption)) {
        const QString problem = plotPathProblem(plotPath);
        if (!problem.isEmpty()) {
            error(QStringLiteral("cannot write the picture to \"%1\": %2").arg(plotPath, problem));
            return exitUsage;
        }
    }
    const bool cardFromFile = !card;
    if (!card)
        card = cardFromSettings();

    WaveIn in;
    const QString url = parser.value(urlOption).trimmed();
    if (!url.isEmpty()) {
        // A stream: no device list to wait for; its loss is a failure.
        in.setDynamicsMeasured(true);
        in.startStream(url);
        card = -1;
    } else {
        waitForDeviceList(in);
    }
    const int count = url.isEmpty() ? in.deviceCount() : 1;
    if (count == 0) {
        error(in.soundServerReached()
                  ? QStringLiteral("the sound server lists no capture device")
                  : QStringLiteral("no sound server could be reached (is PipeWire or PulseAudio "
                                   "running for this user?)"));
        return exitFailed;
    }
    if (url.isEmpty() && !in.setDeviceNumber(*card)) {
        error(
            QStringLiteral("card %1%2 does not exist; the capture devices are:%3")
                .arg(*card)
                .arg(cardFromFile ? QStringLiteral(" (Card in %1)").arg(settingsPath()) : QString())
                .arg(deviceListText(in.deviceNames())));
        return exitUsage;
    }
    in.setCaptureParameter(2);
    in.setDynamicsMeasured(true);
    if (url.isEmpty() && !in.start()) {
        error(in.errorString());
        return exitFailed;
    }

    SurveyContext context;
    context.card = *card;
    context.deviceName = in.deviceName();
    context.started = QDateTime::currentDateTime();
    context.secondsAsked = int(seconds);

    SurveyRunner runner(in, int(seconds), isatty(STDERR_FILENO) == 1);
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &runner,
                     &SurveyRunner::stopEarly);
    QObject::connect(&runner, &SurveyRunner::failed, &app, [](const QString& message) {
        error(message);
        QCoreApplication::exit(exitFailed);
    });
    QObject::connect(&runner, &SurveyRunner::finished, &app, [&] {
        in.stop();
        context.endedEarly = runner.endedEarly();
        const LevelSurvey& survey = runner.survey();
        std::fputs(qPrintable(surveyReport(context, survey)), stdout);
        std::fflush(stdout);
        const auto proposal = survey.proposal();
        if (!proposal) {
            error(QStringLiteral("nothing was measured"));
            QCoreApplication::exit(exitFailed);
            return;
        }
        if (!plotPath.isEmpty()) {
            const QString title =
                QStringLiteral("Sondral survey of \"%1\", %2: suggest Vol=%3 Time=%4")
                    .arg(context.deviceName)
                    .arg(context.started.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                    .arg(proposal->vol)
                    .arg(proposal->time);
            QString why;
            if (!writePlot(plotPath, surveyPlot(survey, *proposal, title), &why)) {
                error(QStringLiteral("cannot write the picture to \"%1\": %2").arg(plotPath, why));
                QCoreApplication::exit(exitFailed);
                return;
            }
        }
        QCoreApplication::exit(exitDone);
    });
    runner.start();
    return app.exec();
}
