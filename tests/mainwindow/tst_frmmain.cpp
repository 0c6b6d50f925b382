// The main window and the program wired around it, as the operator and the
// server see them: menus, status display, start-up with and without a link,
// and one alarm over real loopback UDP with fake levels.
#include "app/sondralapp.h"
#include "core/monitor.h"
#include "platform/udplink.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/frmmain.h"

#include "audio/gauge.h"
#include "audio/levelmeter.h"
#include "audio/wavein.h"
#include "ui/messageboxpresenter.h"

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

// A free loopback UDP port: bind to 0, read the port, release it.
quint16 freePort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

QList<QWidget*> visibleBoxes() {
    QList<QWidget*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            boxes << w;
    return boxes;
}

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                delete w;
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
        SondralApp sondral(dir.path());
        frmMain& window = sondral.window();
        sondral.Form_Load();
        window.show();
        window.mnuAudio()->trigger();
        window.mnuInterPC()->trigger();
        auto audio = QApplication::topLevelWidgets();
        frmAudio* a = nullptr;
        frmInterPC* i = nullptr;
        int audioCount = 0, linkCount = 0;
        for (QWidget* w : audio) {
            if (auto* d = qobject_cast<frmAudio*>(w))
                a = d, ++audioCount;
            if (auto* d = qobject_cast<frmInterPC*>(w))
                i = d, ++linkCount;
        }
        QVERIFY(a && i);
        QVERIFY(a->isVisible() && i->isVisible());
        QVERIFY(!a->isModal() && !i->isModal());
        QVERIFY(!a->parentWidget() && !i->parentWidget());

        // A second click raises the open dialog instead of making another.
        window.mnuAudio()->trigger();
        window.mnuInterPC()->trigger();
        audioCount = linkCount = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            audioCount += qobject_cast<frmAudio*>(w) != nullptr;
            linkCount += qobject_cast<frmInterPC*>(w) != nullptr;
        }
        QCOMPARE(audioCount, 1);
        QCOMPARE(linkCount, 1);
        QVERIFY(a->isVisible() && i->isVisible() && window.isVisible());

        // Closing the main window takes the dialogs with it.
        QPointer<QWidget> pa = a, pi = i;
        window.close();
        QVERIFY(!pa && !pi);
    }

    void statusTextReadsBackUnchanged() {
        QTemporaryDir dir;
        SondralApp sondral(dir.path());
        auto* label = sondral.window().findChild<QLabel*>(QStringLiteral("lblStatus"));
        QVERIFY(label);
        QCOMPARE(sondral.status().statusText(), QString());
        for (const QString& text : {QStringLiteral("PAUSE"), QStringLiteral("  spaced  "),
                                    QStringLiteral("<b>not html</b>"), QString()}) {
            sondral.status().setStatusText(text);
            QCOMPARE(sondral.status().statusText(), text);
            QCOMPARE(label->text(), text);
        }
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pointSizeF(), 9.75);
        QVERIFY(label->alignment() & Qt::AlignHCenter);
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

    void markersAndGaugeReachTheWidgets() {
        QTemporaryDir dir;
        SondralApp sondral(dir.path());
        frmMain& window = sondral.window();
        auto* left = window.findChild<LevelMeter*>(QStringLiteral("levLeft"));
        auto* right = window.findChild<LevelMeter*>(QStringLiteral("levRight"));
        auto* gauge = window.findChild<Gauge*>(QStringLiteral("barTime"));
        QCOMPARE(gauge->maximum(), 0); // empty before the first mode datagram
        sondral.meters().setLeftThreshold(35);
        sondral.meters().setRightThreshold(40);
        sondral.gauge().setMaximum(12);
        sondral.gauge().setPosition(5);
        QCOMPARE(left->threshold(), 35);
        QCOMPARE(right->threshold(), 40);
        QCOMPARE(gauge->maximum(), 12);
        QCOMPARE(gauge->position(), 5);
    }

    void startupAndCloseAreLogged() {
        QTemporaryDir dir;
        const quint16 host = freePort();
        writeIni(dir, QStringLiteral("[Audio]\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\n"
                                     "RemotePort=9\r\nHostPort=%1\r\n")
                          .arg(host)
                          .toLatin1());
        {
            SondralApp sondral(dir.path());
            frmMain& window = sondral.window();
            sondral.Form_Load();
            window.show();
            QCOMPARE(logMessages(dir), QStringList{"Program started Up"});
            window.close();
            window.close(); // a second request must not log again
        }
        QCOMPARE(logMessages(dir), (QStringList{"Program started Up", "Program Closed"}));

        // Without logging nothing is written.
        QFile::remove(dir.filePath(QStringLiteral("sondral.log")));
        writeIni(dir, "[Audio]\nLog=0\n");
        {
            SondralApp sondral(dir.path());
            sondral.Form_Load();
            sondral.window().close();
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("sondral.log"))));
    }

    void incompleteLinkBindsNoSocket() {
        QTemporaryDir dir;
        const quint16 host = freePort();
        writeIni(dir, QStringLiteral("[InterPC]\nRemoteName=127.0.0.1\nRemotePort=0\nHostPort=%1\n")
                          .arg(host)
                          .toLatin1());
        SondralApp sondral(dir.path());
        sondral.Form_Load();
        // The port is still free: nothing of ours holds it.
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, host));
        // The operator hears why.
        QCOMPARE(sondral.startupMessages(),
                 (QStringList{QStringLiteral("Ongeldige waarde in sondral.ini, sectie [InterPC], "
                                             "sleutel RemotePort: \"0\". Een poort ligt tussen 1 "
                                             "en 65535."),
                              QStringLiteral("De verbinding met de server staat uit: RemotePort "
                                             "ligt niet tussen 1 en 65535.")}));
    }

    void portInUseIsReportedAndStartupGoesOn() {
        QTemporaryDir dir;
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        writeIni(dir, QStringLiteral("[Audio]\nLog=1\n[InterPC]\nRemoteName=127.0.0.1\n"
                                     "RemotePort=9\nHostPort=%1\n")
                          .arg(holder.localPort())
                          .toLatin1());
        SondralApp sondral(dir.path());
        frmMain& window = sondral.window();
        sondral.Form_Load();
        const QString text = sondral.startupMessages().join(u'\n');
        QVERIFY2(text.contains(QString::number(holder.localPort())), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("adres al in gebruik")), qPrintable(text));
        // The rest of start-up still ran.
        QCOMPARE(logMessages(dir), QStringList{"Program started Up"});

        window.show();
        sondral.showStartupMessages();
        const auto boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        auto* box = qobject_cast<QMessageBox*>(boxes.first());
        QCOMPARE(box->windowTitle(), QStringLiteral("Foutmelding"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QVERIFY(!box->isModal());
    }

    void badValuesAreNamedAtStartup() {
        QTemporaryDir dir;
        writeIni(dir, "[InterPC]\nRemotePort=abc\n");
        SondralApp sondral(dir.path());
        frmMain& window = sondral.window();
        sondral.Form_Load();
        QCOMPARE(sondral.startupMessages(),
                 (QStringList{QStringLiteral("Ongeldige waarde in sondral.ini, sectie [InterPC], "
                                             "sleutel RemotePort: \"abc\". De standaardwaarde 0 "
                                             "wordt gebruikt."),
                              QStringLiteral("De verbinding met de server staat uit: RemoteName "
                                             "is leeg, RemotePort is geen getal en HostPort "
                                             "ontbreekt.")}));
        window.show();
        sondral.showStartupMessages();
        const auto boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(qobject_cast<QMessageBox*>(boxes.first())->icon(), QMessageBox::Warning);
    }

    // The whole road over real loopback UDP: the server's SN_AUTO in, the
    // alarm out, with fake levels standing in for silence.
    void alarmReachesTheServerOverLoopback() {
        QTemporaryDir dir;
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const quint16 host = freePort();
        writeIni(dir, QStringLiteral("[Audio]\nAutoVol=20\nAutoTime=1\nLog=1\n[InterPC]\n"
                                     "RemoteName=127.0.0.1\nRemotePort=%1\nHostPort=%2\n")
                          .arg(server.localPort())
                          .arg(host)
                          .toLatin1());
        SondralApp sondral(dir.path(), [](int) { return 0; });
        frmMain& window = sondral.window();
        sondral.Form_Load();
        window.show();
        QVERIFY(sondral.startupMessages().isEmpty());

        server.writeDatagram(QByteArray("SN_AUTO"), QHostAddress::LocalHost, host);
        QTRY_COMPARE(sondral.status().statusText(), QStringLiteral("AUTOMAAT"));
        QVERIFY(sondral.tickRunning());
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingDatagrams(), 5000);
        QCOMPARE(server.receiveDatagram().data(), QByteArray("SN_ALARM"));
        QCOMPARE(sondral.status().statusText(), QStringLiteral("SONDRAL GEACTIVEERD!"));
        QTRY_VERIFY(!sondral.tickRunning());
        QCOMPARE(logMessages(dir),
                 (QStringList{"Program started Up", "Server Running AUTO", "SONDRAL ACTIVATED"}));

        // SN_LIVE instead: nothing goes out.
        server.writeDatagram(QByteArray("SN_LIVE"), QHostAddress::LocalHost, host);
        QTRY_COMPARE(sondral.status().statusText(), QStringLiteral("LIVE"));
        QTest::qWait(2500);
        QVERIFY(!server.hasPendingDatagrams());
    }

    // A click dispatched while a tick lets pending events run, opening a
    // box: the box must not hold up that tick, and the following ticks must
    // count, so the alarm comes while the box still stands.
    void boxOpenedInsideATickLeavesMonitoringRunning() {
        QTemporaryDir dir;
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const quint16 host = freePort();
        writeIni(dir, QStringLiteral("[Audio]\nAutoVol=20\nAutoTime=2\n[InterPC]\n"
                                     "RemoteName=127.0.0.1\nRemotePort=%1\nHostPort=%2\n")
                          .arg(server.localPort())
                          .arg(host)
                          .toLatin1());
        // The levels the detector reads: silence, and a click on the link
        // dialog's save button queued from inside the first tick.
        SondralApp* running = nullptr;
        QPushButton* save = nullptr;
        bool clicked = false;
        SondralApp sondral(dir.path(), [&](int) {
            if (!clicked && save && running->monitor().inTick()) {
                clicked = true;
                // Pending when the tick processes events.
                QMetaObject::invokeMethod(save, &QPushButton::click, Qt::QueuedConnection);
            }
            return 0;
        });
        running = &sondral;
        frmMain& window = sondral.window();
        sondral.Form_Load();
        window.show();
        window.mnuInterPC()->trigger();
        frmInterPC* link = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<frmInterPC*>(w))
                link = d;
        QVERIFY(link);
        link->findChild<QLineEdit*>(QStringLiteral("txtRemoteName"))->clear();
        save = link->findChild<QPushButton*>(QStringLiteral("cmdExit"));
        // A box with an event loop of its own would hold the tick until
        // someone closes it; close it late so that such a fault fails here
        // instead of hanging.
        QTimer::singleShot(9000, &window, [&sondral] {
            if (QMessageBox* box = sondral.messages().currentBox())
                box->close();
        });

        server.writeDatagram(QByteArray("SN_AUTO"), QHostAddress::LocalHost, host);
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingDatagrams(), 12000);
        QVERIFY(clicked);
        QMessageBox* box = sondral.messages().currentBox();
        QVERIFY2(box && box->isVisible(), "the alarm came only after the box was closed");
        QCOMPARE(box->text(), QStringLiteral("Geef de RemoteName op"));
        QCOMPARE(sondral.monitor().state().SilenceCount, 3);
        QCOMPARE(server.receiveDatagram().data(), QByteArray("SN_ALARM"));
    }

    // An input that comes and goes all night leaves one box, not a pile.
    void deviceLostTwentyTimesLeavesOneBox() {
        QTemporaryDir dir;
        SondralApp sondral(dir.path());
        sondral.window().show();
        WaveIn* waveIn = &sondral.capture();
        for (int i = 0; i < 20; ++i) {
            emit waveIn->deviceLost(QStringLiteral("USB Audio"));
            emit waveIn->deviceRestored(QStringLiteral("USB Audio"));
        }
        QCoreApplication::processEvents();
        QCOMPARE(visibleBoxes().size(), 1);
        // The loss on screen and the return waiting behind it.
        QCOMPARE(sondral.messages().waiting(), 2);
        QVERIFY(
            sondral.messages().currentBox()->text().contains(QStringLiteral("geen geluid meer")));
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
