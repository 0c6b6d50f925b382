#include "ui/frmmain.h"

#include "audio/connector.h"
#include "audio/gauge.h"
#include "audio/levelmeter.h"
#include "core/stationstate.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

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

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Sondral"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildWindow();
    buildMenu();
    adjustSize();
    // Nobody sees a window that is not shown yet.
    m_levLeft->setLive(false);
    m_levRight->setLive(false);
    m_barTime->setLive(false);
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
    connect(m_mnuClose, &QAction::triggered, this, &frmMain::closeChosen);

    m_mnuSetup = bar->addMenu(QStringLiteral("Instellingen"));
    m_mnuSetup->setObjectName(QStringLiteral("mnuSetup"));
    m_mnuAudio = m_mnuSetup->addAction(QStringLiteral("Audio"));
    m_mnuAudio->setObjectName(QStringLiteral("mnuAudio"));
    connect(m_mnuAudio, &QAction::triggered, this, &frmMain::audioChosen);
    m_mnuInterPC = m_mnuSetup->addAction(QStringLiteral("InterPC"));
    m_mnuInterPC->setObjectName(QStringLiteral("mnuInterPC"));
    connect(m_mnuInterPC, &QAction::triggered, this, &frmMain::interPCChosen);

    // "?" is a top-level item without a drop-down and without a command.
    m_mnuAbout = bar->addAction(QStringLiteral("?"));
    m_mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmMain::connectMeters(const WaveIn& capture) {
    Connector::connect(capture, *m_levLeft, *m_levRight);
}

void frmMain::showStation(const StationState& state) {
    // Plain text: the label must show the text exactly, never as markup.
    const QString text = state.statusText();
    if (m_lblStatus->text() != text)
        m_lblStatus->setText(text);
    m_levRight->setThreshold(state.modes.ArmedVol);
    m_levLeft->setThreshold(state.modes.ArmedVol);
    m_barTime->setMaximum(state.modes.ArmedTime);
    m_barTime->setPosition(state.gaugePosition);
}

void frmMain::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    updateWatched();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateWatched();
}

bool frmMain::eventFilter(QObject* object, QEvent* event) {
    // The window system covers and uncovers the window without a show or a
    // hide: an expose event on its native window tells.
    if (event->type() == QEvent::Expose)
        QMetaObject::invokeMethod(this, &frmMain::updateWatched, Qt::QueuedConnection);
    return QMainWindow::eventFilter(object, event);
}

void frmMain::updateWatched() {
    static const bool noDisplay = QGuiApplication::platformName() == QLatin1String("offscreen") ||
                                  QGuiApplication::platformName() == QLatin1String("minimal");
    const bool watched = !noDisplay && isVisible() && !isMinimized() && windowHandle() &&
                         windowHandle()->isExposed();
    if (watched == m_watched)
        return;
    m_watched = watched;
    m_levLeft->setLive(watched);
    m_levRight->setLive(watched);
    m_barTime->setLive(watched);
    emit watchedChanged(watched);
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_exposureFollowed && windowHandle()) {
        m_exposureFollowed = true;
        windowHandle()->installEventFilter(this);
    }
    updateWatched();
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    emit closeRequested();
    event->accept();
}
