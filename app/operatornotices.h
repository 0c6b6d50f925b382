#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>

class MessageBoxPresenter;
struct StationEvent;
struct StationState;

// What the operator is told, as message boxes through the one queue: the
// monitor's failures, the capture input lost and back, link failures and
// lost log lines. During start-up the problems are collected and shown
// together once the window is up (showStartupMessages), so that a box
// waiting for OK never holds back start-up; afterwards each is shown as it
// comes.
class OperatorNotices : public QObject {
    Q_OBJECT
public:
    explicit OperatorNotices(MessageBoxPresenter& presenter, QObject* parent = nullptr);

    // Bad values in the settings file: one warning box.
    void addStartupProblems(const QStringList& texts);
    // A piece that could not start or failed later: with the start-up's
    // failures in one critical box, or a box of its own once start-up is
    // shown.
    void reportFailure(const QString& text);
    void showStartupMessages();

    void notice(const StationEvent& event, const StationState& state);
    void logWriteFailed(const QString& error);

private:
    void post(QMessageBox::Icon icon, const QString& title, const QString& text);

    MessageBoxPresenter& m_presenter;
    QStringList m_startupProblems; // bad values in sondral.ini (warning)
    QStringList m_startupFailures; // pieces that could not start (critical)
    bool m_startupShown = false;
};
