// sondral.state follows the station: a change of source or pause is on
// disk at once, a server that flips sources does not turn into a write per
// datagram, and the end of the run is written at once.
#include "app/statekeeper.h"
#include "app/statewriter.h"
#include "core/station.h"
#include "settings/statefile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {
void putOnAir(Station& station, qint16 mode, bool paused = false) {
    StationState& s = station.edit();
    s.modes.Mode = mode;
    s.tickRunning = !paused;
    s.shown.phase = paused ? StationPhase::Paused : StationPhase::Watching;
    station.notifyChanged();
}

QString keywordOnDisk(const StateFile& file) {
    const auto saved = file.read();
    return saved ? saved->keyword : QStringLiteral("<none>");
}
} // namespace

class tst_StateKeeper : public QObject {
    Q_OBJECT
private slots:
    void followsSourceAndPause();
    void flippingSourcesIsCoalesced();
    void theEndIsWrittenAtOnce();
    void aFailedWriteIsToldOnceAndRetried();
};

void tst_StateKeeper::followsSourceAndPause() {
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    Station station;
    StateKeeper keeper(file, station);
    connect(&station, &Station::changed, &keeper, &StateKeeper::stationChanged);
    connect(&station, &Station::eventPublished, &keeper, &StateKeeper::eventPublished);

    // Nothing before start(): start-up may still resume.
    putOnAir(station, 3);
    QVERIFY(!file.read());
    keeper.start();
    QTRY_COMPARE(keywordOnDisk(file), QString("SN_FEED_1"));

    putOnAir(station, 2);
    QTRY_COMPARE(keywordOnDisk(file), QString("SN_AUTO"));
    QVERIFY(!file.read()->paused);
    putOnAir(station, 2, true);
    QTRY_VERIFY(file.read() && file.read()->paused);
    const QDateTime written = file.read()->written;
    QVERIFY(qAbs(written.secsTo(QDateTime::currentDateTimeUtc())) <= 2);

    // Ticks that change nothing of it write nothing.
    QTest::qWait(1100);
    QFile::remove(file.path());
    for (int i = 0; i < 5; ++i) {
        ++station.edit().modes.SilenceCount;
        station.notifyChanged();
    }
    QTest::qWait(1200);
    QVERIFY(!file.read());
}

void tst_StateKeeper::flippingSourcesIsCoalesced() {
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    Station station;
    StateKeeper keeper(file, station);
    connect(&station, &Station::changed, &keeper, &StateKeeper::stationChanged);
    keeper.start();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 2000; ++i)
        putOnAir(station, qint16(2 + i % 5)); // AUTO .. FEED 4
    putOnAir(station, 1);                     // LIVE last
    // A few are written at once, the rest wait for one settled write.
    QTRY_COMPARE_WITH_TIMEOUT(keywordOnDisk(file), QString("SN_LIVE"), 2500);
    qInfo("2001 source changes written in %lld ms", timer.elapsed());
}

void tst_StateKeeper::theEndIsWrittenAtOnce() {
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    Station station;
    StateKeeper keeper(file, station);
    connect(&station, &Station::changed, &keeper, &StateKeeper::stationChanged);
    connect(&station, &Station::eventPublished, &keeper, &StateKeeper::eventPublished);
    keeper.start();
    for (int i = 0; i < 10; ++i)
        putOnAir(station, qint16(2 + i % 5)); // the last, FEED 4, waits to be written
    station.end();
    // On the disk within the time the writer gives the last write.
    QTRY_COMPARE_WITH_TIMEOUT(keywordOnDisk(file), QString("SN_FEED_4"), StateWriter::finishMs);
}

// Something that is no file stands where sondral.state goes (a full disk
// fails the same way, only later): the station says so once however often
// the writes fail, the next change after it is gone writes the file again,
// and that is said once too.
void tst_StateKeeper::aFailedWriteIsToldOnceAndRetried() {
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    QVERIFY(QDir(dir.path()).mkdir("sondral.state"));
    Station station;
    StateKeeper keeper(file, station);
    connect(&station, &Station::changed, &keeper, &StateKeeper::stationChanged);
    const auto count = [&station](StationEvent::Kind kind) {
        return station.state().eventCounts[std::size_t(kind)];
    };
    putOnAir(station, 3);
    keeper.start();
    QTRY_COMPARE(count(StationEvent::Kind::StateFileFailed), 1u);
    QVERIFY(!station.state().stateFile.ok);
    QVERIFY2(station.state().stateFile.error.contains("a directory"),
             qPrintable(station.state().stateFile.error));
    putOnAir(station, 4);
    putOnAir(station, 5);
    QCoreApplication::processEvents();
    QCOMPARE(count(StationEvent::Kind::StateFileFailed), 1u);
    QCOMPARE(count(StationEvent::Kind::StateFileBack), 0u);

    QVERIFY(QDir(dir.path()).rmdir("sondral.state"));
    putOnAir(station, 2);
    QTRY_COMPARE(count(StationEvent::Kind::StateFileBack), 1u);
    QVERIFY(station.state().stateFile.ok);
    QVERIFY(station.state().stateFile.error.isEmpty());
    QTRY_COMPARE(keywordOnDisk(file), QString("SN_AUTO"));
    QCOMPARE(count(StationEvent::Kind::StateFileFailed), 1u);
}

QTEST_GUILESS_MAIN(tst_StateKeeper)
#include "tst_statekeeper.moc"
