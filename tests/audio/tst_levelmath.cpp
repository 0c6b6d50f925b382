#include "audio/levelmath.h"
#include "audio/peakhistory.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

double fromDbfs(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

using levelmath::SampleType;

levelmath::SampleFormat makeFormat(SampleType type, int channels, int rate = 48000) {
    return {type, channels, rate};
}

// Appends one sample of value v (-1.0 .. 1.0) in the given format.
void appendSample(QByteArray& out, SampleType type, double v) {
    auto put = [&out](const auto& x) { out.append(reinterpret_cast<const char*>(&x), sizeof x); };
    switch (type) {
    case SampleType::Int16:
        put(qint16(std::clamp(std::lround(v * 32768.0), -32768L, 32767L)));
        break;
    case SampleType::Int32:
        put(qint32(std::clamp(std::llround(v * 2147483648.0), -2147483648LL, 2147483647LL)));
        break;
    case SampleType::Float:
        put(float(v));
        break;
    case SampleType::UInt8:
        put(quint8(std::clamp(std::lround(v * 128.0 + 128.0), 0L, 255L)));
        break;
    }
}

// frames of a buffer: channel c carries +/- amplitude[c] on alternate
// frames, so both signs are seen.
QByteArray makeBuffer(const levelmath::SampleFormat& format, const QList<double>& amplitude,
                      int frames) {
    QByteArray out;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < format.channels; ++c)
            appendSample(out, format.type, (i % 2 ? -1 : 1) * amplitude.value(c) * 0.999);
    }
    return out;
}

} // namespace

class TstLevelMath : public QObject {
    Q_OBJECT
private slots:
    void peakToLevel_data();
    void peakToLevel();
    void blockPeaks_data();
    void blockPeaks();
    void blockPeaksIgnoresPartialFrame();
    void historyKeepsOneSecondOfAudio_data();
    void historyKeepsOneSecondOfAudio();
    void historyIsIndependentOfBufferSplits();
    void int16SumsAsSampleBySample_data();
    void int16SumsAsSampleBySample();
};

void TstLevelMath::peakToLevel_data() {
    QTest::addColumn<double>("peak");
    QTest::addColumn<int>("level");
    QTest::newRow("full scale") << 1.0 << 100;
    QTest::newRow("over full scale") << 1.7 << 100;
    QTest::newRow("-6 dBFS") << fromDbfs(-6) << 90;
    QTest::newRow("-30 dBFS") << fromDbfs(-30) << 50;
    QTest::newRow("-45 dBFS") << fromDbfs(-45) << 25;
    QTest::newRow("-59 dBFS") << fromDbfs(-59) << 2;
    QTest::newRow("-60 dBFS") << fromDbfs(-60) << 0;
    QTest::newRow("below -60 dBFS") << fromDbfs(-80) << 0;
    QTest::newRow("one lsb of 16 bit") << 1.0 / 32768 << 0;
    QTest::newRow("silence") << 0.0 << 0;
    QTest::newRow("negative") << -0.5 << 0;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TstLevelMath::peakToLevel() {
    QFETCH(double, peak);
    QFETCH(int, level);
    QCOMPARE(levelmath::peakToLevel(peak), level);
}

void TstLevelMath::blockPeaks_data() {
    QTest::addColumn<int>("sampleFormat");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QList<double>>("amplitudes");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");

    const double half = fromDbfs(-6);
    for (auto [name, fmt] :
         {std::pair{"int16", SampleType::Int16}, std::pair{"int32", SampleType::Int32},
          std::pair{"float", SampleType::Float}, std::pair{"uint8", SampleType::UInt8}}) {
        QTest::addRow("%s stereo", name)
            << int(fmt) << 2 << QList<double>{half, 0.25} << half << 0.25;
        QTest::addRow("%s mono feeds both", name)
            << int(fmt) << 1 << QList<double>{half} << half << half;
        QTest::addRow("%s left only", name)
            << int(fmt) << 2 << QList<double>{half, 0.0} << half << 0.0;
        QTest::addRow("%s right only", name)
            << int(fmt) << 2 << QList<double>{0.0, half} << 0.0 << half;
        // Channels beyond the first two (a surround card) do not count.
        QTest::addRow("%s four channels", name)
            << int(fmt) << 4 << QList<double>{0.1, 0.2, 0.9, 0.9} << 0.1 << 0.2;
    }
}

void TstLevelMath::blockPeaks() {
    QFETCH(int, sampleFormat);
    QFETCH(int, channels);
    QFETCH(QList<double>, amplitudes);
    QFETCH(double, left);
    QFETCH(double, right);

    const auto format = makeFormat(SampleType(sampleFormat), channels);
    const QByteArray data = makeBuffer(format, amplitudes, 64);
    const auto peaks = levelmath::blockPeaks(data.constData(), data.size(), format);
    // 8-bit samples resolve 1/128.
    const double tolerance = SampleType(sampleFormat) == SampleType::UInt8 ? 0.01 : 0.002;
    QVERIFY2(std::abs(peaks.left - left) < tolerance, qPrintable(QString::number(peaks.left)));
    QVERIFY2(std::abs(peaks.right - right) < tolerance, qPrintable(QString::number(peaks.right)));
}

void TstLevelMath::blockPeaksIgnoresPartialFrame() {
    const auto format = makeFormat(SampleType::Int16, 2);
    QByteArray data = makeBuffer(format, {0.1, 0.1}, 4);
    data.append(char(0xff)); // half a loud sample
    data.append(char(0x7f));
    const auto peaks = levelmath::blockPeaks(data.constData(), data.size(), format);
    QVERIFY(peaks.left < 0.11);
    QVERIFY(peaks.right < 0.11);

    const auto none = levelmath::blockPeaks(nullptr, 0, format);
    QCOMPARE(none.left, 0.0);
    QCOMPARE(none.right, 0.0);
}

void TstLevelMath::historyKeepsOneSecondOfAudio_data() {
    QTest::addColumn<int>("silentMsAfter");
    QTest::addColumn<bool>("stillLoud");
    QTest::newRow("just after") << 20 << true;
    QTest::newRow("980 ms later") << 980 << true;
    QTest::newRow("1000 ms later") << 1000 << false;
    QTest::newRow("long after") << 3000 << false;
}

void TstLevelMath::historyKeepsOneSecondOfAudio() {
    QFETCH(int, silentMsAfter);
    QFETCH(bool, stillLoud);

    const auto format = makeFormat(SampleType::Int16, 2, 48000);
    PeakHistory history;
    history.reset(format);
    const int framesPerMs = 48;

    const QByteArray loud = makeBuffer(format, {0.5, 0.25}, 20 * framesPerMs);
    QCOMPARE(history.add(loud.constData(), loud.size()), 1);
    QVERIFY(std::abs(history.lastBlockPeak().left - 0.5) < 0.001);

    const QByteArray silent(silentMsAfter * framesPerMs * format.bytesPerFrame(), '\0');
    QCOMPARE(history.add(silent.constData(), silent.size()), silentMsAfter / PeakHistory::blockMs);
    QCOMPARE(history.lastBlockPeak().left, 0.0);
    QCOMPARE(history.windowPeak().left > 0.4, stillLoud);
    QCOMPARE(history.windowPeak().right > 0.2, stillLoud);
    // The last 100 ms: quiet once five silent blocks followed.
    QCOMPARE(history.recentPeak(5).left > 0.4, silentMsAfter < 100);
    QCOMPARE(history.recentPeak(1000).left, history.windowPeak().left);
}

void TstLevelMath::historyIsIndependentOfBufferSplits() {
    const auto format = makeFormat(SampleType::Int16, 2, 48000);
    QByteArray stream;
    stream += makeBuffer(format, {0.0, 0.0}, 700);
    stream += makeBuffer(format, {0.8, 0.1}, 3); // a short click across a block edge
    stream += makeBuffer(format, {0.0, 0.0}, 2000);

    PeakHistory whole;
    whole.reset(format);
    const int blocks = whole.add(stream.constData(), stream.size());

    // Buffers of odd sizes that split frames and samples.
    for (int chunk : {1, 3, 7, 1001}) {
        PeakHistory split;
        split.reset(format);
        int splitBlocks = 0;
        for (qsizetype at = 0; at < stream.size(); at += chunk)
            splitBlocks +=
                split.add(stream.constData() + at, std::min<qsizetype>(chunk, stream.size() - at));
        QCOMPARE(splitBlocks, blocks);
        QCOMPARE(split.windowPeak().left, whole.windowPeak().left);
        QCOMPARE(split.windowPeak().right, whole.windowPeak().right);
    }
    QVERIFY(std::abs(whole.windowPeak().left - 0.8) < 0.001);
}

// The packed 16-bit path against the plain definition: any length (whole
// packs and a tail), any alignment of the bytes, the extremes of the range.
void TstLevelMath::int16SumsAsSampleBySample_data() {
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("offset");
    for (int channels : {1, 2})
        for (int frames : {1, 3, 4, 7, 8, 480, 1001})
            for (int offset : {0, 1})
                QTest::addRow("%d ch, %d frames, offset %d", channels, frames, offset)
                    << channels << frames << offset;
}

void TstLevelMath::int16SumsAsSampleBySample() {
    QFETCH(int, channels);
    QFETCH(int, frames);
    QFETCH(int, offset);
    QByteArray bytes(offset, '\0');
    double squares[2] = {0, 0};
    int peak[2] = {0, 0};
    quint32 state = quint32(frames * 7 + channels);
    for (int i = 0; i < frames * channels; ++i) {
        state = state * 1664525u + 1013904223u;
        qint16 v = qint16(state >> 16);
        if (i == frames * channels / 2)
            v = std::numeric_limits<qint16>::min(); // the one sample whose magnitude is 32768
        bytes.append(reinterpret_cast<const char*>(&v), 2);
        const int c = channels == 2 ? i % 2 : 0;
        squares[c] += double(v) * v;
        peak[c] = std::max(peak[c], std::abs(int(v)));
    }
    const levelmath::Int16Sums sums =
        levelmath::int16Sums(bytes.constData() + offset, frames, channels);
    for (int c = 0; c < 2; ++c) {
        const int from = channels == 2 ? c : 0;
        QCOMPARE(sums.peak[c], peak[from] / 32768.0);
        const double expected = squares[from] / (32768.0 * 32768.0);
        // Single precision inside: a level in dB to far better than 0.01 dB.
        QVERIFY2(std::abs(sums.squares[c] - expected) <= 1e-6 * expected + 1e-12,
                 qPrintable(QStringLiteral("%1 against %2").arg(sums.squares[c]).arg(expected)));
    }
}

QTEST_GUILESS_MAIN(TstLevelMath)
#include "tst_levelmath.moc"
