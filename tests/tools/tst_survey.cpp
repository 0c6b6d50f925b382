#include "support/toneplayer.h"

#include "audio/wavein.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <optional>

namespace {

// A programme of items at -20 dBFS with quiet passages at -45 dBFS up to 6 s
// long, and 2 s of digital silence between items; played in a loop.
struct Passage {
    std::optional<double> dbfs;
    int ms;
};
const QList<Passage> programme{
    {-20, 4000}, {-45, 6000}, {-20, 3000}, {std::nullopt, 2000},
    {-20, 3000}, {-45, 3000}, {-20, 2500}, {std::nullopt, 2000},
};

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TstSurvey : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void proposesFromAProgramme();
    void ctrlCStillReports();
    void badInput_data();
    void badInput();

private:
    // Runs the survey copied into the test's folder (beside its sondral.ini)
    // while the programme plays; interrupt after ms, if given, with SIGINT.
    Run survey(const QStringList& arguments, int timeoutMs, int interruptAfterMs = -1);
    void playNext();

    std::unique_ptr<TonePlayer> m_player;
    QTemporaryDir m_dir;
    QString m_tool;
    QTimer m_script;
    qsizetype m_passage = 0;
};

void TstSurvey::initTestCase() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the private PulseAudio server (PULSE_SERVER unset)");
    QVERIFY(m_dir.isValid());
    // A copy beside a sondral.ini naming the test source's card, to show
    // the default card is Sondral's own.
    m_tool = m_dir.filePath(QStringLiteral("sondral-survey"));
    QVERIFY(QFile::copy(QStringLiteral(SONDRAL_SURVEY), m_tool));
    // Numbered as Sondral numbers it: by the capture library itself.
    WaveIn in;
    QTRY_VERIFY_WITH_TIMEOUT(in.deviceCount() > 0, 3000);
    const int card = int(in.deviceNames().indexOf(QStringLiteral("Programme-ingang")));
    QVERIFY(card >= 0);
    QFile ini(m_dir.filePath(QStringLiteral("sondral.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[Audio]\r\nCard=%1\r\n").arg(card).toLatin1());
    ini.close();

    m_player = std::make_unique<TonePlayer>();
    QVERIFY(m_player->start(QProcessEnvironment::systemEnvironment()));
    m_script.setSingleShot(true);
    m_script.setTimerType(Qt::PreciseTimer);
    connect(&m_script, &QTimer::timeout, this, &TstSurvey::playNext);
    playNext();
}

void TstSurvey::cleanupTestCase() {
    m_script.stop();
    m_player.reset();
}

void TstSurvey::playNext() {
    const Passage& passage = programme.at(m_passage++ % programme.size());
    m_player->play(passage.dbfs, passage.dbfs);
    m_script.start(passage.ms);
}

Run TstSurvey::survey(const QStringList& arguments, int timeoutMs, int interruptAfterMs) {
    QProcess process;
    process.start(m_tool, arguments);
    Run run;
    if (!process.waitForStarted(5000))
        return run;
    if (interruptAfterMs >= 0)
        QTimer::singleShot(interruptAfterMs, &process,
                           [&process] { ::kill(pid_t(process.processId()), SIGINT); });
    // The programme is fed from this event loop: wait in it.
    QSignalSpy done(&process, &QProcess::finished);
    if (!done.wait(timeoutMs))
        process.kill();
    process.waitForFinished(2000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

void TstSurvey::proposesFromAProgramme() {
    const QString plot = m_dir.filePath(QStringLiteral("levels.png"));
    const Run run =
        survey({QStringLiteral("--minutes"), QStringLiteral("0.6"), QStringLiteral("--plot"), plot},
               90000);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // No terminal: no progress line.
    QVERIFY2(!run.err.contains(QLatin1Char('\r')), qPrintable(run.err));
    QVERIFY(run.out.contains(QStringLiteral("measured:  36 s of 36 s asked")));
    const QRegularExpression suggest(QStringLiteral("\nsuggest Vol=(\\d+) Time=(\\d+)\n$"));
    const auto match = suggest.match(run.out);
    QVERIFY2(match.hasMatch(), qPrintable(run.out));
    const int vol = match.captured(1).toInt();
    const int time = match.captured(2).toInt();
    // The gaps (level 0) count as silent; the quiet passages (-45 dBFS,
    // level 25) do not; no gap raises an alarm.
    QVERIFY2(vol >= 1 && vol <= 50, qPrintable(run.out));
    QVERIFY2(time > 2, qPrintable(run.out));
    QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("noise floor: 0 "))),
             qPrintable(run.out));
    const QImage image(plot);
    QCOMPARE(image.format() == QImage::Format_Invalid, false);
    QVERIFY(image.width() >= 800 && image.height() >= 400);
}

void TstSurvey::ctrlCStillReports() {
    const Run run = survey({QStringLiteral("--minutes"), QStringLiteral("5")}, 60000, 8000);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("(ended early)")), qPrintable(run.out));
    QVERIFY2(
        run.out.contains(QRegularExpression(QStringLiteral("\nsuggest Vol=\\d+ Time=\\d+\n$"))),
        qPrintable(run.out));
}

void TstSurvey::badInput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("pulseServer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    QTest::newRow("card out of range")
        << QStringList{"--card", "99"} << server << 2 << "card 99 does not exist";
    QTest::newRow("negative time") << QStringList{"--minutes", "-1"} << server << 2 << "--minutes";
    QTest::newRow("absurd time") << QStringList{"--minutes", "100000"} << server << 2
                                 << "--minutes";
    QTest::newRow("plot folder missing") << QStringList{"--plot", "/nonexistent-folder/levels.png"}
                                         << server << 2 << "cannot write the picture";
    QTest::newRow("no sound server")
        << QStringList{"--minutes", "1"} << "unix:" + m_dir.filePath("no-such-socket") << 1
        << "no sound server";
}

void TstSurvey::badInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, pulseServer);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), pulseServer);
    process.setProcessEnvironment(environment);
    process.start(m_tool, arguments);
    QVERIFY(process.waitForFinished(15000));
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QTEST(process.exitCode(), "exitCode");
    QFETCH(QString, says);
    QVERIFY2(err.contains(says), qPrintable(err));
    QVERIFY(!process.readAllStandardOutput().contains("suggest"));
}

QTEST_GUILESS_MAIN(TstSurvey)
#include "tst_survey.moc"
