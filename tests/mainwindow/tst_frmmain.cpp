// The main window and the program wired around it, as the operator and the
// server see them: menus, what the window shows of the station, start-up
// with and without a link, and alarms over real loopback UDP. No sound
// server is reachable here, so the capture reads silence.
#include "app/sondralapp.h"
#include "audio/gauge.h"
#include "audio/levelmeter.h"
#include "core/stationstate.h"
#include "support/udpports.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/frmmain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {

void writeIni(const QTemporaryDir& dir, const QByteArray& text) {
    QFile file(dir.filePath(QStringLiteral("sondral.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QStringList logMessages(const QTemporaryDir& dir) {
    QFile file(dir.filePath(QStringLiteral("sondral.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList messages;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        // "dd/mm/yyyy  hh:mm:ss  message\r"
        messages << QString::fromLatin1(line.mid(22).chopped(line.endsWith('\r') ? 1 : 0));
    }
    return messages;
}

QList<QMessageBox*> visibleBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes << box;
    return boxes;
}

template <typename T> T* topLevel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w))
            return t;
    return nullptr;
}

// A whole run in a directory of the test's own, started as main() starts it.
struct Run {
    explicit Run(const QTemporaryDir& dir) : app(std::make_unique<SondralApp>(dir.path())) {
        app->start(false);
        window = topLevel<frmMain>();
    }
    QString status() const { return window->findChild<QLabel*>("lblStatus")->text(); }
    void choose(const char* action) { window->findChild<QAction*>(action)->trigger(); }

    std::unique_ptr<SondralApp> app;
    frmMain* window = nullptr;
};

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Levels of silence: no capture can reach a sound server.
        QVERIFY(qgetenv("PULSE_SERVER") == "unix:/nonexistent/sondral-test");
    }
    void cleanup() {
        for (QWidget* w : QApplication::allWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->deleteLater();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void menusHaveTheirTextsAndStructure() {
        frmMain window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Sondral"));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);

        const QList<QAction*> top = window.menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("Programma"));
        QCOMPARE(top[1]->text(), QStringLiteral("Instellingen"));
        QCOMPARE(top[2]->text(), QStringLiteral("?"));
        QVERIFY(top[0]->menu());
        QVERIFY(top[1]->menu());
        QVERIFY(!top[2]->menu());
        QCOMPARE(top[0]->menu()->actions().size(), 1);
        QCOMPARE(top[0]->menu()->actions()[0]->text(), QStringLiteral("Afsluiten"));
        QCOMPARE(top[1]->menu()->actions().size(), 2);
        QCOMPARE(top[1]->menu()->actions()[0]->text(), QStringLiteral("Audio"));
        QCOMPARE(top[1]->menu()->actions()[1]->text(), QStringLiteral("InterPC"));
        for (QAction* item : top[0]->menu()->actions() + top[1]->menu()->actions() + top) {
            QVERIFY(item->shortcut().isEmpty());
            QVERIFY(!item->isCheckable());
            QVERIFY(item->isEnabled());
        }

        // "?" has no command: nothing opens, nothing changes.
        const auto before = QApplication::topLevelWidgets().size();
        top[2]->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::topLevelWidgets().size(), before);
    }

    void dialogsOpenModelessOnceEach() {
        QTemporaryDir dir;
        Run run(dir);
        run.choose("mnuAudio");
        run.choose("mnuInterPC");
        frmAudio* a = topLevel<frmAudio>();
        frmInterPC* i = topLevel<frmInterPC>();
        QVERIFY(a && i);
        QVERIFY(a->isVisible() && i->isVisible());
        QVERIFY(!a->isModal() && !i->isModal());
        QVERIFY(!a->parentWidget() && !i->parentWidget());

        // A second click raises the open dialog instead of making another.
        run.choose("mnuAudio");
        run.choose("mnuInterPC");
        int audioCount = 0, linkCount = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            audioCount += qobject_cast<frmAudio*>(w) != nullptr;
            linkCount += qobject_cast<frmInterPC*>(w) != nullptr;
        }
        QCOMPARE(audioCount, 1);
        QCOMPARE(linkCount, 1);
        QVERIFY(a->isVisible() && i->isVisible() && run.window->isVisible());

        // Closing the main window takes the dialogs with it.
        QPointer<QWidget> pa = a, pi = i;
        run.window->close();
        QVERIFY(!pa && !pi);
    }

    // The window shows the station state it is given, the status text
    // exactly as it stands.
    void showsTheStation() {
        frmMain window;
        auto* label = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
        auto* left = window.findChild<LevelMeter*>(QStringLiteral("levLeft"));
        auto* right = window.findChild<LevelMeter*>(QStringLiteral("levRight"));
        auto* gauge = window.findChild<Gauge*>(QStringLiteral("barTime"));
        QCOMPARE(label->text(), QString());
        QCOMPARE(gauge->maximum(), 0); // empty before the first mode datagram
        QCOMPARE(label->textFormat(), Qt::PlainText);
        StationState state;
        const QList<std::pair<ShownStatus, QString>> shown{
            {{StationPhase::Paused, false}, "PAUSE"},
            {{StationPhase::Alarm, false}, "SONDRAL GEACTIVEERD!"},
            {{StationPhase::Watching, false}, "AUTOMAAT"},
            {{StationPhase::Watching, true}, ""}};
        state.modes.Mode = 2;
        for (const auto& [status, text] : shown) {
            state.shown = status;
            window.showStation(state);
            QCOMPARE(label->text(), text);
        }
        state.modes.ArmedVol = 35;
        state.modes.ArmedTime = 12;
        state.gaugePosition = 5;
        window.showStation(state);
        QCOMPARE(left->threshold(), 35);
        QCOMPARE(right->threshold(), 35);
        QCOMPARE(gauge->maximum(), 12);
        QCOMPARE(gauge->position(), 5);
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pointSizeF(), 9.75);
        QVERIFY(label->alignment() & Qt::AlignHCenter);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void resizingMovesNothing() {
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList names{"levLeft", "levRight", "barTime", "lblStatus"};
        QList<QRect> before;
        for (const QString& name : names)
            before << window.findChild<QWidget*>(name)->geometry();
        QCOMPARE(before[0].height(), 17);
        QCOMPARE(before[2].height(), 15);
        window.resize(window.width() + 200, window.height() + 150);
        QCoreApplication::processEvents();
        window.resize(200, 80);
        QCoreApplication::processEvents();
        for (int k = 0; k < names.size(); ++k)
            QCOMPARE(window.findChild<QWidget*>(names[k])->geometry(), before[k]);
    }

    void startupAndCloseAreLogged() {
        QTemporaryDir dir;
        const quint16 host = UdpPorts::freePort();
        writeIni(dir, QStringLiteral("[Audio]\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\n"
                                     "RemotePort=9\r\nHostPort=%1\r\n")
                          .arg(host)
                          .toLatin1());
        {
            Run run(dir);
            QCOMPARE(logMessages(dir), QStringList{"Program started Up"});
            QVERIFY(visibleBoxes().isEmpty());
            run.window->close();
            run.window->close(); // a second request must not log again
        }
        QCOMPARE(logMessages(dir), (QStringList{"Program started Up", "Program Closed"}));

        // Without logging nothing is written.
        QFile::remove(dir.filePath(QStringLiteral("sondral.log")));
        writeIni(dir, "[Audio]\nLog=0\n");
        {
            Run run(dir);
            run.window->close();
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("sondral.log"))));
    }

    void incompleteLinkBindsNoSocket() {
        QTemporaryDir dir;
        const quint16 host = UdpPorts::freePort();
        writeIni(dir, QStringLiteral("[InterPC]\nRemoteName=127.0.0.1\nRemotePort=0\nHostPort=%1\n")
                          .arg(host)
                          .toLatin1());
        Run run(dir);
        // The port is still free: nothing of ours holds it.
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, host));
        // The operator hears why.
        const auto boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->text(),
                 QStringLiteral("Ongeldige waarde in sondral.ini, sectie [InterPC], sleutel "
                                "RemotePort: \"0\". Een poort ligt tussen 1 en 65535.\n"
                                "De verbinding met de server staat uit: RemotePort ligt niet "
                                "tussen 1 en 65535."));
    }

    void portInUseIsReportedAndStartupGoesOn() {
        QTemporaryDir dir;
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        writeIni(dir, QStringLiteral("[Audio]\nLog=1\n[InterPC]\nRemoteName=127.0.0.1\n"
                                     "RemotePort=9\nHostPort=%1\n")
                          .arg(holder.localPort())
                          .toLatin1());
        Run run(dir);
        // The rest of start-up still ran.
        QCOMPARE(logMessages(dir), QStringList{"Program started Up"});
        const auto boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QMessageBox* box = boxes.first();
        QVERIFY2(box->text().contains(QString::number(holder.localPort())),
                 qPrintable(box->text()));
        QVERIFY2(box->text().contains(QStringLiteral("adres al in gebruik")),
                 qPrintable(box->text()));
        QCOMPARE(box->windowTitle(), QStringLiteral("Foutmelding"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QVERIFY(!box->isModal());
    }

    void badValuesAreNamedAtStartup() {
        QTemporaryDir dir;
        writeIni(dir, "[InterPC]\nRemotePort=abc\n");
        Run run(dir);
        const auto boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->icon(), QMessageBox::Warning);
        QCOMPARE(boxes.first()->text(),
                 QStringLiteral("Ongeldige waarde in sondral.ini, sectie [InterPC], "
                                "sleutel RemotePort: \"abc\". De standaardwaarde 0 "
                                "wordt gebruikt.\n"
                                "De verbinding met de server staat uit: RemoteName is leeg, "
                                "RemotePort is geen getal en HostPort ontbreekt."));
    }

    // The whole road over real loopback UDP: the server's SN_AUTO in, the
    // alarm out, the status and the log.
    void alarmReachesTheServerOverLoopback() {
        QTemporaryDir dir;
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const quint16 host = UdpPorts::freePort();
        writeIni(dir, QStringLiteral("[Audio]\nAutoVol=20\nAutoTime=1\nLog=1\n[InterPC]\n"
                                     "RemoteName=127.0.0.1\nRemotePort=%1\nHostPort=%2\n")
                          .arg(server.localPort())
                          .arg(host)
                          .toLatin1());
        Run run(dir);
        QVERIFY(visibleBoxes().isEmpty());

        server.writeDatagram(QByteArray("SN_AUTO"), QHostAddress::LocalHost, host);
        QTRY_COMPARE(run.status(), QStringLiteral("AUTOMAAT"));
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingDatagrams(), 5000);
        QCOMPARE(server.receiveDatagram().data(), QByteArray("SN_ALARM"));
        QCOMPARE(run.status(), QStringLiteral("SONDRAL GEACTIVEERD!"));
        QCOMPARE(logMessages(dir),
                 (QStringList{"Program started Up", "Server Running AUTO", "SONDRAL ACTIVATED"}));

        // SN_LIVE instead: nothing goes out.
        server.writeDatagram(QByteArray("SN_LIVE"), QHostAddress::LocalHost, host);
        QTRY_COMPARE(run.status(), QStringLiteral("LIVE"));
        QTest::qWait(2500);
        QVERIFY(!server.hasPendingDatagrams());
    }

    // A box standing on a dialog holds up nothing: the ticks count and the
    // alarm goes out while it waits for OK.
    void boxOnADialogLeavesMonitoringRunning() {
        QTemporaryDir dir;
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const quint16 host = UdpPorts::freePort();
        writeIni(dir, QStringLiteral("[Audio]\nAutoVol=20\nAutoTime=2\n[InterPC]\n"
                                     "RemoteName=127.0.0.1\nRemotePort=%1\nHostPort=%2\n")
                          .arg(server.localPort())
                          .arg(host)
                          .toLatin1());
        Run run(dir);
        run.choose("mnuInterPC");
        frmInterPC* link = topLevel<frmInterPC>();
        QVERIFY(link);
        link->findChild<QLineEdit*>(QStringLiteral("txtRemoteName"))->clear();
        link->findChild<QPushButton*>(QStringLiteral("cmdExit"))->click();
        QCOMPARE(visibleBoxes().size(), 1);

        server.writeDatagram(QByteArray("SN_AUTO"), QHostAddress::LocalHost, host);
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingDatagrams(), 6000);
        QCOMPARE(server.receiveDatagram().data(), QByteArray("SN_ALARM"));
        const auto boxes = visibleBoxes();
        QVERIFY2(boxes.size() == 1, "the box went before the alarm came");
        QCOMPARE(boxes.first()->text(), QStringLiteral("Geef de RemoteName op"));
    }

    // Afsluiten ends the run at once, an open dialog and its box with it.
    void closeCommandEndsTheRun() {
        QTemporaryDir dir;
        writeIni(dir, "[Audio]\nLog=1\n");
        Run run(dir);
        run.choose("mnuInterPC");
        QVERIFY(topLevel<frmInterPC>());
        QTimer::singleShot(0, run.window, [&run] { run.choose("mnuClose"); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!topLevel<frmInterPC>());
        QCOMPARE(logMessages(dir), (QStringList{"Program started Up", "Program Closed"}));
    }
};

int main(int argc, char** argv) {
    // Before any capture is made: the levels then read silence.
    qputenv("PULSE_SERVER", "unix:/nonexistent/sondral-test");
    QApplication app(argc, argv);
    tst_frmMain test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_frmmain.moc"
