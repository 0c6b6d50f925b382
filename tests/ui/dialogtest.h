#pragma once

#include "messagerecorder.h"

#include "settings/inifile.h"

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
// the path of its sondral.ini, the IniFile the dialog writes through, and a
// message queue whose boxes a recorder closes as the operator would. The test class
// derives from QObject and from this, and calls setUpDialog() in init() and
// tearDownDialog() in cleanup().
template <typename Dialog> class DialogTest {
protected:
    void setUpDialog() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_iniPath = m_dir->filePath("sondral.ini");
        m_recorder = MessageRecorder();
        m_messages = std::make_unique<MessageBoxPresenter>();
    }

    void tearDownDialog() {
        delete m_dialog.data();
        m_messages.reset();
        m_dir.reset();
    }

    // True when the dialog has closed and deleted itself.
    bool dialogGone() {
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
    IniFile m_ini;
    MessageRecorder m_recorder;
    std::unique_ptr<MessageBoxPresenter> m_messages;
    QPointer<Dialog> m_dialog;
};
