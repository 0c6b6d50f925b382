// The clip writer against a ring fed by the test as the audio thread would:
// the clip is the seconds before and after the moment, frame for frame, as
// a FLAC file; when the audio stops it holds what came and nothing more;
// a folder it cannot write is a failure reported, never a file.
#include "audio/audioring.h"
#include "clips/clipwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sndfile.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int rate = 48000;
const QDateTime alarmTime(QDate(2026, 12, 9), QTime(3, 12, 45));

// Each frame says its number (mod 30000) on the left, the negative on the right.
QByteArray numbered(quint64 first, quint64 count) {
    QByteArray out(qsizetype(count) * 4, Qt::Uninitialized);
    auto* p = reinterpret_cast<qint16*>(out.data());
    for (quint64 i = 0; i < count; ++i) {
        p[2 * i] = qint16((first + i) % 30000);
        p[2 * i + 1] = qint16(-p[2 * i]);
    }
    return out;
}

struct Fed {
    AudioRing ring;
    quint64 frames = 0;
    // Real-time-like deliveries of 100 ms, ten times faster than real
    // time: the writer, collecting every 200 ms, stays well within the
    // ring's 12 s even on a loaded machine (at 50 times it once fell
    // behind and the ring moved on).
    void feed(int ms) {
        for (int done = 0; done < ms; done += 100) {
            const quint64 n = quint64(rate) * quint64(std::min(100, ms - done)) / 1000;
            const QByteArray data = numbered(frames, n);
            ring.write(data.constData(), data.size());
            frames += n;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
};

struct Results {
    std::mutex mutex;
    std::vector<ClipWriter::Result> list;
    ClipWriter::Done done() {
        return [this](const ClipWriter::Result& r) {
            std::lock_guard lock(mutex);
            list.push_back(r);
        };
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return list.size();
    }
    ClipWriter::Result at(std::size_t i) {
        std::lock_guard lock(mutex);
        return list.at(i);
    }
};

struct Flac {
    int rate = 0;
    int channels = 0;
    std::vector<qint16> samples;
};

Flac readFlac(const QString& path) {
    Flac flac;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return flac;
    flac.rate = info.samplerate;
    flac.channels = info.channels;
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC)
        flac.channels = -1;
    flac.samples.resize(std::size_t(info.frames * info.channels));
    sf_readf_short(file, flac.samples.data(), info.frames);
    sf_close(file);
    return flac;
}

// The frame numbers of the file are first, first + 1, ... without a gap.
bool consecutive(const Flac& flac, quint64 first) {
    for (std::size_t i = 0; i < flac.samples.size() / 2; ++i) {
        const qint16 expected = qint16((first + i) % 30000);
        if (flac.samples[2 * i] != expected || flac.samples[2 * i + 1] != qint16(-expected))
            return false;
    }
    return true;
}

} // namespace

class TstClipWriter : public QObject {
    Q_OBJECT
private slots:
    void tenSecondsBeforeAndTwentyAfter();
    void audioThatStopsIsWrittenAsHeard();
    void audioThatStopsIsWrittenAfterTheTwentySeconds();
    void aNewRateEndsTheClip();
    void audioFromBeforeALossIsNotTakenForTheSecondsBefore();
    void aFolderThatCannotBeMadeIsAFailure();
};

void TstClipWriter::tenSecondsBeforeAndTwentyAfter() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(12000);
    Results results;
    ClipWriter writer(fed.ring, ClipFolder(dir.filePath(QStringLiteral("clips"))), results.done());
    const quint64 alarmFrame = fed.frames;
    writer.record(alarmTime, QStringLiteral("AUTO"));
    fed.feed(21000);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), std::size_t(1), 5000);
    const ClipWriter::Result result = results.at(0);
    QVERIFY2(result.saved, qPrintable(result.error));
    QCOMPARE(result.fileName, QStringLiteral("2026-12-09_03-12-45_AUTO.flac"));
    const Flac flac = readFlac(dir.filePath(QStringLiteral("clips/") + result.fileName));
    QCOMPARE(flac.rate, rate);
    QCOMPARE(flac.channels, 2);
    QCOMPARE(flac.samples.size() / 2, std::size_t(30 * rate));
    QVERIFY(consecutive(flac, alarmFrame - 10 * rate));
    // Nothing half written is left beside it.
    QCOMPARE(QDir(dir.filePath(QStringLiteral("clips"))).entryList(QDir::Files),
             QStringList{result.fileName});
}

void TstClipWriter::audioThatStopsIsWrittenAsHeard() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(4000); // less than the ten seconds before
    Results results;
    {
        ClipWriter writer(fed.ring, ClipFolder(dir.path()), results.done());
        writer.record(alarmTime, QStringLiteral("FEED_2"));
        fed.feed(3000);
        // The capture is gone; the program closes before the twenty seconds.
        QTest::qWait(500);
    }
    QCOMPARE(results.size(), std::size_t(1));
    const ClipWriter::Result result = results.at(0);
    QVERIFY2(result.saved, qPrintable(result.error));
    const Flac flac = readFlac(dir.filePath(result.fileName));
    QCOMPARE(flac.samples.size() / 2, std::size_t(7 * rate));
    QVERIFY(consecutive(flac, 0));
}

void TstClipWriter::audioThatStopsIsWrittenAfterTheTwentySeconds() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(10000);
    Results results;
    ClipWriter writer(fed.ring, ClipFolder(dir.path()), results.done());
    writer.record(alarmTime, QStringLiteral("AUTO"));
    fed.feed(5000);
    // The sound server is gone: the clip does not wait for it past its time.
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), std::size_t(1),
                              ClipWriter::afterMs + ClipWriter::graceMs + 2000);
    const Flac flac = readFlac(dir.filePath(results.at(0).fileName));
    QCOMPARE(flac.samples.size() / 2, std::size_t(15 * rate));
    QVERIFY(consecutive(flac, 0));
}

void TstClipWriter::aNewRateEndsTheClip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(11000);
    Results results;
    ClipWriter writer(fed.ring, ClipFolder(dir.path()), results.done());
    writer.record(alarmTime, QStringLiteral("AUTO"));
    fed.feed(2000);
    const quint64 switched = fed.frames;
    // Fed faster than it is heard: the writer collects these 2 s on its
    // own beat first, as it does within collectMs of real audio.
    QTest::qWait(5 * ClipWriter::collectMs);
    // Another input at 44.1 kHz: its frames would play at the wrong speed.
    // It writes over the ring from its own start, so what was not collected
    // of the old rate by then is gone.
    fed.ring.reset({levelmath::SampleType::Int16, 2, 44100});
    fed.feed(2000);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), std::size_t(1), 5000);
    const Flac flac = readFlac(dir.filePath(results.at(0).fileName));
    QCOMPARE(flac.rate, rate);
    QCOMPARE(flac.samples.size() / 2, std::size_t(switched - quint64(rate)));
}

void TstClipWriter::audioFromBeforeALossIsNotTakenForTheSecondsBefore() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(12000);
    // The input went away 4 s before the alarm: of the ten seconds before,
    // only six were heard.
    QTest::qWait(4000);
    Results results;
    {
        ClipWriter writer(fed.ring, ClipFolder(dir.path()), results.done());
        writer.record(alarmTime, QStringLiteral("AUTO"));
        QTest::qWait(300);
    }
    QCOMPARE(results.size(), std::size_t(1));
    const Flac flac = readFlac(dir.filePath(results.at(0).fileName));
    const double seconds = double(flac.samples.size() / 2) / rate;
    QVERIFY2(seconds > 5.5 && seconds < 6.1, qPrintable(QString::number(seconds)));
    QVERIFY(consecutive(flac, fed.frames - flac.samples.size() / 2));
}

void TstClipWriter::aFolderThatCannotBeMadeIsAFailure() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile blocker(dir.filePath(QStringLiteral("clips")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Fed fed;
    fed.ring.reset({levelmath::SampleType::Int16, 2, rate});
    fed.feed(1000);
    Results results;
    {
        ClipWriter writer(fed.ring, ClipFolder(blocker.fileName()), results.done());
        writer.record(alarmTime, QStringLiteral("AUTO"));
        fed.feed(1000);
    }
    QCOMPARE(results.size(), std::size_t(1));
    QVERIFY(!results.at(0).saved);
    QVERIFY2(results.at(0).error.contains(QStringLiteral("cannot create")),
             qPrintable(results.at(0).error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("clips")});
}

QTEST_GUILESS_MAIN(TstClipWriter)
#include "tst_clipwriter.moc"
