// The dynamics meter: steady signals (hum, hiss, a tone, a loop) against
// programme (speech, music, limited music), first on signals made here,
// then on the Debian tools' signals read from files.

#include "audio/capturestate.h"
#include "audio/dynamicsmeter.h"
#include "support/programmesignals.h"
#include "wavsamples.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int rate = 48000;
using Sample = std::function<std::pair<double, double>(qint64 frame)>;

QByteArray render(const Sample& signal, double seconds) {
    const auto frames = qint64(seconds * rate);
    QByteArray out(frames * 4, '\0');
    auto* p = reinterpret_cast<qint16*>(out.data());
    for (qint64 i = 0; i < frames; ++i) {
        const auto [l, r] = signal(i);
        p[2 * i] = qint16(std::lround(std::clamp(l, -1.0, 1.0) * 32767));
        p[2 * i + 1] = qint16(std::lround(std::clamp(r, -1.0, 1.0) * 32767));
    }
    return out;
}

double amp(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

double sine(qint64 frame, double hz) {
    return std::sin(2 * std::numbers::pi * hz * double(frame) / rate);
}

// Something like music: notes of 80 to 400 ms with a struck, decaying
// envelope, two voices, random pitch and strength.
std::vector<double> musicLike(double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    const auto frames = std::size_t(seconds * rate);
    std::vector<double> out(frames, 0.0);
    for (int voice = 0; voice < 2; ++voice) {
        std::size_t at = 0;
        while (at < frames) {
            const auto length = std::size_t((0.08 + 0.32 * u(rng)) * rate);
            const double hz = 110.0 * std::pow(2.0, std::floor(u(rng) * 36) / 12);
            const double strength = 0.05 + 0.3 * u(rng);
            for (std::size_t i = 0; i < length && at + i < frames; ++i) {
                const double t = double(i) / rate;
                out[at + i] +=
                    strength * std::exp(-t * 8) * std::sin(2 * std::numbers::pi * hz * t);
            }
            at += length;
        }
    }
    return out;
}

// Something like speech: noise shaped into syllables of about 200 ms, some
// with a pause after them.
std::vector<double> speechLike(double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> noise(0, 0.15);
    const auto frames = std::size_t(seconds * rate);
    std::vector<double> out(frames, 0.0);
    std::size_t at = 0;
    while (at < frames) {
        const auto length = std::size_t((0.12 + 0.15 * u(rng)) * rate);
        const double strength = 0.3 + 0.7 * u(rng);
        for (std::size_t i = 0; i < length && at + i < frames; ++i)
            out[at + i] =
                strength * std::sin(std::numbers::pi * double(i) / double(length)) * noise(rng);
        at += length + (u(rng) < 0.3 ? std::size_t(0.2 * rate * u(rng)) : 0);
    }
    return out;
}

struct Run {
    int judged = 0;
    int steady = 0;
    int longest = 0; // consecutive steady seconds, one reading a second
    double minSpread = 1e9;
    double maxSpread = 0;
    double minRepeat = 1e9;
    double maxRepeat = 0;
};

// Feeds the samples in deliveries of chunk bytes and reads the verdict once
// a second, as the tick would.
Run measure(const QByteArray& samples, int chunk = 4800,
            levelmath::SampleFormat format = {levelmath::SampleType::Int16, 2, rate}) {
    DynamicsMeter meter;
    meter.reset(format);
    Run run;
    const qsizetype bytesPerSecond = qsizetype(format.bytesPerFrame()) * format.sampleRate;
    int current = 0;
    for (qsizetype at = 0, nextSecond = bytesPerSecond; at < samples.size();) {
        const qsizetype n = std::min<qsizetype>(chunk, samples.size() - at);
        meter.add(samples.constData() + at, n);
        at += n;
        if (at >= nextSecond) {
            nextSecond += bytesPerSecond;
            const DynamicsSecond& s = meter.latest();
            if (!s.valid)
                continue;
            ++run.judged;
            run.minSpread = std::min(run.minSpread, s.spreadDb);
            run.maxSpread = std::max(run.maxSpread, s.spreadDb);
            run.minRepeat = std::min(run.minRepeat, s.repeatDb);
            run.maxRepeat = std::max(run.maxRepeat, s.repeatDb);
            if (s.steady) {
                ++run.steady;
                run.longest = std::max(run.longest, ++current);
            } else {
                current = 0;
            }
        }
    }
    return run;
}

} // namespace

class TstDynamicsMeter : public QObject {
    Q_OBJECT
private slots:
    void synthetic_data();
    void synthetic();
    void judgedEveryTenthOfASecond();
    void deliveriesOfAnySize();
    void sampleFormats_data();
    void sampleFormats();
    void peakOfTheSecond();
    void verdictCrossesThroughTheState();
    void signalFiles_data();
    void signalFiles();

private:
    QTemporaryDir m_dir;
};

void TstDynamicsMeter::synthetic_data() {
    QTest::addColumn<QByteArray>("samples");
    QTest::addColumn<bool>("steady");
    const double s = 12;
    QTest::newRow("50 Hz hum -30 dBFS") << render(
                                               [](qint64 i) {
                                                   const double v = amp(-30) * sine(i, 50);
                                                   return std::pair{v, v};
                                               },
                                               s)
                                        << true;
    QTest::newRow("1 kHz tone -18 dBFS") << render(
                                                [](qint64 i) {
                                                    const double v = amp(-18) * sine(i, 1000);
                                                    return std::pair{v, v};
                                                },
                                                s)
                                         << true;
    {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> u(-1, 1);
        QTest::newRow("white noise -40 dBFS")
            << render(
                   [&](qint64) {
                       return std::pair{amp(-40) * u(rng), amp(-40) * u(rng)};
                   },
                   s)
            << true;
    }
    QTest::newRow("hum on the left, right channel dead")
        << render(
               [](qint64 i) {
                   return std::pair{amp(-30) * sine(i, 50), 0.0};
               },
               s)
        << true;
    {
        const auto music = musicLike(0.1, 5);
        QTest::newRow("100 ms of music looped")
            << render(
                   [&](qint64 i) {
                       const double v = music[std::size_t(i) % music.size()];
                       return std::pair{v, v};
                   },
                   s)
            << true;
    }
    {
        // A loop whose length is no whole number of the meter's steps.
        const auto music = musicLike(0.137, 6);
        QTest::newRow("137 ms of music looped")
            << render(
                   [&](qint64 i) {
                       const double v = music[std::size_t(i) % music.size()];
                       return std::pair{v, v};
                   },
                   s)
            << true;
    }
    {
        const auto music = musicLike(s, 7);
        QTest::newRow("music") << render(
                                      [&](qint64 i) {
                                          const double v = music[std::size_t(i)];
                                          return std::pair{v, v};
                                      },
                                      s)
                               << false;
        QTest::newRow("music on the left, hum on the right")
            << render(
                   [&](qint64 i) {
                       return std::pair{music[std::size_t(i)], amp(-30) * sine(i, 50)};
                   },
                   s)
            << false;
    }
    {
        const auto speech = speechLike(s, 8);
        QTest::newRow("speech") << render(
                                       [&](qint64 i) {
                                           const double v = speech[std::size_t(i)];
                                           return std::pair{v, v};
                                       },
                                       s)
                                << false;
    }
    QTest::newRow("digital silence") << render(
                                            [](qint64) {
                                                return std::pair{0.0, 0.0};
                                            },
                                            s)
                                     << false;
}

void TstDynamicsMeter::synthetic() {
    QFETCH(QByteArray, samples);
    QFETCH(bool, steady);
    const Run run = measure(samples);
    qInfo("spread %.2f..%.2f dB, repeat %.2f..%.2f dB", run.minSpread, run.maxSpread, run.minRepeat,
          run.maxRepeat);
    // Judged from the end of the first second on.
    QCOMPARE(run.judged, 11);
    if (steady)
        QVERIFY2(run.steady == run.judged,
                 qPrintable(QStringLiteral("%1 of %2 steady, spread up to %3 dB, repeat %4 dB")
                                .arg(run.steady)
                                .arg(run.judged)
                                .arg(run.maxSpread)
                                .arg(run.minRepeat)));
    else
        QVERIFY2(run.steady == 0,
                 qPrintable(QStringLiteral("%1 of %2 steady").arg(run.steady).arg(run.judged)));
}

void TstDynamicsMeter::judgedEveryTenthOfASecond() {
    DynamicsMeter meter;
    meter.reset({levelmath::SampleType::Int16, 2, rate});
    const QByteArray tone = render(
        [](qint64 i) {
            const double v = 0.5 * sine(i, 440);
            return std::pair{v, v};
        },
        2);
    // 10 ms steps: the first verdict needs a second of envelope, whose first
    // point needs its 50 ms.
    const qsizetype step = rate / 100 * 4;
    int made = 0;
    for (int k = 0; k < 103; ++k)
        made += meter.add(tone.constData() + k * step, step);
    QCOMPARE(made, 0);
    QVERIFY(!meter.latest().valid);
    made += meter.add(tone.constData() + 103 * step, step);
    QCOMPARE(made, 0); // 104 steps: judged on the next tenth
    made += meter.add(tone.constData() + 104 * step, 6 * step);
    QCOMPARE(made, 1);
    QVERIFY(meter.latest().valid);
    QVERIFY(meter.latest().steady);
    // One judgement for a delivery of three tenths: the last is all that is read.
    QCOMPARE(meter.add(tone.constData() + 110 * step, 30 * step), 1);
    QCOMPARE(meter.add(tone.constData() + 140 * step, 9 * step), 0);
    // A reset forgets the second.
    meter.reset({levelmath::SampleType::Int16, 2, rate});
    QVERIFY(!meter.latest().valid);
}

void TstDynamicsMeter::deliveriesOfAnySize() {
    const auto music = musicLike(6, 9);
    const QByteArray samples = render(
        [&](qint64 i) {
            const double v = music[std::size_t(i)];
            return std::pair{v, -v};
        },
        6);
    DynamicsMeter whole;
    whole.reset({levelmath::SampleType::Int16, 2, rate});
    whole.add(samples.constData(), samples.size());
    // Odd sizes split frames and samples across deliveries.
    for (int chunk : {1, 3, 7, 1001}) {
        DynamicsMeter pieces;
        pieces.reset({levelmath::SampleType::Int16, 2, rate});
        for (qsizetype at = 0; at < samples.size(); at += chunk)
            pieces.add(samples.constData() + at, std::min<qsizetype>(chunk, samples.size() - at));
        QCOMPARE(pieces.latest().steady, whole.latest().steady);
        QCOMPARE(pieces.latest().spreadDb, whole.latest().spreadDb);
        QCOMPARE(pieces.latest().repeatDb, whole.latest().repeatDb);
        QCOMPARE(pieces.latest().peakDbfs, whole.latest().peakDbfs);
    }
}

void TstDynamicsMeter::sampleFormats_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("sampleRate");
    QTest::newRow("float stereo 48 kHz") << int(levelmath::SampleType::Float) << 2 << 48000;
    QTest::newRow("int32 stereo 44.1 kHz") << int(levelmath::SampleType::Int32) << 2 << 44100;
    QTest::newRow("uint8 mono 22.05 kHz") << int(levelmath::SampleType::UInt8) << 1 << 22050;
    QTest::newRow("int16 mono 8 kHz") << int(levelmath::SampleType::Int16) << 1 << 8000;
}

void TstDynamicsMeter::sampleFormats() {
    QFETCH(int, type);
    QFETCH(int, channels);
    QFETCH(int, sampleRate);
    const levelmath::SampleFormat format{levelmath::SampleType(type), channels, sampleRate};
    const auto music = musicLike(8, 10);
    const auto write = [&](double v, char* p) {
        switch (format.type) {
        case levelmath::SampleType::Float: {
            const float f = float(v);
            std::memcpy(p, &f, 4);
            break;
        }
        case levelmath::SampleType::Int32: {
            const auto i = qint32(std::lround(v * 2147483647.0));
            std::memcpy(p, &i, 4);
            break;
        }
        case levelmath::SampleType::Int16: {
            const auto i = qint16(std::lround(v * 32767.0));
            std::memcpy(p, &i, 2);
            break;
        }
        case levelmath::SampleType::UInt8:
            *p = char(quint8(std::lround(128 + v * 127)));
            break;
        }
    };
    auto build = [&](const std::function<double(qint64)>& signal) {
        const qint64 frames = 8LL * sampleRate;
        QByteArray out(frames * format.bytesPerFrame(), '\0');
        for (qint64 i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                write(signal(i),
                      out.data() + i * format.bytesPerFrame() + c * format.bytesPerSample());
        return out;
    };
    const Run hum =
        measure(build([&](qint64 i) {
                    return 0.03 * std::sin(2 * std::numbers::pi * 50 * double(i) / sampleRate);
                }),
                999, format);
    QCOMPARE(hum.steady, hum.judged);
    QCOMPARE(hum.judged, 7);
    const Run programme = measure(
        build([&](qint64 i) { return music[std::size_t(i * rate / sampleRate)]; }), 999, format);
    QCOMPARE(programme.steady, 0);
}

void TstDynamicsMeter::peakOfTheSecond() {
    DynamicsMeter meter;
    meter.reset({levelmath::SampleType::Int16, 2, rate});
    const QByteArray hum = render(
        [](qint64 i) {
            return std::pair{amp(-30) * sine(i, 50), 0.0};
        },
        1.5);
    meter.add(hum.constData(), hum.size());
    QVERIFY(meter.latest().valid);
    QCOMPARE(std::lround(meter.latest().peakDbfs), -30L);
    // A 6 dB louder second on the right: the louder channel's peak.
    const QByteArray louder = render(
        [](qint64 i) {
            return std::pair{amp(-30) * sine(i, 50), amp(-24) * sine(i, 50)};
        },
        1.5);
    meter.add(louder.constData(), louder.size());
    QCOMPARE(std::lround(meter.latest().peakDbfs), -24L);
    QVERIFY(meter.latest().steady);
}

void TstDynamicsMeter::verdictCrossesThroughTheState() {
    CaptureState state;
    DynamicsSecond second;
    second.valid = true;
    second.steady = true;
    second.peakDbfs = -30.25;
    second.spreadDb = 0.37;
    second.repeatDb = 12.5;
    state.secondJudged(second);
    // No block yet: nothing is being heard, so no verdict.
    QVERIFY(!state.dynamics().valid);
    state.blockMeasured(50, 50, 50, 50);
    DynamicsSecond read = state.dynamics();
    QVERIFY(read.valid);
    QVERIFY(read.steady);
    QCOMPARE(read.peakDbfs, -30.25);
    QCOMPARE(read.spreadDb, 0.37);
    QCOMPARE(read.repeatDb, 12.5);
    second.steady = false;
    second.peakDbfs = 0;
    state.secondJudged(second);
    read = state.dynamics();
    QVERIFY(read.valid);
    QVERIFY(!read.steady);
    QCOMPARE(read.peakDbfs, 0.0);
    // A failed capture forgets the verdict: the next one must be heard anew.
    state.captureFailed();
    state.blockMeasured(50, 50, 50, 50);
    QVERIFY(!state.dynamics().valid);
}

void TstDynamicsMeter::signalFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("steady");
    for (const QString& name : ProgrammeSignals::steadyNames())
        QTest::newRow(qPrintable(name)) << name << true;
    for (const QString& name : ProgrammeSignals::programmeNames())
        QTest::newRow(qPrintable(name)) << name << false;
}

void TstDynamicsMeter::signalFiles() {
    QFETCH(QString, name);
    QFETCH(bool, steady);
    if (const QStringList missing = ProgrammeSignals::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("missing: %1").arg(missing.join(QLatin1Char(' ')))));
    const int seconds = qEnvironmentVariableIntValue("SONDRAL_SIGNAL_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("SONDRAL_SIGNAL_SECONDS")
                            : 120;
    QString error;
    const QString path = ProgrammeSignals::make(m_dir.path(), name, seconds, &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));
    const QByteArray samples = wavSamples(path);
    QCOMPARE(samples.size(), qsizetype(seconds) * rate * 4);
    const Run run = measure(samples);
    qInfo("%s: %d of %d s steady, longest steady run %d s, spread %.2f..%.2f dB, repeat "
          "%.2f..%.2f dB",
          qPrintable(name), run.steady, run.judged, run.longest, run.minSpread, run.maxSpread,
          run.minRepeat, run.maxRepeat);
    if (steady) {
        QCOMPARE(run.steady, run.judged);
    } else {
        // Far below any Flat time worth setting.
        QVERIFY2(run.longest <= 2, qPrintable(QString::number(run.longest)));
    }
}

QTEST_GUILESS_MAIN(TstDynamicsMeter)
#include "tst_dynamicsmeter.moc"
