// The clip folder: the names it gives, which files it counts, and which it
// deletes to stay within the count and size limits.
#include "clips/clipfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

void makeFile(const QString& path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(size, 'x')) != size)
        qFatal("cannot make %s", qPrintable(path));
}

QString clipName(int minute, const QString& suffix = {}) {
    return QStringLiteral("2026-12-09_03-%1-45_AUTO%2.flac")
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(suffix);
}

} // namespace

class TstClipFolder : public QObject {
    Q_OBJECT
private slots:
    void fileName_data();
    void fileName();
    void isClipName_data();
    void isClipName();
    void prune_data();
    void prune();
    void pruneOrdersTheSameSecondByNumber();
    void pruneLeavesOtherFiles();
    void pruneTouchesOnlyRegularClips_data();
    void pruneTouchesOnlyRegularClips();
    void freePathNeverReusesAName();
    void hasRoomKeepsTheReserve();
};

void TstClipFolder::fileName_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("name");
    QTest::newRow("automation at night")
        << QDateTime(QDate(2026, 12, 9), QTime(3, 12, 45)) << "AUTO"
        << "2026-12-09_03-12-45_AUTO.flac";
    QTest::newRow("feed in the afternoon")
        << QDateTime(QDate(2027, 1, 31), QTime(15, 0, 9)) << "FEED_4"
        << "2027-01-31_15-00-09_FEED_4.flac";
}

void TstClipFolder::fileName() {
    QFETCH(QDateTime, time);
    QFETCH(QString, source);
    QFETCH(QString, name);
    QCOMPARE(ClipFolder::fileName(time, source), name);
    QVERIFY(ClipFolder::isClipName(name));
}

void TstClipFolder::isClipName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("clip");
    QTest::newRow("plain") << "2026-12-09_03-12-45_AUTO.flac" << true;
    QTest::newRow("second of the same second") << "2026-12-09_03-12-45_FEED_1-2.flac" << true;
    QTest::newRow("half written") << "2026-12-09_03-12-45_AUTO.flac.part" << false;
    QTest::newRow("other extension") << "2026-12-09_03-12-45_AUTO.wav" << false;
    QTest::newRow("no such feed") << "2026-12-09_03-12-45_FEED_5.flac" << false;
    QTest::newRow("operator's own file") << "interview.flac" << false;
    QTest::newRow("prefixed") << "old_2026-12-09_03-12-45_AUTO.flac" << false;
}

void TstClipFolder::isClipName() {
    QFETCH(QString, name);
    QFETCH(bool, clip);
    QCOMPARE(ClipFolder::isClipName(name), clip);
}

void TstClipFolder::prune_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<int>("maxFiles");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("left");
    QTest::newRow("within both") << 5 << qint64(100) << 5 << qint64(500) << 5;
    QTest::newRow("count limit") << 6 << qint64(10) << 4 << qint64(1000) << 4;
    QTest::newRow("size limit") << 6 << qint64(100) << 200 << qint64(250) << 2;
    QTest::newRow("size is the lesser") << 6 << qint64(100) << 4 << qint64(300) << 3;
    QTest::newRow("count is the lesser") << 6 << qint64(100) << 2 << qint64(450) << 2;
    QTest::newRow("the newest stays however large") << 3 << qint64(100) << 200 << qint64(50) << 1;
}

void TstClipFolder::prune() {
    QFETCH(int, files);
    QFETCH(qint64, fileSize);
    QFETCH(int, maxFiles);
    QFETCH(qint64, maxBytes);
    QFETCH(int, left);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Made newest first, so that file times say the opposite of the names.
    for (int i = files - 1; i >= 0; --i)
        makeFile(dir.filePath(clipName(10 + i)), fileSize);
    ClipFolder::Limits limits;
    limits.maxFiles = maxFiles;
    limits.maxBytes = maxBytes;
    const ClipFolder folder(dir.path(), limits);

    const QStringList deleted = folder.prune();
    QCOMPARE(deleted.size(), files - left);
    QStringList expected;
    for (int i = files - left; i < files; ++i)
        expected << clipName(10 + i);
    QCOMPARE(folder.clips(), expected);
}

void TstClipFolder::pruneOrdersTheSameSecondByNumber() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // In the same second: the plain name first, then -2, -3 ... -10.
    QStringList names{clipName(12)};
    for (int n = 2; n <= 10; ++n)
        names << clipName(12, QStringLiteral("-%1").arg(n));
    for (const QString& name : names)
        makeFile(dir.filePath(name), 10);
    ClipFolder::Limits limits;
    limits.maxFiles = 3;
    const ClipFolder folder(dir.path(), limits);
    QCOMPARE(folder.clips(), names);
    folder.prune();
    QCOMPARE(folder.clips(), names.mid(7));
}

void TstClipFolder::pruneLeavesOtherFiles() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList others{"interview.flac", clipName(1) + ".part", "notes.txt"};
    for (const QString& name : others)
        makeFile(dir.filePath(name), 1000);
    makeFile(dir.filePath(clipName(2)), 10);
    makeFile(dir.filePath(clipName(3)), 10);
    ClipFolder::Limits limits;
    limits.maxFiles = 1;
    limits.maxBytes = 100; // the other files alone are larger: they do not count
    const ClipFolder folder(dir.path(), limits);
    QCOMPARE(folder.prune(), QStringList{clipName(2)});
    for (const QString& name : others)
        QVERIFY2(QFile::exists(dir.filePath(name)), qPrintable(name));
    QCOMPARE(folder.clips(), QStringList{clipName(3)});
}

// The clips folder is itself a link to a folder elsewhere, and among the
// clips stands something else under an old clip's name: it is neither
// counted nor deleted, and what a link in there points to stays as it was.
void TstClipFolder::pruneTouchesOnlyRegularClips_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("kind");
    QTest::newRow("link to a file outside") << "file link" << int(S_IFLNK);
    QTest::newRow("link to a folder outside") << "folder link" << int(S_IFLNK);
    QTest::newRow("link to nothing") << "dangling link" << int(S_IFLNK);
    QTest::newRow("FIFO") << "fifo" << int(S_IFIFO);
    QTest::newRow("folder") << "folder" << int(S_IFDIR);
}

void TstClipFolder::pruneTouchesOnlyRegularClips() {
    QFETCH(QString, entry);
    QFETCH(int, kind);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("outside/inner"));
    QVERIFY(QDir(dir.path()).mkpath("real"));
    makeFile(dir.filePath("outside/precious.wav"), 100);
    const QString linked = dir.filePath("clips");
    QVERIFY(QFile::link(dir.filePath("real"), linked));
    const QString odd = dir.filePath("real/" + clipName(1));
    const QByteArray oddName = QFile::encodeName(odd);
    if (entry == "file link")
        QVERIFY(QFile::link(dir.filePath("outside/precious.wav"), odd));
    else if (entry == "folder link")
        QVERIFY(QFile::link(dir.filePath("outside"), odd));
    else if (entry == "dangling link")
        QVERIFY(QFile::link(dir.filePath("outside/gone.flac"), odd));
    else if (entry == "fifo")
        QVERIFY(::mkfifo(oddName.constData(), 0644) == 0);
    else
        QVERIFY(::mkdir(oddName.constData(), 0755) == 0);
    makeFile(dir.filePath("real/" + clipName(2)), 10);
    makeFile(dir.filePath("real/" + clipName(3)), 10);

    ClipFolder::Limits limits;
    limits.maxFiles = 1;
    const ClipFolder folder(linked, limits);
    QCOMPARE(folder.clips(), (QStringList{clipName(2), clipName(3)}));
    QCOMPARE(folder.prune(), QStringList{clipName(2)});
    struct stat st {};
    QVERIFY(::lstat(oddName.constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & S_IFMT), kind);
    QCOMPARE(QFileInfo(dir.filePath("outside/precious.wav")).size(), qint64(100));
    QVERIFY(QFileInfo(dir.filePath("outside/inner")).isDir());
    // Nor is a new clip ever written through it.
    const QDateTime oddTime(QDate(2026, 12, 9), QTime(3, 1, 45));
    QCOMPARE(QFileInfo(folder.freePath(oddTime, "AUTO")).fileName(), clipName(1, "-2"));
}

void TstClipFolder::freePathNeverReusesAName() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ClipFolder folder(dir.path());
    const QDateTime time(QDate(2026, 12, 9), QTime(3, 12, 45));
    const QString first = folder.freePath(time, QStringLiteral("AUTO"));
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("2026-12-09_03-12-45_AUTO.flac"));
    makeFile(first, 1);
    const QString second = folder.freePath(time, QStringLiteral("AUTO"));
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("2026-12-09_03-12-45_AUTO-2.flac"));
    QVERIFY(ClipFolder::isClipName(QFileInfo(second).fileName()));
    // A clip still being written holds its name too.
    makeFile(ClipFolder::partialPath(second), 1);
    QCOMPARE(QFileInfo(folder.freePath(time, QStringLiteral("AUTO"))).fileName(),
             QStringLiteral("2026-12-09_03-12-45_AUTO-3.flac"));
}

void TstClipFolder::hasRoomKeepsTheReserve() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ClipFolder::Limits none;
    none.reserveBytes = 0;
    QString error;
    QVERIFY2(ClipFolder(dir.path(), none).hasRoom(1, &error), qPrintable(error));
    // A reserve of the whole volume is never left after a write.
    ClipFolder::Limits whole;
    whole.reserveBytes = std::numeric_limits<qint64>::max();
    whole.reservePercent = 100;
    QVERIFY(!ClipFolder(dir.path(), whole).hasRoom(1, &error));
    QVERIFY2(error.contains(QStringLiteral("must stay free")), qPrintable(error));
    // Nor does a clip larger than the free space fit.
    QVERIFY(!ClipFolder(dir.path(), none).hasRoom(std::numeric_limits<qint64>::max() / 2, &error));
}

QTEST_GUILESS_MAIN(TstClipFolder)
#include "tst_clipfolder.moc"
