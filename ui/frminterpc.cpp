#include "ui/frminterpc.h"

#include "settings/settingsfile.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmInterPC::frmInterPC(SettingsFile& settingsFile, MessageBoxPresenter& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages), m_settingsFile(settingsFile) {
    setObjectName(QStringLiteral("frmInterPC"));
    makeSettingsDialogWindow(this, QStringLiteral("InterPC"));
    setFixedSize(300, 182);

    buildControls();
    Form_Load();
}

void frmInterPC::keyPressEvent(QKeyEvent* event) {
    // Escape would reject the dialog and throw away what was typed.
    if (isCancelKey(event))
        return;
    QDialog::keyPressEvent(event);
}

void frmInterPC::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 10);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    const auto addRow = [this, grid](int row, const QString& label, const QString& name,
                                     int width) {
        auto* box = new QLineEdit(this);
        box->setObjectName(name);
        box->setFixedWidth(width);
        auto* text = new QLabel(label, this);
        text->setBuddy(box);
        grid->addWidget(text, row, 0);
        grid->addWidget(box, row, 1, Qt::AlignLeft);
        return box;
    };
    m_txtRemoteName = addRow(0, QStringLiteral("RemoteNaam"), QStringLiteral("txtRemoteName"), 125);
    m_txtRemotePort = addRow(1, QStringLiteral("RemotePoort"), QStringLiteral("txtRemotePort"), 65);
    m_txtHostPort = addRow(2, QStringLiteral("HostPoort"), QStringLiteral("txtHostPort"), 65);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch(1);

    m_cmdExit = new QPushButton(this);
    m_cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_cmdExit->setIcon(QIcon(QStringLiteral(":/icons/exit-32.png")));
    m_cmdExit->setIconSize(QSize(32, 32));
    m_cmdExit->setFixedSize(48, 44);
    m_cmdExit->setToolTip(QStringLiteral("OK"));
    m_cmdExit->setAccessibleName(QStringLiteral("OK"));
    m_cmdExit->setAutoDefault(false);
    layout->addWidget(m_cmdExit, 0, Qt::AlignHCenter);
    connect(m_cmdExit, &QPushButton::clicked, this, &frmInterPC::cmdExit_Click);
}

void frmInterPC::Form_Load() {
    const Settings& settings = m_settingsFile.settings();
    m_txtRemoteName->setText(settings.RemoteName);
    m_txtRemotePort->setText(QString::number(settings.RemotePort));
    m_txtHostPort->setText(QString::number(settings.HostPort));
}

bool frmInterPC::writeAll() {
    // One replacement of the file: all three keys land or none.
    return m_settingsFile.saveLink(
        {m_txtRemoteName->text(), m_txtRemotePort->text(), m_txtHostPort->text()});
}

void frmInterPC::cmdExit_Click() {
    // Only the first empty box is reported. A host name of blanks would read
    // back as no name at all, so it counts as empty; the port boxes are
    // taken as typed.
    const struct {
        QLineEdit* box;
        const char* text;
        bool blanksAreEmpty;
    } required[] = {
        {m_txtRemoteName, "Geef de RemoteName op", true},
        {m_txtRemotePort, "Geef de Remote Poort op", false},
        {m_txtHostPort, "Geef de Host Poort op", false},
    };
    for (const auto& field : required) {
        const QString text = field.box->text();
        if (text.isEmpty() || (field.blanksAreEmpty && text.trimmed().isEmpty())) {
            // The focus moves once the operator has closed the message.
            QLineEdit* box = field.box;
            m_messages.post({QMessageBox::Warning, QStringLiteral("Ontbrekende gegevens"),
                             QString::fromLatin1(field.text), Journal::Priority::Warning, this,
                             [box] { box->setFocus(Qt::OtherFocusReason); }});
            return;
        }
    }

    if (!writeAll()) {
        // The file is as it was; the dialog keeps everything typed so the
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
    m_messages.post({QMessageBox::Warning, QStringLiteral("Mededeling"),
                     QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht "
                                    "in de configuratie"),
                     Journal::Priority::Warning, this, [this] { close(); }});
}
