// The sound of each alarm through the real program and a real sound
// server: a tone, then silence until the alarm; the clip in clips/ beside
// sondral.ini plays the tone's last seconds, the silence and the twenty
// seconds after, at the input's rate. A clip that cannot be written is a
// warning on the journal, and the next alarm comes all the same.
#include "acceptance/stationscript.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <unistd.h>
#include <vector>

namespace {

constexpr int autoTime = 1;

QByteArray audioSection() {
    return "[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=" + QByteArray::number(autoTime) +
           "\r\nLog=1\r\n";
}

struct Clip {
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;
    std::vector<double> rmsDbfs; // of each whole second, both channels
};

Clip readClip(const QString& path) {
    Clip clip;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return clip;
    clip.rate = info.samplerate;
    clip.channels = info.channels;
    clip.frames = info.frames;
    std::vector<double> second(std::size_t(info.samplerate) * std::size_t(info.channels));
    while (sf_readf_double(file, second.data(), info.samplerate) == info.samplerate) {
        double sum = 0;
        for (double v : second)
            sum += v * v;
        const double rms = std::sqrt(sum / double(second.size()));
        clip.rmsDbfs.push_back(rms > 0 ? 20 * std::log10(rms) : -200.0);
    }
    sf_close(file);
    return clip;
}

// The file name of the journal's "Alarm clip saved" line, or empty.
QString savedClip(const QString& output) {
    static const QRegularExpression line(QStringLiteral(R"(<6>[^\n]* Alarm clip saved: (\S+))"));
    return line.match(output).captured(1);
}

} // namespace

class TestAcceptanceClips : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void theClipPlaysTheSecondsAroundTheAlarm();
    void aClipThatCannotBeWrittenIsAWarning_data();
    void aClipThatCannotBeWrittenIsAWarning();

private:
    Station m_station;
    StationScript m_script{m_station};
};

void TestAcceptanceClips::initTestCase() {
    m_script.bringUpAndLaunch(QStringLiteral("clip"), audioSection(), -12.0);
}

void TestAcceptanceClips::theClipPlaysTheSecondsAroundTheAlarm() {
    SondralInstance& sondral = m_station.sondral();
    // More than the ten seconds before of tone.
    QTest::qWait(11000);
    QVERIFY(m_script.sendLogged("SN_AUTO", QStringLiteral("Server Running AUTO")));
    m_station.programme().silence();
    const double seconds = m_script.secondsToAlarm(m_station.programme().lastChangeMs(), 6000);
    QVERIFY2(seconds > 0, qPrintable(sondral.output()));

    QVERIFY2(sondral.waitForOutput(QStringLiteral("Alarm clip saved: "), 30000),
             qPrintable(sondral.output()));
    const QString name = savedClip(sondral.output());
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_AUTO\.flac$)"))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    const Clip clip = readClip(QDir(sondral.dir()).filePath(QStringLiteral("clips/") + name));
    QCOMPARE(clip.rate, 48000);
    QCOMPARE(clip.channels, 2);
    // Thirty seconds, within one 20 ms block.
    QVERIFY2(std::abs(clip.frames - 30 * 48000) <= 960, qPrintable(QString::number(clip.frames)));
    QCOMPARE(clip.rmsDbfs.size(), std::size_t(30));
    QStringList figures;
    for (double db : clip.rmsDbfs)
        figures << QString::number(db, 'f', 0);
    qInfo("clip %s: %lld frames at %d Hz, alarm %.2f s after the silence; RMS dBFS per second: %s",
          qPrintable(name), clip.frames, clip.rate, seconds, qPrintable(figures.join(u' ')));
    // The tone until the silence began (AutoTime + 1 seconds and a delivery
    // before the alarm), then nothing but the silence.
    const int silenceFrom = 10 - int(std::ceil(seconds));
    for (int s = 0; s < silenceFrom - 1; ++s)
        QVERIFY2(clip.rmsDbfs[std::size_t(s)] > -20,
                 qPrintable(QStringLiteral("second %1: %2 dBFS").arg(s).arg(clip.rmsDbfs[s])));
    for (int s = silenceFrom + 1; s < 30; ++s)
        QVERIFY2(clip.rmsDbfs[std::size_t(s)] < -80,
                 qPrintable(QStringLiteral("second %1: %2 dBFS").arg(s).arg(clip.rmsDbfs[s])));
    m_script.closeAndCompareLog();
}

void TestAcceptanceClips::aClipThatCannotBeWrittenIsAWarning_data() {
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("read-only folder") << true;
    QTest::newRow("a file in the folder's place") << false;
}

void TestAcceptanceClips::aClipThatCannotBeWrittenIsAWarning() {
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && ::geteuid() == 0)
        QSKIP("the superuser writes into read-only folders");
    const QString dirName = readOnlyFolder ? QStringLiteral("readonly") : QStringLiteral("blocked");
    SondralInstance* sondral = m_station.launch(dirName, audioSection() + m_station.linkSection());
    QVERIFY2(sondral, qPrintable(m_station.error()));
    const QString clips = QDir(sondral->dir()).filePath(QStringLiteral("clips"));
    if (readOnlyFolder) {
        QVERIFY(QDir().mkpath(clips));
        QVERIFY(QFile::setPermissions(clips, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QFile blocker(clips);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    m_station.programme().silence();
    m_station.send("SN_AUTO");
    QVERIFY(m_station.nextAlarm(6000));
    QVERIFY2(sondral->waitForOutput(QStringLiteral("Alarm clip not saved: "), 30000),
             qPrintable(sondral->output()));
    QVERIFY(sondral->output().contains(
        QRegularExpression(QStringLiteral("<4>[^\n]* Alarm clip not saved: "))));
    // Monitoring went on: the next source and its alarm.
    m_station.send("SN_AUTO");
    QVERIFY2(m_station.nextAlarm(6000), qPrintable(sondral->output()));
    QVERIFY(sondral->isRunning());
    QVERIFY(savedClip(sondral->output()).isEmpty());
    if (readOnlyFolder)
        QFile::setPermissions(clips, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_GUILESS_MAIN(TestAcceptanceClips)
#include "tst_acceptance_clips.moc"
