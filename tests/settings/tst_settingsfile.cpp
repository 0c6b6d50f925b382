#include "settings/filehelpers.h"
#include "settings/settingsfile.h"
#include "settings/settingsvalue.h"

#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

// A usable link, so that a test of other keys gets no line about it.
const QByteArray Link = "[InterPC]\nRemoteName=x\nRemotePort=1\nHostPort=2\n";
const QString Head = QStringLiteral("Ongeldige waarde in sondral.ini, sectie ");
const QString DefaultTail = QStringLiteral(". De standaardwaarde 0 wordt gebruikt.");

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("sondral.ini")); }
    QStringList readFile(const QByteArray& bytes, Settings& s) {
        writeBytes(path(), bytes);
        SettingsFile file(path());
        const QStringList problems = file.load();
        s = file.settings();
        return problems;
    }

private slots:
    void init() { QFile::remove(path()); }

    void noFileGivesDefaults() {
        Settings s;
        s.Card = 5;
        s.RemoteName = QStringLiteral("stale");
        s.Log = true;
        SettingsFile file(path());
        QVERIFY(file.load().isEmpty());
        s = file.settings();
        QCOMPARE(s.Card, qint16(0));
        QCOMPARE(s.RemoteName, QString());
        QCOMPARE(s.HostPort, 0);
        QCOMPARE(s.Log, false);
        QVERIFY(!s.linkComplete());
        QCOMPARE(s.StationName, QSysInfo::machineHostName());
    }

    // A file that is there but cannot be read is not a first start: the
    // defaults, and a message naming the file and why. A directory fails
    // even for the superuser, as the tests run in CI.
    void unreadableFileIsNamed() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sondral.ini")));
        SettingsFile file(path());
        const QStringList messages = file.load();
        const Settings s = file.settings();
        QDir(m_dir.path()).rmdir(QStringLiteral("sondral.ini"));
        // No line about the link on top: every default is already said.
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(QDir::toNativeSeparators(path())), qPrintable(messages[0]));
        QVERIFY2(messages[0].contains(QStringLiteral("het is een map")), qPrintable(messages[0]));
        QCOMPARE(s.RemoteName, QString());
    }

    // Distinct values per key catch a field read from the wrong key.
    void everyFieldFromItsKey() {
        Settings s;
        const QStringList msgs = readFile("[Audio]\nCard=1\nCardName= alsa_input.usb-1 \n"
                                          "AutoVol=11\nFeed1Vol=21\n"
                                          "Feed2Vol=22\nFeed3Vol=23\nFeed4Vol=24\nAutoTime=31\n"
                                          "Feed1Time=41\nfeed2time=42\nFEED3TIME=43\n"
                                          "Feed4time=44\nLog=1\n"
                                          "[InterPC]\nRemoteName=  studio pc  \n"
                                          "RemotePort=5001\nHostPort=5000\n"
                                          "[Station]\nName=  Radio Oost FM \n",
                                          s);
        QCOMPARE(msgs, QStringList());
        const QList<int> got{s.Card,      s.AutoVol,    s.Feed1Vol,  s.Feed2Vol,  s.Feed3Vol,
                             s.Feed4Vol,  s.Autotime,   s.Feed1time, s.Feed2time, s.Feed3time,
                             s.Feed4time, s.RemotePort, s.HostPort};
        const QList<int> want{1, 11, 21, 22, 23, 24, 31, 41, 42, 43, 44, 5001, 5000};
        QCOMPARE(got, want);
        QCOMPARE(s.CardName, QStringLiteral("alsa_input.usb-1"));
        QCOMPARE(s.Log, true);
        QCOMPARE(s.RemoteName, QStringLiteral("studio pc"));
        QCOMPARE(s.StationName, QStringLiteral("Radio Oost FM"));
        QVERIFY(s.linkComplete());
    }

    void lowerCaseFile() {
        Settings s;
        QVERIFY(readFile("[audio]\nautotime=7\n" + Link.toLower(), s).isEmpty());
        QCOMPARE(s.Autotime, qint16(7));
    }

    // One table for both widths: Card is 16-bit, read from a file; the
    // 32-bit column is the conversion itself at the full 32-bit range.
    void conversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("card"); // -99999: refused
        QTest::addColumn<qint64>("int32");
        const int bad = -99999;
        const qint64 badPort = -99999;
        QTest::newRow("plain") << "7" << 7 << qint64(7);
        QTest::newRow("blanks") << " 30 " << 30 << qint64(30);
        QTest::newRow("negative") << "-1" << -1 << qint64(-1);
        QTest::newRow("plus sign") << "+7" << 7 << qint64(7);
        QTest::newRow("leading zeros") << "007" << 7 << qint64(7);
        QTest::newRow("2.5 to even") << "2.5" << 2 << qint64(2);
        QTest::newRow("3.5 to even") << "3.5" << 4 << qint64(4);
        QTest::newRow("-2.5 to even") << "-2.5" << -2 << qint64(-2);
        QTest::newRow("0.5 to even") << "0.5" << 0 << qint64(0);
        QTest::newRow("above half") << "2.5000001" << 3 << qint64(3);
        QTest::newRow("below half") << "3.4999999" << 3 << qint64(3);
        QTest::newRow("trailing zeros") << "2.50000" << 2 << qint64(2);
        QTest::newRow("1.0") << "1.0" << 1 << qint64(1);
        QTest::newRow("no integer digits") << ".6" << 1 << qint64(1);
        QTest::newRow("no fraction digits") << "5." << 5 << qint64(5);
        QTest::newRow("16-bit max") << "32767" << 32767 << qint64(32767);
        QTest::newRow("16-bit min") << "-32768" << -32768 << qint64(-32768);
        QTest::newRow("16-bit over") << "32768" << bad << qint64(32768);
        QTest::newRow("16-bit under") << "-32769" << bad << qint64(-32769);
        QTest::newRow("rounds out of range") << "32767.5" << bad << qint64(32768);
        QTest::newRow("rounds into range") << "-32768.5" << -32768 << qint64(-32768);
        QTest::newRow("32-bit max") << "2147483647" << bad << qint64(2147483647);
        QTest::newRow("32-bit over") << "2147483648" << bad << badPort;
        QTest::newRow("32-bit min") << "-2147483648" << bad << qint64(-2147483648LL);
        QTest::newRow("huge") << "123456789012345678901234567890" << bad << badPort;
        QTest::newRow("letters") << "abc" << bad << badPort;
        QTest::newRow("trailing letters") << "12abc" << bad << badPort;
        QTest::newRow("hex") << "0x10" << bad << badPort;
        QTest::newRow("exponent") << "1e1" << bad << badPort;
        QTest::newRow("decimal comma") << "2,5" << bad << badPort;
        QTest::newRow("inner blank") << "- 5" << bad << badPort;
        QTest::newRow("sign only") << "-" << bad << badPort;
        QTest::newRow("point only") << "." << bad << badPort;
    }

    void conversion() {
        QFETCH(QString, text);
        QFETCH(int, card);
        QFETCH(qint64, int32);
        Settings s;
        const QStringList msgs = readFile("[Audio]\nCard=" + text.toLatin1() + "\n" + Link, s);
        QCOMPARE(int(s.Card), card == -99999 ? 0 : card);
        // A card number below 0 is named too, and kept.
        QCOMPARE(msgs.size(), card == -99999 || card < 0 ? 1 : 0);
        const auto n = settingsValueToInteger(text, std::numeric_limits<qint32>::min(),
                                              std::numeric_limits<qint32>::max());
        QCOMPARE(n.value_or(-99999), int32);
    }

    void logValue_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("log");
        QTest::addColumn<bool>("message");
        QTest::newRow("1") << QByteArray("1") << true << false;
        QTest::newRow("1.0") << QByteArray("1.0") << true << false;
        QTest::newRow("blanks") << QByteArray(" 1 ") << true << false;
        QTest::newRow("01") << QByteArray("01") << true << false;
        QTest::newRow("0") << QByteArray("0") << false << false;
        QTest::newRow("2") << QByteArray("2") << false << false;
        QTest::newRow("-1") << QByteArray("-1") << false << false;
        QTest::newRow("0.5 is not 1") << QByteArray("0.5") << false << false;
        QTest::newRow("1.5") << QByteArray("1.5") << false << false;
        QTest::newRow("empty") << QByteArray("") << false << false;
        QTest::newRow("abc") << QByteArray("abc") << false << true;
        QTest::newRow("true") << QByteArray("true") << false << true;
    }

    void logValue() {
        QFETCH(QByteArray, text);
        QFETCH(bool, log);
        QFETCH(bool, message);
        Settings s;
        const QStringList msgs = readFile("[Audio]\nLog=" + text + "\n" + Link, s);
        QCOMPARE(s.Log, log);
        QCOMPARE(msgs.size(), message ? 1 : 0);
    }

    void oneMessagePerBadKey() {
        Settings s;
        const QStringList msgs = readFile("[Audio]\nCard=abc\nAutoVol=50\nFeed3time=40000\n"
                                          "Log=yes\n[InterPC]\nRemoteName=x\nRemotePort=abc\n"
                                          "HostPort=5000\n",
                                          s);
        QCOMPARE(msgs,
                 QStringList({Head + "[Audio], sleutel Card: \"abc\"" + DefaultTail,
                              Head + "[Audio], sleutel Feed3time: \"40000\". Toegestaan is 0 tot "
                                     "en met 100; 100 wordt gebruikt.",
                              Head + "[Audio], sleutel Log: \"yes\"" + DefaultTail,
                              Head + "[InterPC], sleutel RemotePort: \"abc\"" + DefaultTail,
                              "De verbinding met de server staat uit: RemotePort is geen getal."}));
        QCOMPARE(s.AutoVol, qint16(50));
        QCOMPARE(s.HostPort, 5000);
        QCOMPARE(s.Feed3time, qint16(100));
    }

    void badFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("card");
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("10 MB garbage") << garbage(10 * 1024 * 1024, 7) << 0;
        QTest::newRow("binary with NUL")
            << QByteArray("\0\0\n[Audio]\nCard=3\n\0\xFF", 20).append(garbage(4096, 3)) << 3;
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Audio]\r\nCard=3\r\n") << 3;
        QTest::newRow("duplicates")
            << QByteArray("[Audio]\nCard=3\nCard=4\n[Audio]\nCard=5\n") << 3;
        QTest::newRow("keys outside any section") << QByteArray("Card=9\n[Audio]\nCard=2\n") << 2;
        QTest::newRow("only outside any section") << QByteArray("Card=9\n") << 0;
        QTest::newRow("long garbage value")
            << QByteArray("[Audio]\nCard=").append(QByteArray(100000, 'x')) << 0;
    }

    void badFiles() {
        QFETCH(QByteArray, file);
        QFETCH(int, card);
        Settings s;
        const QStringList msgs = readFile(file, s);
        QCOMPARE(int(s.Card), card);
        for (const QString& m : msgs) {
            QVERIFY2(m.size() < 200, "a message stays one readable line");
        }
    }

    // Held to 0..100, named with the value used; Card below 0 and ports
    // outside 1..65535 named and kept.
    void outOfRange_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("fields"); // AutoVol, Autotime, Feed2time, Card, RemotePort
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("linked");
        const QByteArray name = "[InterPC]\nRemoteName=x\n";
        const QString range =
            QStringLiteral(". Toegestaan is 0 tot en met 100; %1 wordt gebruikt.");
        QTest::newRow("edges pass") << "[Audio]\nAutoVol=100\nAutoTime=0\nFeed2Time=100\nCard=0\n" +
                                           name + "RemotePort=65535\nHostPort=1\n"
                                    << QList<int>{100, 0, 100, 0, 65535} << QStringList() << true;
        QTest::newRow("just past the edges")
            << "[Audio]\nAutoVol=101\nAutoTime=-1\nFeed2Time=100.5\nCard=-1\n" + name +
                   "RemotePort=65536\nHostPort=1\n"
            << QList<int>{100, 0, 100, -1, 65536}
            << QStringList{Head + "[Audio], sleutel Card: \"-1\". Een kaartnummer is 0 of hoger.",
                           Head + "[Audio], sleutel AutoVol: \"101\"" + range.arg(100),
                           Head + "[Audio], sleutel Autotime: \"-1\"" + range.arg(0),
                           Head + "[InterPC], sleutel RemotePort: \"65536\". Een poort ligt "
                                  "tussen 1 en 65535.",
                           "De verbinding met de server staat uit: RemotePort ligt niet tussen 1 "
                           "en 65535."}
            << false;
        QTest::newRow("far out, beyond 16 bits")
            << "[Audio]\nAutoVol=300\nAutoTime=-40000\nFeed2Time=99999999\n" + Link
            << QList<int>{100, 0, 100, 0, 1}
            << QStringList{Head + "[Audio], sleutel AutoVol: \"300\"" + range.arg(100),
                           Head + "[Audio], sleutel Autotime: \"-40000\"" + range.arg(0),
                           Head + "[Audio], sleutel Feed2time: \"99999999\"" + range.arg(100)}
            << true;
    }

    void outOfRange() {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, fields);
        QFETCH(QStringList, messages);
        QFETCH(bool, linked);
        Settings s;
        QCOMPARE(readFile(file, s), messages);
        QCOMPARE((QList<int>{s.AutoVol, s.Autotime, s.Feed2time, s.Card, s.RemotePort}), fields);
        QCOMPARE(s.linkComplete(), linked);
    }

    // With a file there, a link that stays off is said, with every reason.
    void linkOffReasons_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("line");
        QTest::newRow("no section at all")
            << QByteArray("[Audio]\nLog=1\n")
            << "De verbinding met de server staat uit: RemoteName is leeg, RemotePort ontbreekt en "
               "HostPort ontbreekt.";
        QTest::newRow("name of blanks")
            << QByteArray("[InterPC]\nRemoteName=  \t \nRemotePort=1\nHostPort=2\n")
            << "De verbinding met de server staat uit: RemoteName is leeg.";
        QTest::newRow("port empty")
            << QByteArray("[InterPC]\nRemoteName=x\nRemotePort=\nHostPort=2\n")
            << "De verbinding met de server staat uit: RemotePort ontbreekt.";
        QTest::newRow("port 0, as a dialog saves one never set")
            << QByteArray("[InterPC]\nRemoteName=x\nRemotePort=0\nHostPort=2\n")
            << "De verbinding met de server staat uit: RemotePort ligt niet tussen 1 en 65535.";
    }

    void linkOffReasons() {
        QFETCH(QByteArray, file);
        QFETCH(QString, line);
        Settings s;
        const QStringList msgs = readFile(file, s);
        QVERIFY(!s.linkComplete());
        QVERIFY(!msgs.isEmpty());
        QCOMPARE(msgs.last(), line);
    }

    // [Status]: off unless a port is set; a port that is not one is named
    // and leaves the page off, the monitoring untouched.
    void statusSection_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("bind");
        QTest::addColumn<QString>("line");
        const QString local = QStringLiteral("127.0.0.1");
        QTest::newRow("no section: off") << QByteArray() << 0 << local << QString();
        QTest::newRow("port and default address")
            << QByteArray("[Status]\nPort=8470\n") << 8470 << local << QString();
        QTest::newRow("every address, small letters")
            << QByteArray("[status]\nport=8470\nbind= * \n") << 8470 << "*" << QString();
        QTest::newRow("port 0 is off")
            << QByteArray("[Status]\nPort=0\n") << 0 << local << QString();
        QTest::newRow("not a number") << QByteArray("[Status]\nPort=web\n") << 0 << local
                                      << Head + "[Status], sleutel Port: \"web\"" + DefaultTail;
        QTest::newRow("above the range")
            << QByteArray("[Status]\nPort=70000\n") << 0 << local
            << Head +
                   "[Status], sleutel Port: \"70000\". Een poort ligt tussen 1 en 65535; 0 (uit) "
                   "wordt gebruikt.";
        QTest::newRow("negative")
            << QByteArray("[Status]\nPort=-1\nBind=10.0.0.5\n") << 0 << "10.0.0.5"
            << Head + "[Status], sleutel Port: \"-1\". Een poort ligt tussen 1 en 65535; 0 (uit) "
                      "wordt gebruikt.";
    }

    void statusSection() {
        QFETCH(QByteArray, section);
        QFETCH(int, port);
        QFETCH(QString, bind);
        QFETCH(QString, line);
        Settings s;
        const QStringList msgs = readFile(Link + section, s);
        QCOMPARE(s.StatusPort, port);
        QCOMPARE(s.StatusBind, bind);
        QCOMPARE(msgs, line.isEmpty() ? QStringList() : QStringList{line});
        QVERIFY(s.linkComplete());
    }

    // What the dialogs write is what start-up reads, without a second key,
    // and settings() follows each save while a copy taken at start stays.
    void dialogSaveReadsBack() {
        writeBytes(path(), "; station PC\n[Audio]\nAutotime=5\nCard=0\n[InterPC]\nHostPort=1\n");
        SettingsFile file(path());
        file.load();
        const Settings atStart = file.settings();
        Settings values = atStart;
        values.Card = 1;
        values.CardName = QStringLiteral("alsa_input.usb-2");
        values.Autotime = 30;
        values.Feed2time = 12;
        values.Log = true;
        QVERIFY(file.saveAudio(values, SettingsFile::CardChoice::Save));
        QCOMPARE(file.settings().Autotime, qint16(30));
        QCOMPARE(file.settings().CardName, QStringLiteral("alsa_input.usb-2"));
        QCOMPARE(atStart.Autotime, qint16(5));

        SettingsFile next(path());
        next.load();
        const Settings s = next.settings();
        QCOMPARE(s.Card, qint16(1));
        QCOMPARE(s.CardName, QStringLiteral("alsa_input.usb-2"));
        QCOMPARE(s.Autotime, qint16(30));
        QCOMPARE(s.Feed2time, qint16(12));
        QCOMPARE(s.Log, true);
        QCOMPARE(s.HostPort, 1);
        const QByteArray bytes = readBytes(path());
        QCOMPARE(bytes.toLower().count("autotime"), 1);
        QVERIFY(bytes.startsWith("; station PC\n[Audio]\n"));
    }

    // [Notify]: texts as written, numbers with their own defaults and ranges.
    void notifyKeys_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QList<int>>("numbers"); // HeartbeatSeconds, RepeatMinutes, RestoreTime
        QTest::addColumn<bool>("logRestore");
        QTest::addColumn<QStringList>("messages");
        const QString head = Head + "[Notify], sleutel ";
        QTest::newRow("missing") << QByteArray() << QList<int>{60, 0, 3} << false << QStringList();
        QTest::newRow("all set") << QByteArray("HeartbeatSeconds=30\nRepeatMinutes=15\n"
                                               "RestoreTime=10\nLogRestore=1\n")
                                 << QList<int>{30, 15, 10} << true << QStringList();
        QTest::newRow("not numbers")
            << QByteArray("HeartbeatSeconds=often\nRestoreTime=3s\n") << QList<int>{60, 0, 3}
            << false
            << QStringList{head + "HeartbeatSeconds: \"often\". De standaardwaarde 60 wordt "
                                  "gebruikt.",
                           head + "RestoreTime: \"3s\". De standaardwaarde 3 wordt gebruikt."};
        // A restore time of 0 would end every outage on its first loud second.
        QTest::newRow("out of range")
            << QByteArray("HeartbeatSeconds=1\nRepeatMinutes=-5\nRestoreTime=0\n")
            << QList<int>{5, 0, 1} << false
            << QStringList{head + "HeartbeatSeconds: \"1\". Toegestaan is 5 tot en met 86400; 5 "
                                  "wordt gebruikt.",
                           head + "RepeatMinutes: \"-5\". Toegestaan is 0 tot en met 10080; 0 "
                                  "wordt gebruikt.",
                           head + "RestoreTime: \"0\". Toegestaan is 1 tot en met 3600; 1 "
                                  "wordt gebruikt."};
    }

    void notifyKeys() {
        QFETCH(QByteArray, section);
        QFETCH(QList<int>, numbers);
        QFETCH(bool, logRestore);
        QFETCH(QStringList, messages);
        Settings s;
        QCOMPARE(readFile(Link +
                              "[Notify]\nCommand= mail -s \"Dead air\" ops@example.org \n"
                              "Url=https://hooks.example/x\nToken=abc\n"
                              "Heartbeat=https://hc.example/ping/1\n" +
                              section,
                          s),
                 messages);
        QCOMPARE((QList<int>{s.HeartbeatSeconds, s.RepeatMinutes, s.RestoreTime}), numbers);
        QCOMPARE(s.LogRestore, logRestore);
        QCOMPARE(s.NotifyCommand, QStringLiteral("mail -s \"Dead air\" ops@example.org"));
        QCOMPARE(s.NotifyUrl, QStringLiteral("https://hooks.example/x"));
        QCOMPARE(s.NotifyToken, QStringLiteral("abc"));
        QCOMPARE(s.HeartbeatUrl, QStringLiteral("https://hc.example/ping/1"));
    }

    // The dialogs write their own section and keep [Notify] and [Station] as
    // they stand.
    void dialogsKeepOtherSections() {
        const QByteArray others = "[Station]\nName=Oost\n[Notify]\nCommand=/bin/true # x\n"
                                  "RepeatMinutes=5\n";
        writeBytes(path(), others + Link);
        SettingsFile file(path());
        file.load();
        QVERIFY(file.saveAudio(file.settings(), SettingsFile::CardChoice::Save));
        QVERIFY(file.saveLink({QStringLiteral("y"), QStringLiteral("3"), QStringLiteral("4")}));
        QVERIFY(readBytes(path()).startsWith(others));
        SettingsFile next(path());
        next.load();
        QCOMPARE(next.settings().NotifyCommand, QStringLiteral("/bin/true # x"));
        QCOMPARE(next.settings().RepeatMinutes, 5);
    }

    // The link's texts go in as typed; settings() then holds what a start
    // would make of them.
    void linkSaveReadsBackAsAStartWould() {
        writeBytes(path(), utf16File(QStringLiteral("[InterPC]\r\nRemoteName=old\r\n")));
        SettingsFile file(path());
        file.load();
        QVERIFY(file.saveLink(
            {QStringLiteral(" studio "), QStringLiteral("abc"), QStringLiteral(" 6000")}));
        QCOMPARE(file.settings().RemoteName, QStringLiteral("studio"));
        QCOMPARE(file.settings().RemotePort, 0);
        QCOMPARE(file.settings().HostPort, 6000);
        QCOMPARE(readBytes(path()),
                 utf16File(QStringLiteral("[InterPC]\r\nRemoteName= studio \r\n"
                                          "RemotePort=abc\r\nHostPort= 6000\r\n")));
    }

    // The steady-signal times and the lost channel's time: their defaults,
    // their range, and a value out of it named once.
    void steadyAndChannelTimes_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("autoFlat");
        QTest::addColumn<int>("feed4Flat");
        QTest::addColumn<int>("channelTime");
        QTest::addColumn<QString>("message");
        QTest::newRow("none set") << QByteArray() << 0 << 0 << 30 << QString();
        QTest::newRow("set") << QByteArray("[Audio]\nAutoFlat=10\nfeed4flat=3600\n"
                                           "[Notify]\nChannelTime=0\n")
                             << 10 << 3600 << 0 << QString();
        QTest::newRow("empty values") << QByteArray("[Audio]\nAutoFlat=\n[Notify]\nChannelTime=\n")
                                      << 0 << 0 << 30 << QString();
        QTest::newRow("Flat above an hour")
            << QByteArray("[Audio]\nAutoFlat=4000\n") << 3600 << 0 << 30
            << Head + "[Audio], sleutel AutoFlat: \"4000\". Toegestaan is 0 tot en met 3600; "
                      "3600 wordt gebruikt.";
        QTest::newRow("negative ChannelTime")
            << QByteArray("[Notify]\nChannelTime=-5\n") << 0 << 0 << 0
            << Head + "[Notify], sleutel ChannelTime: \"-5\". Toegestaan is 0 tot en met 3600; "
                      "0 wordt gebruikt.";
        QTest::newRow("ChannelTime not a number")
            << QByteArray("[Notify]\nChannelTime=half a minute\n") << 0 << 0 << 0
            << Head + "[Notify], sleutel ChannelTime: \"half a minute\"" + DefaultTail;
    }

    void steadyAndChannelTimes() {
        QFETCH(QByteArray, file);
        QFETCH(int, autoFlat);
        QFETCH(int, feed4Flat);
        QFETCH(int, channelTime);
        QFETCH(QString, message);
        Settings s;
        const QStringList msgs = readFile(file + Link, s);
        QCOMPARE(s.AutoFlat, qint16(autoFlat));
        QCOMPARE(s.Feed1Flat, qint16(0));
        QCOMPARE(s.Feed4Flat, qint16(feed4Flat));
        QCOMPARE(s.ChannelTime, qint16(channelTime));
        QCOMPARE(msgs, message.isEmpty() ? QStringList() : QStringList{message});
    }

    // The Audio dialog does not know the Flat keys: a save keeps them.
    void dialogSaveKeepsFlatTimes() {
        writeBytes(path(), "[Audio]\nAutoFlat=12\nFeed3Flat=7\nAutotime=5\n");
        SettingsFile file(path());
        file.load();
        Settings values = file.settings();
        values.Autotime = 9;
        QVERIFY(file.saveAudio(values, SettingsFile::CardChoice::Keep));
        QCOMPARE(file.settings().AutoFlat, qint16(12));
        SettingsFile next(path());
        next.load();
        QCOMPARE(next.settings().AutoFlat, qint16(12));
        QCOMPARE(next.settings().Feed3Flat, qint16(7));
        QCOMPARE(next.settings().Autotime, qint16(9));
    }

    // Url: read trimmed; a dialog save writes it with the other keys, clears
    // it when emptied, and never adds it to a file that had none.
    void streamUrlSavedOnlyOnceSet() {
        writeBytes(path(), "[Audio]\nCard=0\nAutotime=5\n");
        SettingsFile file(path());
        file.load();
        QVERIFY(file.settings().Url.isEmpty());
        QVERIFY(file.saveAudio(file.settings(), SettingsFile::CardChoice::Save));
        QVERIFY(!readBytes(path()).contains("Url"));

        Settings values = file.settings();
        values.Url = QStringLiteral("http://u:p@127.0.0.1:8000/live");
        QVERIFY(file.saveAudio(values, SettingsFile::CardChoice::Save));
        SettingsFile next(path());
        next.load();
        QCOMPARE(next.settings().Url, QStringLiteral("http://u:p@127.0.0.1:8000/live"));

        values.Url.clear();
        QVERIFY(next.saveAudio(values, SettingsFile::CardChoice::Save));
        QVERIFY(readBytes(path()).contains("Url=\n"));
        SettingsFile last(path());
        last.load();
        QVERIFY(last.settings().Url.isEmpty());

        writeBytes(path(), "[Audio]\nUrl=  srt://tx:9000  \n");
        SettingsFile spaced(path());
        spaced.load();
        QCOMPARE(spaced.settings().Url, QStringLiteral("srt://tx:9000"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
