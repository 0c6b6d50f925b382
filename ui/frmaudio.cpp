#include "ui/frmaudio.h"

#include "settings/inifile.h"
#include "settings/monitoredsources.h"
#include "ui/ledspinedit.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString RestartText =
    QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht in de configuratie");

} // namespace

frmAudio::frmAudio(const Settings& settings, IniFile& iniFile, const QString& iniPath,
                   std::function<QStringList()> deviceNames, MessageBoxPresenter& messages,
                   QWidget* parent)
    : QDialog(parent), m_messages(messages), m_settings(settings), m_iniFile(iniFile),
      m_iniPath(iniPath), m_deviceNames(std::move(deviceNames)) {
    setObjectName(QStringLiteral("frmAudio"));
    makeSettingsDialogWindow(this, QStringLiteral("Audio Instellingen"));
    setFixedSize(380, 522);

    buildControls();
    Form_Load();
}

void frmAudio::keyPressEvent(QKeyEvent* event) {
    // Escape would reject the dialog and throw away what was entered.
    if (isCancelKey(event))
        return;
    QDialog::keyPressEvent(event);
}

void frmAudio::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);

    auto* cardRow = new QHBoxLayout;
    auto* cardLabel = new QLabel(QStringLiteral("Geluidskaart"), this);
    m_cobKaart = new QComboBox(this);
    m_cobKaart->setObjectName(QStringLiteral("cobKaart"));
    // The text part is editable but never read; typing must not add entries,
    // or positions would stop matching device numbers.
    m_cobKaart->setEditable(true);
    m_cobKaart->setInsertPolicy(QComboBox::NoInsert);
    cardLabel->setBuddy(m_cobKaart);
    cardRow->addWidget(cardLabel);
    cardRow->addWidget(m_cobKaart, 1);
    layout->addLayout(cardRow);

    for (std::size_t i = 0; i < MonitoredSources.size(); ++i) {
        const MonitoredSource& source = MonitoredSources[i];
        auto* frame = new QGroupBox(source.frameCaption, this);
        auto* frameLayout = new QHBoxLayout(frame);
        frameLayout->setContentsMargins(12, 4, 12, 6);

        auto* volume = new LedSpinEdit(frame);
        volume->setObjectName(source.thresholdEditor);
        auto* time = new LedSpinEdit(frame);
        time->setObjectName(source.timeEditor);
        m_volumeEditors[i] = volume;
        m_timeEditors[i] = time;

        frameLayout->addWidget(new QLabel(QStringLiteral("Volume"), frame));
        frameLayout->addWidget(volume);
        frameLayout->addWidget(new QLabel(QStringLiteral("%"), frame));
        frameLayout->addStretch(1);
        frameLayout->addWidget(new QLabel(QStringLiteral("Tijd"), frame));
        frameLayout->addWidget(time);
        frameLayout->addWidget(new QLabel(QStringLiteral("Sec"), frame));
        layout->addWidget(frame, 1);
    }

    m_chkLog = new QCheckBox(QStringLiteral("Log Gebeurtenissen"), this);
    m_chkLog->setObjectName(QStringLiteral("chkLog"));
    layout->addWidget(m_chkLog);

    m_cmdClose = new QPushButton(this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdClose->setIcon(QIcon(QStringLiteral(":/icons/exit-32.png")));
    m_cmdClose->setIconSize(QSize(32, 32));
    m_cmdClose->setFixedSize(48, 44);
    m_cmdClose->setToolTip(QStringLiteral("OK"));
    m_cmdClose->setAccessibleName(QStringLiteral("OK"));
    m_cmdClose->setAutoDefault(false);
    layout->addWidget(m_cmdClose, 0, Qt::AlignHCenter);
    connect(m_cmdClose, &QPushButton::clicked, this, &frmAudio::cmdClose_Click);
}

void frmAudio::Form_Load() {
    VulKaart();

    // A card number naming no entry (hand-edited, or fewer devices than when
    // it was saved) shows no entry chosen; saving then writes -1.
    const int card = m_settings.Card;
    m_cobKaart->setCurrentIndex(card >= 0 && card < m_cobKaart->count() ? card : -1);

    // Values outside 0..100 are clamped by the editors and saved clamped.
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        m_volumeEditors[i]->setValue(m_settings.*MonitoredSources[i].threshold);
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        m_timeEditors[i]->setValue(m_settings.*MonitoredSources[i].timeLimit);

    m_chkLog->setChecked(m_settings.Log);
}

void frmAudio::VulKaart() {
    const QStringList names = m_deviceNames ? m_deviceNames() : QStringList();
    if (names.isEmpty()) {
        // The dialog is still loading; the box appears on it once it shows.
        m_messages.post({QMessageBox::Critical,
                         QStringLiteral("Foutmelding"),
                         QStringLiteral("Kan geen geluidskaart vinden"),
                         Journal::Priority::Error,
                         this,
                         {}});
        return;
    }
    m_cobKaart->addItems(names);
}

bool frmAudio::writeAll() {
    // Card, the thresholds, the time limits, Log: the order of the keys in a
    // new section. One replacement of the file: all twelve land or none.
    QList<QPair<QString, QString>> keys;
    keys.append({QStringLiteral("Card"), QString::number(m_cobKaart->currentIndex())});
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        keys.append(
            {MonitoredSources[i].thresholdKey, QString::number(m_volumeEditors[i]->value())});
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        keys.append(
            {MonitoredSources[i].timeKeyWritten, QString::number(m_timeEditors[i]->value())});
    keys.append({QStringLiteral("Log"), QString::number(m_chkLog->isChecked() ? 1 : 0)});

    // The IniFile is shared with the main window and the other dialog: the
    // selection is made here, right before the write, never relied on.
    m_iniFile.selectFile(m_iniPath);
    m_iniFile.selectSection(QStringLiteral("Audio"));
    return m_iniFile.write(keys);
}

void frmAudio::cmdClose_Click() {
    if (!writeAll()) {
        // The file is as it was; the dialog keeps everything entered so the
        // operator can try again.
        const QString text = saveFailureText(m_iniPath, m_iniFile.errorString());
        m_messages.post({QMessageBox::Critical,
                         QStringLiteral("Foutmelding"),
                         text,
                         Journal::Priority::Error,
                         this,
                         {}});
        return;
    }
    // The dialog unloads once the operator has closed the message.
    m_messages.post({QMessageBox::Warning, QStringLiteral("Mededeling"), RestartText,
                     Journal::Priority::Warning, this, [this] { close(); }});
}
