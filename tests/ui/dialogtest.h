#pragma once

#include "messagerecorder.h"

#include "settings/inifile.h"
#include "settings/settingsfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// What a test of one settings dialog keeps around it: a fresh directory with
// the path of its sondral.ini, the SettingsFile the dialog reads and writes
// through, and a message queue whose boxes a recorder closes as the operator
// would. The test class
// derives from QObject and from this, and calls setUpDialog() in init() and
// tearDownDialog() in cleanup().
template <typename Dialog> class DialogTest {
protected:
    void setUpDialog() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_iniPath = m_dir->filePath("sondral.ini");
        m_settingsFile = std::make_unique<SettingsFile>(m_iniPath);
        m_recorder = MessageRecorder();
        m_messages = std::make_unique<MessageBoxPresenter>();
    }

    void tearDownDialog() {
        delete m_dialog.data();
        m_messages.reset();
        m_settingsFile.reset();
        m_dir.reset();
    }

    // The file as a start would find it, loaded as start-up loads it.
    void loadSettings(const QByteArray& ini) {
        writeFile(m_iniPath, ini);
        m_settingsFile->load();
    }

    // One key's value as the file holds it now.
    QString readKey(const QString& section, const QString& key) const {
        return IniFile(m_iniPath).read(section, key);
    }

    // True when the dialog has closed and deleted itself, once the operator
    // has answered every box shown so far.
    bool dialogGone() {
        m_recorder.messages();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_dialog.isNull();
    }

    // The file's bytes; empty when it cannot be read.
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

    static void writeFile(const QString& path, const QByteArray& data) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_iniPath;
    std::unique_ptr<SettingsFile> m_settingsFile;
    MessageRecorder m_recorder;
    std::unique_ptr<MessageBoxPresenter> m_messages;
    QPointer<Dialog> m_dialog;
};
