#pragma once

#include "ui/messageboxpresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>

// Plays the operator for the queue's message boxes: messages() closes every
// box shown so far with OK, one after the other as the queue shows them,
// and returns all it has seen. onMessage runs while a box is up, to look at
// the state the operator would see.
struct MessageRecorder {
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    std::function<void(const Message&)> onMessage;

    const QList<Message>& messages() {
        while (QMessageBox* box = nextBox()) {
            m_seen << box;
            m_messages.append({box->icon(), box->windowTitle(), box->text()});
            if (onMessage)
                onMessage(m_messages.last());
            box->button(QMessageBox::Ok)->click();
        }
        return m_messages;
    }

private:
    // A box the recorder has not closed yet; a dialog's box may still wait
    // for its dialog to be shown, but exists already.
    QMessageBox* nextBox() const {
        for (QWidget* w : QApplication::allWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && !m_seen.contains(box))
                return box;
        }
        return nullptr;
    }

    QList<Message> m_messages;
    QList<QPointer<QMessageBox>> m_seen;
};

inline const QString RestartText =
    QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht in de configuratie");
