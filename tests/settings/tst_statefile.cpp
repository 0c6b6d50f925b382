// sondral.state: read back what was written, refuse what is not ours, and
// judge the age by the time stamp.
#include "settings/statefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

QTEST_GUILESS_MAIN(tst_StateFile)
#include "tst_statefile.moc"
