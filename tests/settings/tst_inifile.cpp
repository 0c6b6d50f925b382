#include "settings/filehelpers.h"
#include "settings/inifile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestIniFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("sondral.ini")); }
    IniFile open(const QString& section) const {
        IniFile ini;
        ini.selectFile(path());
        ini.selectSection(section);
        return ini;
    }

private slots:
    void init() { QFile::remove(path()); }

    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray basic = "[Audio]\nCard=3\n[InterPC]\nHostPort=5000\n";
        QTest::newRow("plain") << basic << "Audio"
                               << "Card"
                               << "3";
        QTest::newRow("case of section and key") << basic << "aUDIO"
                                                 << "CARD"
                                                 << "3";
        QTest::newRow("key of another section") << basic << "Audio"
                                                << "HostPort"
                                                << "";
        QTest::newRow("missing section") << basic << "Video"
                                         << "Card"
                                         << "";
        QTest::newRow("missing key") << basic << "Audio"
                                     << "Log"
                                     << "";
        QTest::newRow("blanks everywhere")
            << QByteArray(" [ Audio ] \n\t Card \t=  7 8 \t\n") << "Audio"
            << "Card"
            << "7 8";
        QTest::newRow("empty value") << QByteArray("[Audio]\nCard=\n") << "Audio"
                                     << "Card"
                                     << "";
        QTest::newRow("split at first =") << QByteArray("[InterPC]\nRemoteName=a=b\n") << "InterPC"
                                          << "RemoteName"
                                          << "a=b";
        QTest::newRow("CR LF") << QByteArray("[Audio]\r\nCard=4\r\n") << "Audio"
                               << "Card"
                               << "4";
        QTest::newRow("comment lines")
            << QByteArray("[Audio]\n;Card=1\n#Card=2\nCard=3\n") << "Audio"
            << "Card"
            << "3";
        QTest::newRow("duplicate key: first") << QByteArray("[Audio]\nCard=1\ncard=2\n") << "Audio"
                                              << "Card"
                                              << "1";
        QTest::newRow("duplicate section: first")
            << QByteArray("[Audio]\nLog=1\n[audio]\nCard=2\n") << "Audio"
            << "Card"
            << "";
        QTest::newRow("key before any section") << QByteArray("Card=9\n[Audio]\n") << "Audio"
                                                << "Card"
                                                << "";
        QTest::newRow("no section selects the top") << QByteArray("Card=9\n[Audio]\nCard=1\n") << ""
                                                    << "Card"
                                                    << "9";
        QTest::newRow("UTF-8 byte order mark")
            << QByteArray("\xEF\xBB\xBF[Audio]\nCard=5\n") << "Audio"
            << "Card"
            << "5";
        QTest::newRow("Latin-1 value") << QByteArray("[InterPC]\nRemoteName=caf\xE9\n") << "InterPC"
                                       << "RemoteName" << QString::fromLatin1("caf\xE9");
        QTest::newRow("NUL and junk lines")
            << QByteArray("[Audio]\n\0\xFF\x01junk\nno equals sign\nCard=6", 37) << "Audio"
            << "Card"
            << "6";
        QTest::newRow("header without ]") << QByteArray("[Audio]\n[InterPC\nCard=2\n") << "Audio"
                                          << "Card"
                                          << "2";
    }

    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeBytes(path(), file);
        QCOMPARE(open(section).read(key), expected);
    }

    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("other spelling replaced")
            << QByteArray("[Audio]\nAutotime=5\nCard=1\n") << "Audio"
            << "AutoTime"
            << "30" << QByteArray("[Audio]\nAutoTime=30\nCard=1\n");
        QTest::newRow("indent and spacing kept")
            << QByteArray("[audio]\n  autotime = 5  \n") << "Audio"
            << "AutoTime"
            << "30" << QByteArray("[audio]\n  AutoTime = 30\n");
        QTest::newRow("CR LF kept, new key CR LF")
            << QByteArray("[Audio]\r\nCard=1\r\n") << "Audio"
            << "Log"
            << "1" << QByteArray("[Audio]\r\nCard=1\r\nLog=1\r\n");
        QTest::newRow("new key ends its section")
            << QByteArray("; top\n[Audio]\nCard=1\n\n; link\n[InterPC]\nHostPort=1\n") << "Audio"
            << "Log"
            << "0"
            << QByteArray("; top\n[Audio]\nCard=1\nLog=0\n\n; link\n[InterPC]\nHostPort=1\n");
        QTest::newRow("new section at the end")
            << QByteArray("[Audio]\nCard=1\nX=\xFF\n") << "InterPC"
            << "HostPort"
            << "5000" << QByteArray("[Audio]\nCard=1\nX=\xFF\n\n[InterPC]\nHostPort=5000\n");
        QTest::newRow("no final line end") << QByteArray("[Audio]\nCard=1") << "Audio"
                                           << "Log"
                                           << "1" << QByteArray("[Audio]\nCard=1\nLog=1\n");
        QTest::newRow("header only") << QByteArray("[Audio]") << "Audio"
                                     << "Card"
                                     << "2" << QByteArray("[Audio]\nCard=2\n");
        QTest::newRow("byte order mark kept")
            << QByteArray("\xEF\xBB\xBF[Audio]\nCard=1\n") << "Audio"
            << "Card"
            << "2" << QByteArray("\xEF\xBB\xBF[Audio]\nCard=2\n");
        QTest::newRow("lone byte order mark")
            << QByteArray("\xEF\xBB\xBF") << "Audio"
            << "Card"
            << "2" << QByteArray("\xEF\xBB\xBF\n[Audio]\nCard=2\n");
        QTest::newRow("first duplicate key written")
            << QByteArray("[Audio]\nCard=1\ncard=2\n") << "Audio"
            << "Card"
            << "3" << QByteArray("[Audio]\nCard=3\ncard=2\n");
        QTest::newRow("first duplicate section written")
            << QByteArray("[Audio]\nCard=1\n[audio]\nLog=0\n") << "Audio"
            << "Log"
            << "1" << QByteArray("[Audio]\nCard=1\nLog=1\n[audio]\nLog=0\n");
        QTest::newRow("empty file") << QByteArray() << "Audio"
                                    << "Card"
                                    << "-1" << QByteArray("[Audio]\nCard=-1\n");
        QTest::newRow("top key") << QByteArray("A=1\n[Audio]\nA=2\n") << ""
                                 << "B"
                                 << "3" << QByteArray("A=1\nB=3\n[Audio]\nA=2\n");
    }

    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        writeBytes(path(), before);
        IniFile ini = open(section);
        QVERIFY2(ini.write(key, value), qPrintable(ini.errorString()));
        QCOMPARE(readBytes(path()), after);
        QCOMPARE(ini.read(key), value);
    }

    void missingFileIsCreated() {
        IniFile ini = open(QStringLiteral("InterPC"));
        QCOMPARE(ini.read(QStringLiteral("HostPort")), QString());
        QVERIFY(ini.write(QStringLiteral("HostPort"), 5000));
        QVERIFY(ini.write(QStringLiteral("RemoteName"), QStringLiteral("studio")));
        QCOMPARE(readBytes(path()), QByteArray("[InterPC]\nHostPort=5000\nRemoteName=studio\n"));
    }

    // Values that would not read back as written, or would break the line
    // structure, are refused and the file stays as it was.
    void refusedWrites_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("line end in value") << "InterPC"
                                           << "RemoteName"
                                           << "x\n[Audio]\nCard=5";
        QTest::newRow("= in key") << "Audio"
                                  << "a=b"
                                  << "1";
        QTest::newRow("empty key") << "Audio"
                                   << " "
                                   << "1";
        QTest::newRow("] in section") << "Au]dio"
                                      << "Card"
                                      << "1";
        QTest::newRow("beyond Latin-1") << "InterPC"
                                        << "RemoteName" << QStringLiteral("\u20AC");
    }

    void refusedWrites() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before("[Audio]\nCard=1\n");
        writeBytes(path(), before);
        IniFile ini = open(section);
        QVERIFY(!ini.write(key, value));
        QVERIFY(!ini.errorString().isEmpty());
        QCOMPARE(readBytes(path()), before);
    }

    // The directory refuses new files while the file itself is writable: the
    // write must fail rather than rewrite the file in place.
    void unwritableDirectoryKeepsOldFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("sondral.ini"));
        const QByteArray before("[Audio]\nCard=1\n");
        writeBytes(file, before);
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
        const int result = withoutRootRights([&] {
            IniFile ini;
            ini.selectFile(file);
            ini.selectSection(QStringLiteral("Audio"));
            const bool ok = ini.write(QStringLiteral("Card"), 2);
            return ok ? 1 : (ini.errorString().isEmpty() ? 2 : 0);
        });
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        if (result == -1) {
            QSKIP("cannot drop root rights here");
        }
        QCOMPARE(result, 0);
        QCOMPARE(readBytes(file), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("sondral.ini")});
    }

    // A save of several keys: one replacement of the file, the same bytes
    // as the keys written one by one, every other line kept byte for byte.
    void listLandsWhole() {
        const QByteArray before("; Sondral\r\n[InterPC]\r\nRemoteName=playout\r\n\r\n[audio]\r\n"
                                "  autotime = 5  \r\n# note\r\nColour=blue\r\nstray line\r\n"
                                "[Extra]\r\nX=1");
        const QList<QPair<QString, QString>> keys = {
            {"Card", "2"}, {"AutoTime", "30"}, {"Log", "1"}, {"card", "3"}};
        writeBytes(path(), before);
        IniFile ini = open(QStringLiteral("Audio"));
        QVERIFY2(ini.write(keys), qPrintable(ini.errorString()));
        const QByteArray after = readBytes(path());
        QCOMPARE(after, QByteArray("; Sondral\r\n[InterPC]\r\nRemoteName=playout\r\n\r\n[audio]\r\n"
                                   "  AutoTime = 30\r\n# note\r\nColour=blue\r\ncard=3\r\nLog=1\r\n"
                                   "stray line\r\n[Extra]\r\nX=1"));

        writeBytes(path(), before);
        for (const auto& [key, value] : keys)
            QVERIFY(ini.write(key, value));
        QCOMPARE(readBytes(path()), after);
    }

    // One key that cannot be written, after others that could: none land.
    void refusedKeyWritesNoneOfTheList() {
        const QByteArray before("[Audio]\nCard=1\n");
        writeBytes(path(), before);
        IniFile ini = open(QStringLiteral("Audio"));
        QVERIFY(!ini.write({{"Card", "2"}, {"AutoVol", "30"}, {"Log", "1\n[InterPC]"}}));
        QVERIFY(!ini.errorString().isEmpty());
        QCOMPARE(readBytes(path()), before);
    }

    // The new file cannot be completed (it may not grow beyond a size limit,
    // which binds root too). The first key alone would still fit, so a save
    // key by key would have landed it: the file must stay byte for byte as
    // it was, with no temporary file left beside it.
    void unreplaceableFileStaysAsItWas() {
        const QByteArray before("; keep\n[Audio]\nCard=1\n");
        writeBytes(path(), before);
        IniFile ini = open(QStringLiteral("Audio"));
        const bool ok = withFileSizeLimit(before.size(), [&] {
            return ini.write({{"Card", "2"}, {"AutoVol", "30"}, {"Log", "1"}});
        });
        QVERIFY(!ok);
        QVERIFY(ini.errorString().contains(path()));
        QCOMPARE(readBytes(path()), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("sondral.ini")});
    }

    void notARegularFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "dir";
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("missing parent directory") << "noparent";
    }

    // Never blocks on a pipe, never replaces a directory.
    void notARegularFile() {
        QFETCH(QString, kind);
        QString target = path();
        if (kind == QLatin1String("dir")) {
            QVERIFY(QDir().mkpath(target));
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0644) == 0);
        } else {
            target = m_dir.filePath(QStringLiteral("none/sondral.ini"));
        }
        IniFile ini;
        ini.selectFile(target);
        ini.selectSection(QStringLiteral("Audio"));
        QCOMPARE(ini.read(QStringLiteral("Card")), QString());
        QVERIFY(!ini.write(QStringLiteral("Card"), 1));
        QVERIFY(!ini.errorString().isEmpty());
        if (kind == QLatin1String("dir")) {
            QVERIFY(QFileInfo(target).isDir());
            QDir(target).removeRecursively();
        } else {
            QFile::remove(target);
        }
    }

    void garbageKeptByteForByte() {
        const QByteArray junk = garbage(10 * 1024 * 1024, 1);
        writeBytes(path(), junk);
        IniFile ini = open(QStringLiteral("Audio"));
        QCOMPARE(ini.read(QStringLiteral("Card")), QString());
        QVERIFY(ini.write(QStringLiteral("Card"), 4));
        QVERIFY(readBytes(path()).startsWith(junk));
        QCOMPARE(ini.read(QStringLiteral("Card")), QStringLiteral("4"));
    }

    void oversizedFileIsLeftAlone() {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(IniFile::MaxFileSize + 1)); // sparse, no disk space used
        f.close();
        IniFile ini = open(QStringLiteral("Audio"));
        QCOMPARE(ini.read(QStringLiteral("Card")), QString());
        QVERIFY(!ini.write(QStringLiteral("Card"), 1));
        QCOMPARE(QFileInfo(path()).size(), IniFile::MaxFileSize + 1);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
