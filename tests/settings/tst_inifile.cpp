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
    QString read(const QString& section, const QString& key) const {
        return IniFile(path()).read(section, key);
    }
    bool write(const QString& section, const QString& key, const QString& value,
               QString* error = nullptr) const {
        IniFile ini(path());
        const bool ok = ini.write(section, {{key, value}});
        if (error)
            *error = ini.errorString();
        return ok;
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
        QTest::newRow("CR only") << QByteArray("[Audio]\rCard=3\r[InterPC]\rHostPort=5000\r")
                                 << "InterPC"
                                 << "HostPort"
                                 << "5000";
        QTest::newRow("CR, LF and CR LF mixed")
            << QByteArray("[Audio]\rCard=1\nLog=1\r\nAutoVol=9\r") << "Audio"
            << "AutoVol"
            << "9";
        const QString windows = QStringLiteral("[Audio]\r\nCard=2\r\n[InterPC]\r\n"
                                               "RemoteName=caf\u00E9 \u20AC\r\nHostPort=5000\r\n");
        QTest::newRow("UTF-16 LE") << utf16File(windows) << "InterPC"
                                   << "HostPort"
                                   << "5000";
        QTest::newRow("UTF-16 BE") << utf16File(windows, true) << "audio"
                                   << "CARD"
                                   << "2";
        QTest::newRow("UTF-16 value beyond Latin-1")
            << utf16File(windows) << "InterPC"
            << "RemoteName" << QStringLiteral("caf\u00E9 \u20AC");
        QTest::newRow("UTF-16 with an odd last byte")
            << utf16File(QStringLiteral("[Audio]\nCard=4\n")).append('\x01') << "Audio"
            << "Card"
            << "4";
    }

    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeBytes(path(), file);
        QCOMPARE(read(section, key), expected);
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
        QTest::newRow("CR only: new key and section take CR")
            << QByteArray("; note\r[Audio]\rCard=1\r") << "InterPC"
            << "HostPort"
            << "5000" << QByteArray("; note\r[Audio]\rCard=1\r\r[InterPC]\rHostPort=5000\r");
        // A CR before the LF of an empty line would make one CR LF of them.
        QTest::newRow("mixed: new line ends never merge")
            << QByteArray("[Audio]\rCard=1\n\n[InterPC]\nX=1\r") << "Audio"
            << "Log"
            << "1" << QByteArray("[Audio]\rCard=1\nLog=1\r\n\n[InterPC]\nX=1\r");
        QTest::newRow("mixed: blank line after a last CR")
            << QByteArray("[Audio]\nCard=1\r") << "InterPC"
            << "HostPort"
            << "1" << QByteArray("[Audio]\nCard=1\r\r\n[InterPC]\nHostPort=1\n");
        QTest::newRow("CR only: key added inside its section")
            << QByteArray("[Audio]\rCard=1\r[InterPC]\rHostPort=1\r") << "Audio"
            << "Log"
            << "1" << QByteArray("[Audio]\rCard=1\rLog=1\r[InterPC]\rHostPort=1\r");
        // A UTF-16 file stays UTF-16 in its byte order, mark and every other
        // line kept, characters beyond Latin-1 included.
        const QString before16 = QStringLiteral("; Stati\u00F6n \u20AC\r\n[Audio]\r\nCard=1\r\n"
                                                "[InterPC]\r\nRemoteName=\u0441\u0435\u0440\r\n");
        const QString after16 = QStringLiteral("; Stati\u00F6n \u20AC\r\n[Audio]\r\nCard=2\r\n"
                                               "[InterPC]\r\nRemoteName=\u0441\u0435\u0440\r\n");
        QTest::newRow("UTF-16 LE kept") << utf16File(before16) << "Audio"
                                        << "Card"
                                        << "2" << utf16File(after16);
        QTest::newRow("UTF-16 BE kept") << utf16File(before16, true) << "Audio"
                                        << "Card"
                                        << "2" << utf16File(after16, true);
        // Not text, but kept: a lone surrogate and an odd last byte.
        QTest::newRow("UTF-16 garbage kept") << utf16File(QStringLiteral("x") + QChar(0xD800) +
                                                          QStringLiteral("\n[Audio]\nCard=1\n"))
                                                    .append('\x7F')
                                             << "Audio"
                                             << "Card"
                                             << "5"
                                             << utf16File(QStringLiteral("x") + QChar(0xD800) +
                                                          QStringLiteral("\n[Audio]\nCard=5\n"))
                                                    .append('\x7F');
    }

    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        writeBytes(path(), before);
        QString error;
        QVERIFY2(write(section, key, value, &error), qPrintable(error));
        QCOMPARE(readBytes(path()), after);
        QCOMPARE(read(section, key), value);
    }

    void missingFileIsCreated() {
        QCOMPARE(read(QStringLiteral("InterPC"), QStringLiteral("HostPort")), QString());
        QVERIFY(
            write(QStringLiteral("InterPC"), QStringLiteral("HostPort"), QStringLiteral("5000")));
        QVERIFY(write(QStringLiteral("InterPC"), QStringLiteral("RemoteName"),
                      QStringLiteral("studio")));
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
        QString error;
        QVERIFY(!write(section, key, value, &error));
        QVERIFY(!error.isEmpty());
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
            IniFile ini(file);
            const bool ok = ini.write(QStringLiteral("Audio"), {{"Card", "2"}});
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
        IniFile ini(path());
        QVERIFY2(ini.write(QStringLiteral("Audio"), keys), qPrintable(ini.errorString()));
        const QByteArray after = readBytes(path());
        QCOMPARE(after, QByteArray("; Sondral\r\n[InterPC]\r\nRemoteName=playout\r\n\r\n[audio]\r\n"
                                   "  AutoTime = 30\r\n# note\r\nColour=blue\r\ncard=3\r\nLog=1\r\n"
                                   "stray line\r\n[Extra]\r\nX=1"));

        writeBytes(path(), before);
        for (const auto& [key, value] : keys)
            QVERIFY(write(QStringLiteral("Audio"), key, value));
        QCOMPARE(readBytes(path()), after);
    }

    // One key that cannot be written, after others that could: none land.
    void refusedKeyWritesNoneOfTheList() {
        const QByteArray before("[Audio]\nCard=1\n");
        writeBytes(path(), before);
        IniFile ini(path());
        QVERIFY(!ini.write(QStringLiteral("Audio"),
                           {{"Card", "2"}, {"AutoVol", "30"}, {"Log", "1\n[InterPC]"}}));
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
        IniFile ini(path());
        const bool ok = withFileSizeLimit(before.size(), [&] {
            return ini.write(QStringLiteral("Audio"),
                             {{"Card", "2"}, {"AutoVol", "30"}, {"Log", "1"}});
        });
        QVERIFY(!ok);
        QVERIFY(ini.errorString().contains(path()));
        QCOMPARE(readBytes(path()), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("sondral.ini")});
    }

    // sondral.ini may hold a web hook's token: a rewrite keeps who may read
    // it, and a new file is readable by its owner only.
    void permissionsAreKept_data() {
        QTest::addColumn<int>("before"); // -1: no file yet
        QTest::addColumn<int>("after");
        QTest::newRow("new file") << -1 << 0600;
        QTest::newRow("owner only") << 0600 << 0600;
        QTest::newRow("group may read") << 0640 << 0640;
        QTest::newRow("everyone may read") << 0644 << 0644;
    }

    void permissionsAreKept() {
        QFETCH(int, before);
        QFETCH(int, after);
        const QByteArray name = QFile::encodeName(path());
        if (before >= 0) {
            writeBytes(path(), "[Audio]\nCard=1\n");
            QVERIFY(::chmod(name.constData(), mode_t(before)) == 0);
        }
        QVERIFY(write(QStringLiteral("Notify"), QStringLiteral("WebhookToken"),
                      QStringLiteral("s3cret")));
        struct stat st {};
        QVERIFY(::stat(name.constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), after);
    }

    // Root saving the file of the account Sondral runs as leaves it that
    // account's.
    void ownerIsKept() {
        if (geteuid() != 0) {
            QSKIP("only root may give a file away");
        }
        const QByteArray name = QFile::encodeName(path());
        writeBytes(path(), "[Audio]\nCard=1\n");
        QVERIFY(::chown(name.constData(), 65534, 65534) == 0);
        QVERIFY(write(QStringLiteral("Audio"), QStringLiteral("Card"), QStringLiteral("2")));
        struct stat st {};
        QVERIFY(::stat(name.constData(), &st) == 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_gid, gid_t(65534));
    }

    // A settings file reached through a link is saved where the link
    // points, as an editor saves it; the link stays a link.
    void savedThroughALink() {
        QTemporaryDir elsewhere;
        const QString real = elsewhere.filePath(QStringLiteral("station.ini"));
        writeBytes(real, "[Audio]\nCard=1\n");
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
        QVERIFY(QFile::link(real, path()));
        QVERIFY(write(QStringLiteral("Audio"), QStringLiteral("Card"), QStringLiteral("2")));
        QCOMPARE(QFileInfo(path()).symLinkTarget(), real);
        QCOMPARE(readBytes(real), QByteArray("[Audio]\nCard=2\n"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(real).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0640);
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
        IniFile ini(target);
        QCOMPARE(ini.read(QStringLiteral("Audio"), QStringLiteral("Card")), QString());
        QVERIFY(!ini.write(QStringLiteral("Audio"), {{"Card", "1"}}));
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
        QCOMPARE(read(QStringLiteral("Audio"), QStringLiteral("Card")), QString());
        QVERIFY(write(QStringLiteral("Audio"), QStringLiteral("Card"), QStringLiteral("4")));
        QVERIFY(readBytes(path()).startsWith(junk));
        QCOMPARE(read(QStringLiteral("Audio"), QStringLiteral("Card")), QStringLiteral("4"));
    }

    void oversizedFileIsLeftAlone() {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(IniFile::MaxFileSize + 1)); // sparse, no disk space used
        f.close();
        QCOMPARE(read(QStringLiteral("Audio"), QStringLiteral("Card")), QString());
        QVERIFY(!write(QStringLiteral("Audio"), QStringLiteral("Card"), QStringLiteral("1")));
        QCOMPARE(QFileInfo(path()).size(), IniFile::MaxFileSize + 1);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
