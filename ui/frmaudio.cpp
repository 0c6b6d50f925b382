#include "ui/frmaudio.h"

#include "settings/monitoredsources.h"
#include "settings/settingsfile.h"
#include "ui/ledspinedit.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString RestartText =
    QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht in de configuratie");

} // namespace

frmAudio::frmAudio(SettingsFile& settingsFile, std::function<CaptureDeviceList()> devices,
                   MessageBoxPresenter& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages), m_settingsFile(settingsFile),
      m_listDevices(std::move(devices)) {
    setObjectName(QStringLiteral("frmAudio"));
    makeSettingsDialogWindow(this, QStringLiteral("Audio Instellingen"));
    setFixedSize(380, 556);

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

    // A network stream in place of the card: while this holds text the card
    // is not captured, and its list says so by greying out.
    auto* urlLabel = new QLabel(QStringLiteral("Stream-URL (leeg = geluidskaart)"), this);
    m_txtUrl = new QLineEdit(this);
    m_txtUrl->setObjectName(QStringLiteral("txtUrl"));
    urlLabel->setBuddy(m_txtUrl);
    layout->addWidget(urlLabel);
    layout->addWidget(m_txtUrl);
    connect(m_txtUrl, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_cobKaart->setEnabled(text.trimmed().isEmpty()); });

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
    m_settings = m_settingsFile.settings();
    VulKaart();
    m_txtUrl->setText(m_settings.Url);

    // The saved input, when it is listed, wherever it is now; otherwise the
    // position Card. A card number naming no entry (hand-edited, or fewer
    // devices than when it was saved) shows no entry chosen; saving then
    // writes -1.
    int chosen = -1;
    if (!m_settings.CardName.isEmpty()) {
        for (qsizetype i = 0; i < m_devices.size() && chosen < 0; ++i) {
            if (QString::fromUtf8(m_devices[i].id) == m_settings.CardName)
                chosen = int(i);
        }
    }
    const int card = m_settings.Card;
    if (chosen < 0 && card >= 0 && card < m_cobKaart->count())
        chosen = card;
    m_cobKaart->setCurrentIndex(chosen);

    // Values outside 0..100 are clamped by the editors and saved clamped.
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        m_volumeEditors[i]->setValue(m_settings.*MonitoredSources[i].threshold);
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i)
        m_timeEditors[i]->setValue(m_settings.*MonitoredSources[i].timeLimit);

    m_chkLog->setChecked(m_settings.Log);
}

void frmAudio::VulKaart() {
    m_devices = m_listDevices ? m_listDevices() : CaptureDeviceList();
    // Watching a stream, a missing card is nothing to warn about.
    if (m_devices.isEmpty() && m_settings.Url.isEmpty()) {
        // The dialog is still loading; the box appears on it once it shows.
        m_messages.post({QMessageBox::Critical,
                         QStringLiteral("Foutmelding"),
                         QStringLiteral("Kan geen geluidskaart vinden"),
                         Journal::Priority::Error,
                         this,
                         {}});
        return;
    }
    for (const CaptureDevice& device : m_devices)
        m_cobKaart->addItem(device.name);
}

bool frmAudio::writeAll() {
    Settings values = m_settings;
    // Without a list (no sound server) there is nothing to choose from: the
    // stored input stays, rather than becoming "none" (-1).
    auto card = SettingsFile::CardChoice::Keep;
    if (!m_devices.isEmpty()) {
        card = SettingsFile::CardChoice::Save;
        const int chosen = m_cobKaart->currentIndex();
        values.Card = qint16(chosen);
        values.CardName = chosen >= 0 ? QString::fromUtf8(m_devices[chosen].id) : QString();
    }
    for (std::size_t i = 0; i < MonitoredSources.size(); ++i) {
        values.*MonitoredSources[i].threshold = qint16(m_volumeEditors[i]->value());
        values.*MonitoredSources[i].timeLimit = qint16(m_timeEditors[i]->value());
    }
    values.Log = m_chkLog->isChecked();
    values.Url = m_txtUrl->text().trimmed();
    // One replacement of the file: all keys land or none.
    return m_settingsFile.saveAudio(values, card);
}

void frmAudio::cmdClose_Click() {
    if (!writeAll()) {
        // The file is as it was; the dialog keeps everything entered so the
        // operator can try again.
        const QString text = saveFailureText(m_settingsFile.path(), m_settingsFile.errorString());
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
