// Damaged and odd settings files through the settings reader and the real
// start-up: each gives defaults or the first occurrence, a start-up message
// that names every bad key and says when the link is off, never a crash, and
// a program that still answers the server's datagrams when its link settings
// are usable. One file of 10 MB of garbage also goes through the built
// executable. A save in a settings dialog changes what the dialogs show, not
// what the run monitors with.

#include "robustness/processprobe.h"
#include "support/serverpeer.h"
#include "support/sondralinstance.h"
#include "support/udpports.h"

#include "app/sondralapp.h"
#include "audio/levelmeter.h"
#include "settings/settingsfile.h"
#include "ui/frmaudio.h"
#include "ui/frmmain.h"
#include "ui/ledspinedit.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>

namespace {

// A literal with NUL bytes in it, all of it.
template <qsizetype N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// Random bytes, seeded, so a failure can be repeated.
QByteArray garbage(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QList<quint32> words((size + 3) / 4);
    random.fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

QByteArray link(quint16 hostPort) {
    return QStringLiteral("[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=9\r\nHostPort=%1\r\n")
        .arg(hostPort)
        .toLatin1();
}

// The text of the box standing on screen; empty when there is none.
QString startupBoxText() {
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box->text();
    return {};
}

frmMain* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<frmMain*>(w))
            return window;
    return nullptr;
}

QString statusText() {
    frmMain* window = mainWindow();
    return window ? window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text() : QString();
}

// What a Windows editor saves as "Unicode", with its byte order mark.
QByteArray utf16(const QByteArray& latin1) {
    QByteArray out("\xFF\xFE", 2);
    for (char c : latin1)
        out.append(c).append('\0');
    return out;
}

// The open Audio dialog, if any (it has no parent window).
frmAudio* audioDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<frmAudio*>(w); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TstBadSettings : public QObject {
    Q_OBJECT
private slots:
    void startsWithDefaultsAndNamesBadKeys_data();
    void startsWithDefaultsAndNamesBadKeys();
    void cleanup() {
        for (QWidget* w : QApplication::allWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->deleteLater();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void portTakenIsReportedAndMonitoringWaits();
    void aSaveChangesTheDialogsNotTheRun();
    void executableSurvivesTenMegabytesOfGarbage();
};

void TstBadSettings::startsWithDefaultsAndNamesBadKeys_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("autoVol");
    QTest::addColumn<int>("autoTime");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QStringList>("badKeys");

    // The placeholder @LINK@ becomes a usable [InterPC] section on a free port.
    const QByteArray audio = "[Audio]\r\nAutoVol=20\r\nAutoTime=5\r\nLog=0\r\n";
    QTest::newRow("empty") << QByteArray() << 0 << 0 << false << QStringList();
    QTest::newRow("only garbage") << garbage(64 * 1024, 1) << 0 << 0 << false << QStringList();
    QTest::newRow("garbage, then good sections")
        << garbage(256 * 1024, 2) + "\n" + audio + "@LINK@" << 20 << 5 << true << QStringList();
    QTest::newRow("binary bytes in values")
        << bytes("[Audio]\r\nAutoVol=3\0\xff\r\nAutoTime=\x01\x02\r\n@LINK@") << 0 << 0 << true
        << QStringList{"AutoVol", "Autotime"};
    QTest::newRow("byte-order mark before the first section")
        << "\xEF\xBB\xBF" + audio + "@LINK@" << 20 << 5 << true << QStringList();
    QTest::newRow("LF line ends") << QByteArray(audio + "@LINK@").replace("\r\n", "\n") << 20 << 5
                                  << true << QStringList();
    QTest::newRow("mixed line ends") << QByteArray("[Audio]\nAutoVol=20\r\nAutoTime=5\n@LINK@")
                                     << 20 << 5 << true << QStringList();
    QTest::newRow("duplicate sections and keys: the first counts")
        << QByteArray("[Audio]\r\nAutoVol=20\r\nAutoVol=90\r\nAutoTime=5\r\n@LINK@"
                      "[Audio]\r\nAutoVol=70\r\nAutoTime=1\r\n[InterPC]\r\nHostPort=1\r\n")
        << 20 << 5 << true << QStringList();
    QTest::newRow("keys outside any section are not read")
        << QByteArray("AutoVol=55\r\nHostPort=1\r\nRemotePort=1\r\n[Audio]\r\nAutoTime=4\r\n"
                      "@LINK@")
        << 0 << 4 << true << QStringList();
    QTest::newRow("blanks around names and values")
        << QByteArray("  [Audio]  \r\n  AutoVol  =  20  \r\n\tAutoTime\t=\t5\t\r\n"
                      "[InterPC]\r\nRemoteName =  127.0.0.1  \r\nRemotePort = 9 \r\n"
                      "HostPort = @PORT@ \r\n")
        << 20 << 5 << true << QStringList();
    QTest::newRow("far out of range")
        << QByteArray("[Audio]\r\nAutoVol=99999\r\nAutoTime=-40000\r\nFeed1Vol=1e30\r\n"
                      "[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=99999999999\r\n"
                      "HostPort=@PORT@\r\n")
        << 100 << 0 << false << QStringList{"AutoVol", "Autotime", "Feed1Vol", "RemotePort"};
    QTest::newRow("words where numbers belong")
        << QByteArray("[Audio]\r\nAutoVol=twenty\r\nAutoTime=0x10\r\nLog=yes\r\n@LINK@") << 0 << 0
        << true << QStringList{"AutoVol", "Autotime", "Log"};
    QTest::newRow("port beyond 65535: link off")
        << QByteArray("[Audio]\r\nAutoVol=20\r\nAutoTime=5\r\n[InterPC]\r\n"
                      "RemoteName=127.0.0.1\r\nRemotePort=70000\r\nHostPort=@PORT@\r\n")
        << 20 << 5 << false << QStringList{"RemotePort"};
    QTest::newRow("UTF-16 LE") << utf16(audio + "@LINK@") << 20 << 5 << true << QStringList();
}

void TstBadSettings::startsWithDefaultsAndNamesBadKeys() {
    QFETCH(QByteArray, ini);
    QFETCH(int, autoVol);
    QFETCH(int, autoTime);
    QFETCH(bool, linked);
    QFETCH(QStringList, badKeys);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 port = UdpPorts::freePort();
    QVERIFY(port > 0);
    // The placeholders stand in the file's own encoding.
    const bool wide = ini.startsWith("\xFF\xFE");
    const auto encoded = [&](const QByteArray& text) { return wide ? utf16(text).mid(2) : text; };
    ini.replace(encoded("@LINK@"), encoded(link(port)))
        .replace(encoded("@PORT@"), encoded(QByteArray::number(port)));
    writeFile(dir.filePath(QStringLiteral("sondral.ini")), ini);

    SettingsFile file(dir.filePath(QStringLiteral("sondral.ini")));
    const QStringList messages = file.load();
    QCOMPARE(int(file.settings().AutoVol), autoVol);
    QCOMPARE(int(file.settings().Autotime), autoTime);

    // One message line per bad key, each naming its key, and one saying that
    // the link is off when it is (and a file exists); nothing else.
    const bool fileThere = !ini.isEmpty() || QFile::exists(file.path());
    QCOMPARE(messages.size(), badKeys.size() + (linked || !fileThere ? 0 : 1));
    if (!linked && fileThere)
        QVERIFY2(
            messages.last().startsWith(QStringLiteral("De verbinding met de server staat uit: ")),
            qPrintable(messages.last()));
    for (const QString& key : badKeys) {
        const bool named = std::any_of(messages.cbegin(), messages.cend(), [&](const QString& m) {
            return m.contains(QStringLiteral("sleutel %1:").arg(key));
        });
        QVERIFY2(named, qPrintable(key + QStringLiteral(" not named in: ") + messages.join('|')));
    }

    // The start-up shows those lines in its box.
    SondralApp sondral(dir.path());
    sondral.start(false);
    QCOMPARE(startupBoxText(), messages.join(u'\n'));
    QUdpSocket other;
    QCOMPARE(!other.bind(QHostAddress::AnyIPv4, port), linked);
    if (!linked)
        return;
    // The link works: a keyword from any sender arrives and acts.
    QUdpSocket server;
    QCOMPARE(server.writeDatagram("SN_LIVE", QHostAddress::LocalHost, port), qint64(7));
    QTRY_COMPARE_WITH_TIMEOUT(statusText(), QStringLiteral("LIVE"), 5000);
}

void TstBadSettings::portTakenIsReportedAndMonitoringWaits() {
    // Another program holds HostPort: start-up goes on and says so.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress));
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("sondral.ini")),
              "[Audio]\r\nLog=1\r\n" + link(other.localPort()));
    SondralApp sondral(dir.path());
    sondral.start(false);
    const QString message = startupBoxText();
    QVERIFY2(message.contains(QString::number(other.localPort())), qPrintable(message));
    QVERIFY(!message.contains(u'\n'));
    // The rest of start-up ran: the start is logged.
    QFile log(dir.filePath(QStringLiteral("sondral.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("Program started Up\r\n"));
}

void TstBadSettings::aSaveChangesTheDialogsNotTheRun() {
    QTemporaryDir dir;
    const quint16 port = UdpPorts::freePort();
    writeFile(dir.filePath(QStringLiteral("sondral.ini")),
              "[Audio]\r\nAutoVol=20\r\nAutoTime=5\r\n; the station's note\r\n" + link(port));
    SondralApp sondral(dir.path());
    sondral.start(false);
    frmMain* window = mainWindow();
    QVERIFY(window);

    window->findChild<QAction*>(QStringLiteral("mnuAudio"))->trigger();
    QPointer<frmAudio> dialog = audioDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<LedSpinEdit*>(QStringLiteral("ledVolAuto"))->value(), 20);
    dialog->findChild<LedSpinEdit*>(QStringLiteral("ledVolAuto"))->setValue(60);
    dialog->findChild<QPushButton*>(QStringLiteral("cmdClose"))->click();
    // The boxes stand on the dialog, one at a time (no sound server here,
    // then the restart message); the last OK closes the dialog.
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (!dialog || !dialog->isVisible())
                return true;
            for (QMessageBox* box : dialog->findChildren<QMessageBox*>()) {
                if (box->isVisible())
                    box->button(QMessageBox::Ok)->click();
            }
            return false;
        },
        5000));

    // The run arms what it read at its start; a reopened dialog shows what
    // was saved.
    QUdpSocket server;
    server.writeDatagram("SN_AUTO", QHostAddress::LocalHost, port);
    QTRY_COMPARE(statusText(), QStringLiteral("AUTOMAAT"));
    QCOMPARE(window->findChild<LevelMeter*>(QStringLiteral("levLeft"))->threshold(), 20);
    window->findChild<QAction*>(QStringLiteral("mnuAudio"))->trigger();
    QVERIFY(audioDialog());
    QCOMPARE(audioDialog()->findChild<LedSpinEdit*>(QStringLiteral("ledVolAuto"))->value(), 60);
    QFile ini(dir.filePath(QStringLiteral("sondral.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray saved = ini.readAll();
    QVERIFY(saved.startsWith("[Audio]\r\nAutoVol=60\r\nAutoTime=5\r\n"));
    QVERIFY(saved.contains("; the station's note\r\n"));
}

void TstBadSettings::executableSurvivesTenMegabytesOfGarbage() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 port = UdpPorts::freePort();
    SondralInstance sondral(dir.path());
    sondral.writeIni(garbage(10 * 1024 * 1024, 7) +
                     "\r\n[Audio]\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\n"
                     "RemotePort=9\r\nHostPort=" +
                     QByteArray::number(port) + "\r\n");
    // No audio server at all: start-up finds no capture device and goes on.
    QProcessEnvironment noAudio;
    noAudio.insert(QStringLiteral("PULSE_SERVER"), dir.filePath(QStringLiteral("no-server")));
    QVERIFY(sondral.start(noAudio));
    QVERIFY2(sondral.waitForMessage(QStringLiteral("Program started Up"), 0, 20000),
             qPrintable(sondral.output()));
    QUdpSocket server;
    server.writeDatagram("SN_LIVE", QHostAddress::LocalHost, port);
    QVERIFY2(sondral.waitForMessage(QStringLiteral("Server Running LIVE"), 0, 5000),
             qPrintable(sondral.output()));
    QVERIFY(sondral.terminate());
    QCOMPARE(sondral.messages(), (QStringList{QStringLiteral("Program started Up"),
                                              QStringLiteral("Server Running LIVE"),
                                              QStringLiteral("Program Closed")}));
}

int main(int argc, char** argv) {
    // In-process windows must not reach any sound server.
    qputenv("PULSE_SERVER", "unix:/nonexistent/sondral-test");
    QApplication app(argc, argv);
    TstBadSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_badsettings.moc"
