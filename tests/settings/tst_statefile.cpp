// sondral.state: read back what was written, refuse what is not ours, and
// judge the age by the time stamp. A write that cannot be completed leaves
// the previous file; a FIFO, a folder or a link in its place is never read
// through, waited on or written through.
#include "settings/filehelpers.h"
#include "settings/statefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
const QDateTime Stamp = QDateTime::fromString("2026-03-01T10:20:30Z", Qt::ISODate);
const QByteArray StampedAuto = "Source=SN_AUTO\nPaused=0\nWritten=2026-03-01T10:20:30Z\n";

// The kind of what stands at path, the link itself when it is one.
mode_t kindAt(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}
} // namespace

class tst_StateFile : public QObject {
    Q_OBJECT
private slots:
    void writtenStateReadsBack_data();
    void writtenStateReadsBack();
    void foreignContentIsNoState_data();
    void foreignContentIsNoState();
    void rewriteReplacesTheWholeFile();
    void ageDecidesRecent_data();
    void ageDecidesRecent();
    void failedWriteKeepsThePreviousFile_data();
    void failedWriteKeepsThePreviousFile();
    void notAFileIsLeftAlone_data();
    void notAFileIsLeftAlone();
    void aLinkIsReplacedNeverItsTarget_data();
    void aLinkIsReplacedNeverItsTarget();
};

void tst_StateFile::writtenStateReadsBack_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("paused");
    QTest::newRow("auto") << "SN_AUTO" << false;
    QTest::newRow("auto paused") << "SN_AUTO" << true;
    QTest::newRow("feed 2") << "SN_FEED_2" << false;
    QTest::newRow("nothing yet") << "" << false;
}

void tst_StateFile::writtenStateReadsBack() {
    QFETCH(QString, keyword);
    QFETCH(bool, paused);
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    const QDateTime when = QDateTime::fromString("2026-03-01T10:20:30Z", Qt::ISODate);
    QVERIFY2(file.write({keyword, paused, when}), qPrintable(file.errorString()));

    const auto read = StateFile(file.path()).read();
    QVERIFY(read);
    QCOMPARE(read->keyword, keyword);
    QCOMPARE(read->paused, paused);
    QCOMPARE(read->written, when);
}

void tst_StateFile::foreignContentIsNoState_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no time stamp") << QByteArray("Source=SN_AUTO\nPaused=0\n");
    QTest::newRow("bad time stamp") << QByteArray("Source=SN_AUTO\nWritten=yesterday\n");
    QTest::newRow("not a keyword")
        << QByteArray("Source=SN AUTO; rm\nWritten=2026-03-01T10:20:30Z\n");
    QTest::newRow("binary") << QByteArray("\xff\xfe\x00S\x00o", 6);
    QTest::newRow("too big") << QByteArray("Source=SN_AUTO\nWritten=2026-03-01T10:20:30Z\n") +
                                    QByteArray(8192, '#');
}

void tst_StateFile::foreignContentIsNoState() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QFile raw(dir.filePath("sondral.state"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(content);
    raw.close();
    QVERIFY(!StateFile(raw.fileName()).read());
    // A missing file is no state either.
    QVERIFY(!StateFile(dir.filePath("missing.state")).read());
}

void tst_StateFile::rewriteReplacesTheWholeFile() {
    QTemporaryDir dir;
    StateFile file(dir.filePath("sondral.state"));
    const QDateTime first = QDateTime::fromString("2026-03-01T10:00:00Z", Qt::ISODate);
    QVERIFY(file.write({"SN_FEED_4", true, first}));
    QVERIFY(file.write({"SN_LIVE", false, first.addSecs(60)}));
    const auto read = file.read();
    QVERIFY(read);
    QCOMPARE(read->keyword, QString("SN_LIVE"));
    QVERIFY(!read->paused);
    QCOMPARE(read->written, first.addSecs(60));
    // A folder that cannot be written: the reason is given.
    StateFile nowhere(dir.filePath("no/such/folder/sondral.state"));
    QVERIFY(!nowhere.write({"SN_AUTO", false, first}));
    QVERIFY(!nowhere.errorString().isEmpty());
}

void tst_StateFile::ageDecidesRecent_data() {
    QTest::addColumn<qint64>("ageSecs");
    QTest::addColumn<bool>("recent");
    QTest::newRow("just now") << qint64(0) << true;
    QTest::newRow("12 s") << qint64(12) << true;
    QTest::newRow("9 min 59 s") << qint64(599) << true;
    QTest::newRow("10 min") << qint64(600) << false;
    QTest::newRow("11 min") << qint64(660) << false;
    QTest::newRow("a day") << qint64(86400) << false;
    // The clock was set back: the age is unknown.
    QTest::newRow("in the future") << qint64(-30) << false;
}

void tst_StateFile::ageDecidesRecent() {
    QFETCH(qint64, ageSecs);
    QFETCH(bool, recent);
    const QDateTime now = QDateTime::fromString("2026-03-01T10:20:30Z", Qt::ISODate);
    const StateFile::Saved saved{"SN_AUTO", false, now.addSecs(-ageSecs)};
    qint64 age = -1;
    QCOMPARE(StateFile::isRecent(saved, now, StateFile::resumeWithinSecs, &age), recent);
    QCOMPARE(age, ageSecs);
}

// The disk fills up in the middle of a write (a file size limit fails the
// write the same way, and binds root too): the previous file stays byte for
// byte, no temporary file is left beside it, and the next write, with room
// again, succeeds.
void tst_StateFile::failedWriteKeepsThePreviousFile_data() {
    QTest::addColumn<int>("roomBytes");
    QTest::newRow("no room at all") << 0;
    QTest::newRow("room for half a line") << 10;
    QTest::newRow("room for all but the last byte") << 50;
}

void tst_StateFile::failedWriteKeepsThePreviousFile() {
    QFETCH(int, roomBytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("sondral.state");
    writeBytes(path, StampedAuto);
    StateFile file(path);
    const StateFile::Saved next{"SN_FEED_3", true, Stamp.addSecs(60)};
    QVERIFY(!withFileSizeLimit(rlim_t(roomBytes), [&] { return file.write(next); }));
    QVERIFY(file.errorString().contains(path));
    QCOMPARE(readBytes(path), StampedAuto);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{"sondral.state"});

    QVERIFY2(file.write(next), qPrintable(file.errorString()));
    QCOMPARE(file.read()->keyword, QString("SN_FEED_3"));
    QVERIFY(file.errorString().isEmpty());
}

// Whatever is not a regular file is named, never opened for long (a FIFO
// without a writer would hold a blocking open for ever) and never replaced.
void tst_StateFile::notAFileIsLeftAlone_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("named");
    QTest::newRow("FIFO") << int(S_IFIFO) << "a FIFO";
    QTest::newRow("folder") << int(S_IFDIR) << "a directory";
}

void tst_StateFile::notAFileIsLeftAlone() {
    QFETCH(int, kind);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString path = dir.filePath("sondral.state");
    const QByteArray name = QFile::encodeName(path);
    QVERIFY(kind == S_IFIFO ? ::mkfifo(name.constData(), 0644) == 0
                            : ::mkdir(name.constData(), 0755) == 0);
    StateFile file(path);
    QString problem;
    QVERIFY(!file.read(&problem));
    QVERIFY2(problem.contains(named) && problem.contains(path), qPrintable(problem));
    QVERIFY(!file.write({"SN_AUTO", false, Stamp}));
    QVERIFY2(file.errorString().contains(named), qPrintable(file.errorString()));
    QVERIFY(file.errorString().contains(QStringLiteral("left alone")));
    QCOMPARE(int(kindAt(path)), kind);
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"sondral.state"});
}

// A link named sondral.state: read through as long as it leads to a regular
// file, but a write replaces the link itself with the new file, in the
// state's own folder; what the link pointed to stays exactly as it was.
void tst_StateFile::aLinkIsReplacedNeverItsTarget_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("readable");
    QTest::newRow("to another file") << "elsewhere/precious.txt" << true;
    QTest::newRow("to a FIFO") << "elsewhere/pipe" << false;
    QTest::newRow("to nothing") << "elsewhere/missing" << false;
}

void tst_StateFile::aLinkIsReplacedNeverItsTarget() {
    QFETCH(QString, target);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("elsewhere"));
    writeBytes(dir.filePath("elsewhere/precious.txt"), StampedAuto);
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("elsewhere/pipe")).constData(), 0644) == 0);
    const QString path = dir.filePath("sondral.state");
    QVERIFY(QFile::link(dir.filePath(target), path));

    StateFile file(path);
    QCOMPARE(bool(file.read()), readable);
    QVERIFY2(file.write({"SN_LIVE", false, Stamp}), qPrintable(file.errorString()));

    QCOMPARE(int(kindAt(path)), int(S_IFREG));
    QCOMPARE(file.read()->keyword, QString("SN_LIVE"));
    QCOMPARE(readBytes(dir.filePath("elsewhere/precious.txt")), StampedAuto);
    QCOMPARE(int(kindAt(dir.filePath("elsewhere/pipe"))), int(S_IFIFO));
    QCOMPARE(int(kindAt(dir.filePath("elsewhere/missing"))), 0);
}

QTEST_GUILESS_MAIN(tst_StateFile)
#include "tst_statefile.moc"
