#include "ui/frmmain.h"

#include "audio/connector.h"
#include "audio/gauge.h"
#include "audio/levelmeter.h"
#include "audio/wavein.h"
#include "core/monitor.h"
#include "core/monitorports.h"
#include "platform/qteventpump.h"
#include "platform/qtticktimer.h"
#include "platform/udplink.h"
#include "settings/journal.h"
#include "settings/readsettings.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/messageboxpresenter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace {
// Client area and element geometry in pixels at 96 dpi; Qt scales them on
// high-dpi screens. Positions are fixed: resizing the window moves nothing.
constexpr int ClientWidth = 433;
constexpr int ClientHeight = 128;
constexpr int Margin = 20;
constexpr int ElementWidth = 393;
constexpr QRect LeftMeterRect{Margin, 12, ElementWidth, 17};
constexpr QRect RightMeterRect{Margin, 33, ElementWidth, 17};
constexpr QRect GaugeRect{Margin, 60, ElementWidth, 15};
constexpr QRect StatusRect{Margin, 88, ElementWidth, 24};

QFont statusFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QFontDatabase::families().contains(QStringLiteral("MS Sans Serif")))
        font.setFamily(QStringLiteral("MS Sans Serif"));
    else
        font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}
} // namespace

frmMain::frmMain(const QString& appDir, QWidget* parent)
    : QMainWindow(parent), m_appDir(appDir),
      m_iniPath(QDir(appDir).filePath(QStringLiteral("sondral.ini"))),
      m_eventLog(QDir(appDir).filePath(QStringLiteral("sondral.log"))) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Sondral"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildWindow();
    buildMenu();
    adjustSize();

    m_waveIn = new WaveIn(this);
    Connector::connect(*m_waveIn, *m_levLeft, *m_levRight);
    m_presenter = std::make_unique<MessageBoxPresenter>();
    connect(m_waveIn, &WaveIn::deviceLost, this, [this](const QString& name) {
        postMessage(
            QMessageBox::Critical, QStringLiteral("Foutmelding"),
            QStringLiteral("Geluidskaart \"%1\" levert geen geluid meer. De niveaus staan op 0, "
                           "dus stilte wordt gemeld. Sondral probeert de kaart opnieuw te openen.")
                .arg(name));
    });
    connect(m_waveIn, &WaveIn::deviceRestored, this, [this](const QString& name) {
        postMessage(QMessageBox::Information, QStringLiteral("Mededeling"),
                    QStringLiteral("Geluidskaart \"%1\" levert weer geluid.").arg(name));
    });

    m_socket = new UdpLink(this);
    m_tmrSN = new QtTickTimer(this);
    m_eventPump = std::make_unique<QtEventPump>();

    MonitorPorts ports;
    ports.status = this;
    ports.meters = this;
    ports.gauge = this;
    ports.timer = m_tmrSN;
    ports.sender = m_socket;
    ports.logger = this;
    ports.pump = m_eventPump.get();
    ports.presenter = m_presenter.get();
    m_monitor = std::make_unique<Monitor>(m_settings, ports);

    connect(m_tmrSN, &QtTickTimer::timeout, this, [this] { m_monitor->tmrSN_Timer(); });
    connect(m_socket, &UdpLink::datagramReceived, this,
            [this](const QByteArray& payload) { m_monitor->Winsock1_DataArrival(payload); });
    connect(m_socket, &UdpLink::receiveFailed, this,
            [this](int code) { m_monitor->Winsock1_Error(code); });
    connect(m_socket, &UdpLink::remoteResolveFailed, this, [this](const QString& text) {
        addFailure(text);
        if (m_startupShown)
            showStartupMessages();
    });
}

frmMain::~frmMain() {
    // The children outlive the members they report to (monitor, queue).
    m_waveIn->disconnect(this);
    m_socket->disconnect(this);
    closeDialogs();
}

void frmMain::buildWindow() {
    auto* client = new QWidget(this);
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    m_levLeft = new LevelMeter(client);
    m_levLeft->setObjectName(QStringLiteral("levLeft"));
    m_levLeft->setGeometry(LeftMeterRect);
    m_levRight = new LevelMeter(client);
    m_levRight->setObjectName(QStringLiteral("levRight"));
    m_levRight->setGeometry(RightMeterRect);
    m_barTime = new Gauge(client);
    m_barTime->setObjectName(QStringLiteral("barTime"));
    m_barTime->setGeometry(GaugeRect);
    m_lblStatus = new QLabel(client);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setGeometry(StatusRect);
    m_lblStatus->setAlignment(Qt::AlignCenter);
    m_lblStatus->setTextFormat(Qt::PlainText);
    m_lblStatus->setFont(statusFont());
}

void frmMain::buildMenu() {
    QMenuBar* bar = menuBar();
    m_mnuProg = bar->addMenu(QStringLiteral("Programma"));
    m_mnuProg->setObjectName(QStringLiteral("mnuProg"));
    m_mnuClose = m_mnuProg->addAction(QStringLiteral("Afsluiten"));
    m_mnuClose->setObjectName(QStringLiteral("mnuClose"));
    connect(m_mnuClose, &QAction::triggered, this, &frmMain::mnuClose_Click);

    m_mnuSetup = bar->addMenu(QStringLiteral("Instellingen"));
    m_mnuSetup->setObjectName(QStringLiteral("mnuSetup"));
    m_mnuAudio = m_mnuSetup->addAction(QStringLiteral("Audio"));
    m_mnuAudio->setObjectName(QStringLiteral("mnuAudio"));
    connect(m_mnuAudio, &QAction::triggered, this, &frmMain::mnuAudio_Click);
    m_mnuInterPC = m_mnuSetup->addAction(QStringLiteral("InterPC"));
    m_mnuInterPC->setObjectName(QStringLiteral("mnuInterPC"));
    connect(m_mnuInterPC, &QAction::triggered, this, &frmMain::mnuInterPC_Click);

    // "?" is a top-level item without a drop-down and without a command.
    m_mnuAbout = bar->addAction(QStringLiteral("?"));
    m_mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmMain::Form_Load() {
    m_startupProblems = ReadSettings(m_iniFile, m_iniPath, m_settings);

    const qint32 card = m_settings.Card; // widened, value unchanged
    if (m_waveIn->deviceCount() > 0) {
        if (!m_waveIn->setDeviceNumber(card)) {
            addFailure(m_waveIn->errorString());
        } else {
            m_waveIn->setCaptureParameter(2);
            if (!m_waveIn->start())
                addFailure(m_waveIn->errorString());
        }
    } else {
        // No sound server yet (a PC that starts Sondral ahead of it) or no
        // input: nothing to say now, and capture starts on Card by itself
        // once one is listed. Until then the levels read 0.
        m_waveIn->setCaptureParameter(2);
        m_waveIn->startWhenAvailable(card);
    }

    if (m_settings.linkComplete()) {
        m_socket->setRemote(m_settings.RemoteName, m_settings.RemotePort);
        if (!m_socket->bind(m_settings.HostPort))
            addFailure(m_socket->lastErrorText());
    }

    if (m_settings.Log) {
        QString error;
        if (!writeLog(QStringLiteral("Program started Up"), &error))
            addFailure(error);
    }
}

void frmMain::addFailure(const QString& text) {
    m_startupFailures << text;
}

void frmMain::postMessage(QMessageBox::Icon icon, const QString& title, const QString& text) {
    // Queued without waiting for OK: on an unattended PC nobody may click
    // for hours, and monitoring must not wait for that. The main window's
    // messages block nothing.
    m_presenter->post({icon, title, text, MessageBoxPresenter::priorityOf(icon), nullptr, {}});
}

void frmMain::showStartupMessages() {
    m_startupShown = true;
    if (!m_startupProblems.isEmpty())
        postMessage(QMessageBox::Warning, QStringLiteral("Foutmelding"),
                    m_startupProblems.join(u'\n'));
    if (!m_startupFailures.isEmpty())
        postMessage(QMessageBox::Critical, QStringLiteral("Foutmelding"),
                    m_startupFailures.join(u'\n'));
    m_startupProblems.clear();
    m_startupFailures.clear();
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool frmMain::tickRunning() const {
    return m_tmrSN->isActive();
}

void frmMain::setLevelOverrideForTesting(std::function<int(int)> levels) {
    m_levelOverride = std::move(levels);
}

void frmMain::setStatusText(const QString& text) {
    m_statusText = text;
    m_lblStatus->setText(text);
}

QString frmMain::statusText() const {
    return m_statusText;
}

int frmMain::leftLevel() {
    return m_levelOverride ? m_levelOverride(0) : m_levLeft->currentLevel();
}

int frmMain::rightLevel() {
    return m_levelOverride ? m_levelOverride(1) : m_levRight->currentLevel();
}

void frmMain::setLeftThreshold(int percent) {
    m_levLeft->setThreshold(percent);
}

void frmMain::setRightThreshold(int percent) {
    m_levRight->setThreshold(percent);
}

void frmMain::setMaximum(int maximum) {
    m_barTime->setMaximum(maximum);
}

void frmMain::setPosition(int position) {
    m_barTime->setPosition(position);
}

bool frmMain::writeLog(const QString& message, QString* error) {
    return m_eventLog.WriteLog(message, error);
}

void frmMain::mnuAudio_Click() {
    if (!m_frmAudio) {
        // The audio thread's cached list: opening never waits on the sound server.
        const WaveIn* waveIn = m_waveIn;
        m_frmAudio = new frmAudio(
            m_settings, m_iniFile, m_iniPath, [waveIn] { return waveIn->deviceNames(); },
            *m_presenter);
    }
    m_frmAudio->show();
    m_frmAudio->raise();
    m_frmAudio->activateWindow();
}

void frmMain::mnuInterPC_Click() {
    if (!m_frmInterPC) {
        m_frmInterPC = new frmInterPC(m_settings, m_iniFile, m_iniPath, *m_presenter);
    }
    m_frmInterPC->show();
    m_frmInterPC->raise();
    m_frmInterPC->activateWindow();
}

bool frmMain::endRun() {
    if (m_closed)
        return false;
    m_closed = true;
    if (m_settings.Log) {
        QString error;
        // The close always goes ahead; a line that cannot be written is only
        // reported on standard error, since no window will be left to show it.
        if (!writeLog(QStringLiteral("Program Closed"), &error))
            Journal::write(Journal::Priority::Error, error);
    }
    // Nothing may follow "Program Closed": not a tick that is in its middle
    // (a close request can arrive while a tick lets events run), not a late
    // datagram, not a message.
    m_monitor->shutDown();
    m_tmrSN->stop();
    m_presenter->shutDown();
    return true;
}

void frmMain::Form_QueryUnload() {
    if (endRun())
        m_waveIn->stop();
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    event->accept();
    // The settings dialogs have no owner; closing the main window ends the
    // whole program, so they (and their message boxes) go too. No box runs
    // an event loop of its own, so nothing of theirs is on the stack.
    closeDialogs();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void frmMain::mnuClose_Click() {
    if (!endRun())
        return;
    // Ends the run at once: no close request, so nothing is logged twice.
    closeDialogs();
    QCoreApplication::exit(0);
}

void frmMain::closeDialogs() {
    delete m_frmAudio.data();
    delete m_frmInterPC.data();
}
