#include "ui/frminterpc.h"

#include "settings/inifile.h"
#include "ui/messageboxpresenter.h"
#include "ui/windowsupport.h"

#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmInterPC::frmInterPC(const Settings& settings, IniFile& iniFile, const QString& iniPath,
                       MessageBoxPresenter& messages, QWidget* parent)
    : QDialog(parent), m_messages(messages), m_settings(settings), m_iniFile(iniFile),
      m_iniPath(iniPath) {
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
    m_txtRemoteName->setText(m_settings.RemoteName);
    m_txtRemotePort->setText(QString::number(m_settings.RemotePort));
    m_txtHostPort->setText(QString::number(m_settings.HostPort));
}

bool frmInterPC::writeAll() {
    // The IniFile is shared with the main window and the other dialog: the
    // selection is made here, right before the write, never relied on. One
    // replacement of the file: all three keys land or none.
    m_iniFile.selectFile(m_iniPath);
    m_iniFile.selectSection(QStringLiteral("InterPC"));
    return m_iniFile.write({{QStringLiteral("RemoteName"), m_txtRemoteName->text()},
                            {QStringLiteral("RemotePort"), m_txtRemotePort->text()},
                            {QStringLiteral("HostPort"), m_txtHostPort->text()}});
}

void frmInterPC::cmdExit_Click() {
    // Only the first empty box is reported; a box of blanks is not empty.
    const struct {
        QLineEdit* box;
        const char* text;
    } required[] = {
        {m_txtRemoteName, "Geef de RemoteName op"},
        {m_txtRemotePort, "Geef de Remote Poort op"},
        {m_txtHostPort, "Geef de Host Poort op"},
    };
    for (const auto& field : required) {
        if (field.box->text().isEmpty()) {
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
    m_messages.post({QMessageBox::Warning, QStringLiteral("Mededeling"),
                     QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht "
                                    "in de configuratie"),
                     Journal::Priority::Warning, this, [this] { close(); }});
}
