#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

// Stands in for the dialogs' modal message boxes: records each message and
// returns at once, as if the operator had pressed OK. onMessage runs while
// the "box" is up, to look at the state the operator would see.
struct MessageRecorder {
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    QList<Message> messages;
    std::function<void(const Message&)> onMessage;

    auto function() {
        return [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
            messages.append({icon, title, text});
            if (onMessage)
                onMessage(messages.last());
        };
    }
};

inline const QString RestartText =
    QStringLiteral("Herstart het programma als U wijzigingen hebt aangebracht in de configuratie");
