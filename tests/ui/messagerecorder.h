#pragma once

#include "ui/messageboxpresenter.h"

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

// Stands in for the message boxes of the presenter's queue: records each
// message, which then counts as closed with OK. onMessage runs while the
// "box" is up, to look at the state the operator would see.
struct MessageRecorder {
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    QList<Message> messages;
    std::function<void(const Message&)> onMessage;

    auto function() {
        return [this](const OperatorMessage& message) {
            messages.append({message.icon, message.title, message.text});
            if (onMessage)
                onMessage(messages.last());
        };
    }
};

inline const QString RestartText =
    QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht in de configuratie");
