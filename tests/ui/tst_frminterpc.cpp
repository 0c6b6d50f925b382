#include "dialogtest.h"

#include "settings/filehelpers.h"
#include "ui/frminterpc.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_frmInterPC : public QObject, public DialogTest<frmInterPC> {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadsFromSettings_data();
    void loadsFromSettings();
    void missingValue_data();
    void missingValue();
    void writesAsTyped_data();
    void writesAsTyped();
    void saveLeavesAudioSection();
    void reopenedAfterSaveShowsWhatWasSaved();
    void closeButtonWritesNothing();
    void unwritableFileKeepsDialogOpen();
    void unreplaceableFileKeepsEveryKey();
    void realBoxIsWindowModalAndFocusFollowsOk();
    void escapeKeepsDialog();

private:
    // The dialog as the menu opens it, on a settings file loaded from ini.
    frmInterPC* open(const QByteArray& ini = {});
    frmInterPC* reopen();
    QLineEdit* box(const char* name) const { return m_dialog->findChild<QLineEdit*>(name); }
    void type(const QString& name, const QString& port, const QString& host) {
        box("txtRemoteName")->setText(name);
        box("txtRemotePort")->setText(port);
        box("txtHostPort")->setText(host);
    }
    void clickSave() { m_dialog->findChild<QPushButton*>("cmdExit")->click(); }
};

void tst_frmInterPC::init() {
    setUpDialog();
}

void tst_frmInterPC::cleanup() {
    tearDownDialog();
}

frmInterPC* tst_frmInterPC::open(const QByteArray& ini) {
    if (!ini.isEmpty())
        loadSettings(ini);
    return reopen();
}

frmInterPC* tst_frmInterPC::reopen() {
    m_dialog = new frmInterPC(*m_settingsFile, *m_messages);
    return m_dialog;
}

void tst_frmInterPC::loadsFromSettings_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("remoteText");
    QTest::addColumn<QString>("hostText");
    QTest::newRow("set") << QByteArray("[InterPC]\nRemoteName=playout.local\nRemotePort=5000\n"
                                       "HostPort=6000\n")
                         << "playout.local"
                         << "5000"
                         << "6000";
    QTest::newRow("never set") << QByteArray() << ""
                               << "0"
                               << "0";
    QTest::newRow("negative, blanks around the name")
        << QByteArray("[InterPC]\nRemoteName= x \nRemotePort=-12\nHostPort=65535\n") << "x"
        << "-12"
        << "65535";
}

void tst_frmInterPC::loadsFromSettings() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, name);
    QFETCH(QString, remoteText);
    QFETCH(QString, hostText);
    open(ini);
    QCOMPARE(box("txtRemoteName")->text(), name);
    QCOMPARE(box("txtRemotePort")->text(), remoteText);
    QCOMPARE(box("txtHostPort")->text(), hostText);
}

void tst_frmInterPC::missingValue_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("focused");
    QTest::newRow("all empty: first only") << ""
                                           << ""
                                           << ""
                                           << "Geef de RemoteName op"
                                           << "txtRemoteName";
    QTest::newRow("ports empty") << "playout"
                                 << ""
                                 << ""
                                 << "Geef de Remote Poort op"
                                 << "txtRemotePort";
    QTest::newRow("host port empty") << "playout"
                                     << "5000"
                                     << ""
                                     << "Geef de Host Poort op"
                                     << "txtHostPort";
    QTest::newRow("name empty, ports set") << ""
                                           << "5000"
                                           << "6000"
                                           << "Geef de RemoteName op"
                                           << "txtRemoteName";
    QTest::newRow("remote port empty, host set") << "playout"
                                                 << ""
                                                 << "6000"
                                                 << "Geef de Remote Poort op"
                                                 << "txtRemotePort";
    // A name of blanks would read back as none at all.
    QTest::newRow("name of one blank") << " "
                                       << "5000"
                                       << "6000"
                                       << "Geef de RemoteName op"
                                       << "txtRemoteName";
}

void tst_frmInterPC::missingValue() {
    QFETCH(QString, name);
    QFETCH(QString, port);
    QFETCH(QString, host);
    QFETCH(QString, text);
    QFETCH(QString, focused);
    open();
    m_dialog->show();
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    type(name, port, host);
    // Start with the focus on a box other than the one expected to get it.
    QLineEdit* elsewhere = box(focused == "txtHostPort" ? "txtRemoteName" : "txtHostPort");
    elsewhere->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), elsewhere);

    clickSave();

    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Ontbrekende gegevens"));
    QCOMPARE(m_recorder.messages()[0].text, text);
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Warning);
    QTRY_COMPARE(QApplication::focusWidget(), box(qPrintable(focused)));
    QVERIFY(!QFile::exists(m_iniPath));
    QVERIFY(!dialogGone());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(box("txtRemoteName")->text(), name);
    QCOMPARE(box("txtRemotePort")->text(), port);
    QCOMPARE(box("txtHostPort")->text(), host);
}

void tst_frmInterPC::writesAsTyped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("host");
    QTest::newRow("ordinary") << "playout.local"
                              << "5000"
                              << "6000";
    QTest::newRow("never set ports saved back") << "playout"
                                                << "0"
                                                << "0";
    QTest::newRow("blanks around the host name") << " studio "
                                                 << "5000"
                                                 << "6000";
    QTest::newRow("letters and a leading blank") << "10.0.0.2"
                                                 << "abc"
                                                 << " 6000";
}

void tst_frmInterPC::writesAsTyped() {
    QFETCH(QString, name);
    QFETCH(QString, port);
    QFETCH(QString, host);
    open();
    type(name, port, host);
    QByteArray atMessage;
    m_recorder.onMessage = [&](const MessageRecorder::Message&) { atMessage = readAll(m_iniPath); };
    clickSave();

    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Mededeling"));
    QCOMPARE(m_recorder.messages()[0].text, RestartText);
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Warning);
    const QByteArray expected = "[InterPC]\nRemoteName=" + name.toLatin1() +
                                "\nRemotePort=" + port.toLatin1() +
                                "\nHostPort=" + host.toLatin1() + "\n";
    QCOMPARE(atMessage.replace("\r\n", "\n"), expected);
    QVERIFY(dialogGone());
}

void tst_frmInterPC::saveLeavesAudioSection() {
    const QByteArray audio = "[Audio]\r\nCard=1\r\nAutoTime=30\r\n; operator note\r\n";
    open(audio + "[InterPC]\r\nremotename=old\r\nHostPort=1\r\nExtra=x\r\n");
    QCOMPARE(box("txtRemoteName")->text(), QString("old"));
    type("new", "5000", "6000");
    clickSave();
    const QByteArray after = readAll(m_iniPath);
    QVERIFY(after.startsWith(audio));
    QCOMPARE(after.toLower().count("remotename"), 1);
    QVERIFY(after.contains("Extra=x"));
    QCOMPARE(readKey("InterPC", "RemoteName"), QString("new"));
    QCOMPARE(readKey("InterPC", "RemotePort"), QString("5000"));
    QCOMPARE(readKey("InterPC", "HostPort"), QString("6000"));
}

// Reopened in the same run, the dialog shows what was saved, so a second
// Save does not write the start-up values back over it.
void tst_frmInterPC::reopenedAfterSaveShowsWhatWasSaved() {
    open("[InterPC]\nRemoteName=old\nRemotePort=1\nHostPort=2\n");
    type("studio", "5001", "5002");
    clickSave();
    QVERIFY(dialogGone());

    reopen();
    QCOMPARE(box("txtRemoteName")->text(), QString("studio"));
    QCOMPARE(box("txtRemotePort")->text(), QString("5001"));
    QCOMPARE(box("txtHostPort")->text(), QString("5002"));
    clickSave();
    QCOMPARE(readKey("InterPC", "RemoteName"), QString("studio"));
    QCOMPARE(readKey("InterPC", "HostPort"), QString("5002"));
}

void tst_frmInterPC::closeButtonWritesNothing() {
    open();
    type("playout", "5000", "6000");
    m_dialog->show();
    QVERIFY(m_dialog->close());
    QVERIFY(dialogGone());
    QVERIFY(!QFile::exists(m_iniPath));
    QVERIFY(m_recorder.messages().isEmpty());
}

void tst_frmInterPC::unwritableFileKeepsDialogOpen() {
    // A directory where the file should be: no write can succeed, not even
    // with the rights of the superuser.
    QVERIFY(QDir(m_dir->path()).mkdir("sondral.ini"));
    open();
    m_dialog->show();
    type("playout", "5000", "6000");
    clickSave();
    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Foutmelding"));
    QCOMPARE(m_recorder.messages()[0].icon, QMessageBox::Critical);
    QVERIFY(m_recorder.messages()[0].text.contains(QDir::toNativeSeparators(m_iniPath)));
    QVERIFY(!dialogGone());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(box("txtRemoteName")->text(), QString("playout"));
}

void tst_frmInterPC::unreplaceableFileKeepsEveryKey() {
    // The new name fits in the old size, the new HostPort line does not:
    // all three keys land or none.
    const QByteArray before("[InterPC]\nRemoteName=playout\nRemotePort=5000\n");
    writeFile(m_iniPath, before);
    open();
    type("studio1", "5000", "6000");
    withFileSizeLimit(before.size(), [&] {
        clickSave();
        return true;
    });
    QCOMPARE(readAll(m_iniPath), before);
    QCOMPARE(m_recorder.messages().size(), 1);
    QCOMPARE(m_recorder.messages()[0].title, QString("Foutmelding"));
    QVERIFY(!dialogGone());
}

void tst_frmInterPC::realBoxIsWindowModalAndFocusFollowsOk() {
    open();
    type("", "", "");
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
    clickSave(); // returns at once: the box runs no event loop of its own

    QMessageBox* message = m_dialog->findChild<QMessageBox*>();
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->windowTitle(), QString("Ontbrekende gegevens"));
    QCOMPARE(message->text(), QString("Geef de RemoteName op"));
    QCOMPARE(message->icon(), QMessageBox::Warning);
    QCOMPARE(message->buttons().size(), 1);
    QCOMPARE(message->windowModality(), Qt::WindowModal);
    QCOMPARE(message->parentWidget(), m_dialog.data());

    message->button(QMessageBox::Ok)->click();
    QTRY_COMPARE(QApplication::focusWidget(), box("txtRemoteName"));
    QVERIFY(!dialogGone());
}

void tst_frmInterPC::escapeKeepsDialog() {
    open();
    type("playout", "5000", "");
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
    QTest::keyClick(box("txtHostPort"), Qt::Key_Escape);
    QVERIFY(!dialogGone());
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(box("txtRemoteName")->text(), QString("playout"));
}

QTEST_MAIN(tst_frmInterPC)
#include "tst_frminterpc.moc"
