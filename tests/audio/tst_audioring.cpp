// The ring of the last seconds of audio: every format arrives as 16-bit
// stereo, frames split across buffers are joined, and a reader never gets
// a frame the writer has overwritten.
#include "audio/audioring.h"

#include <QtTest>

#include <cstring>
#include <vector>

namespace {

using levelmath::SampleType;

template <typename T> void put(QByteArray& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Frames numbered from 0, each sample saying its frame (for checking order).
QByteArray numbered(qint64 first, qint64 count) {
    QByteArray out;
    for (qint64 i = first; i < first + count; ++i) {
        put(out, qint16(i % 30000));
        put(out, qint16(-(i % 30000)));
    }
    return out;
}

} // namespace

class TstAudioRing : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void framesSplitAcrossBuffers();
    void overwrittenFramesAreNotReturned_data();
    void overwrittenFramesAreNotReturned();
    void anEarlierRunIsGone();
};

void TstAudioRing::formats_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QByteArray b;
    put(b, qint16(1000));
    put(b, qint16(-2000));
    QTest::newRow("16-bit stereo") << int(SampleType::Int16) << 2 << b << 1000 << -2000;
    b.clear();
    put(b, qint16(-1234));
    QTest::newRow("16-bit mono on both") << int(SampleType::Int16) << 1 << b << -1234 << -1234;
    b.clear();
    put(b, 0.5f);
    put(b, -1.5f); // beyond full scale: clipped
    QTest::newRow("float") << int(SampleType::Float) << 2 << b << 16384 << -32767;
    b.clear();
    put(b, qint32(0x12345678));
    put(b, qint32(-65536));
    QTest::newRow("32-bit") << int(SampleType::Int32) << 2 << b << 0x1234 << -1;
    b.clear();
    put(b, quint8(192));
    put(b, quint8(128));
    QTest::newRow("8-bit") << int(SampleType::UInt8) << 2 << b << 16384 << 0;
    b.clear();
    put(b, qint16(7));
    put(b, qint16(8));
    put(b, qint16(9));
    QTest::newRow("three channels, the first two") << int(SampleType::Int16) << 3 << b << 7 << 8;
}

void TstAudioRing::formats() {
    QFETCH(int, type);
    QFETCH(int, channels);
    QFETCH(QByteArray, frame);
    QFETCH(int, left);
    QFETCH(int, right);
    AudioRing ring;
    ring.reset({SampleType(type), channels, 48000});
    ring.write(frame.constData(), frame.size());
    QCOMPARE(ring.written(), quint64(1));
    std::vector<qint16> out;
    QCOMPARE(ring.copy(0, 1, out), quint64(0));
    QCOMPARE(out.size(), std::size_t(2));
    QCOMPARE(int(out[0]), left);
    QCOMPARE(int(out[1]), right);
}

void TstAudioRing::framesSplitAcrossBuffers() {
    AudioRing ring;
    ring.reset({SampleType::Int16, 2, 48000});
    const QByteArray data = numbered(0, 1000);
    // Buffers of 3 and 5 bytes: no frame (4 bytes) arrives whole.
    for (qsizetype at = 0, step = 3; at < data.size(); at += step, step = step == 3 ? 5 : 3)
        ring.write(data.constData() + at, std::min(step, data.size() - at));
    QCOMPARE(ring.written(), quint64(1000));
    std::vector<qint16> out;
    QCOMPARE(ring.copy(0, 1000, out), quint64(0));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() * 2)),
             data);
}

// A run keeps 12 s at its own rate, whatever the rate: the ring is sized
// for the highest, and a lower one must not keep (and make resident) more.
void TstAudioRing::overwrittenFramesAreNotReturned_data() {
    QTest::addColumn<int>("rate");
    QTest::newRow("44.1 kHz") << 44100;
    QTest::newRow("48 kHz") << 48000;
    QTest::newRow("96 kHz") << 96000;
    QTest::newRow("192 kHz, what fits") << 192000;
}

void TstAudioRing::overwrittenFramesAreNotReturned() {
    QFETCH(int, rate);
    QCOMPARE(AudioRing::spanOf(rate),
             std::min<qint64>(qint64(rate) * 12, AudioRing::capacityFrames));
    AudioRing ring;
    ring.reset({SampleType::Int16, 2, rate});
    const qint64 total = AudioRing::spanOf(rate) + 500;
    for (qint64 at = 0; at < total; at += 48000) {
        const QByteArray chunk = numbered(at, std::min<qint64>(48000, total - at));
        ring.write(chunk.constData(), chunk.size());
    }
    QCOMPARE(ring.written(), quint64(total));
    std::vector<qint16> out;
    // The first 500 frames are gone; the next are there, in order.
    QCOMPARE(ring.copy(0, 1000, out), quint64(500));
    for (int i = 500; i < 1000; ++i)
        QCOMPARE(int(out[std::size_t(i) * 2]), i);
    // Beyond what was written is clamped, not invented.
    QCOMPARE(ring.copy(quint64(total) - 10, quint64(total) + 100, out), quint64(total) - 10);
    QCOMPARE(out.size(), std::size_t(20));
}

// The input reopened at another rate: what came before is not handed out
// as if it were of the new rate, and the new run reads from its own start.
void TstAudioRing::anEarlierRunIsGone() {
    AudioRing ring;
    ring.reset({SampleType::Int16, 2, 44100});
    const QByteArray first = numbered(0, 1000);
    ring.write(first.constData(), first.size());
    ring.reset({SampleType::Int16, 2, 48000});
    const QByteArray second = numbered(1000, 1000);
    ring.write(second.constData(), second.size());
    QCOMPARE(ring.currentRun().start, quint64(1000));
    std::vector<qint16> out;
    QCOMPARE(ring.copy(0, 1500, out), quint64(1000));
    for (int i = 1000; i < 1500; ++i)
        QCOMPARE(int(out[std::size_t(i) * 2]), i);
    QCOMPARE(ring.copy(200, 800, out), quint64(800)); // none of it
    // The same rate again is the same run.
    ring.reset({SampleType::Int16, 2, 48000});
    QCOMPARE(ring.currentRun().start, quint64(1000));
}

QTEST_GUILESS_MAIN(TstAudioRing)
#include "tst_audioring.moc"
