#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CommandPath;
class HeartbeatPath;
class NotificationPath;
class WebhookPath;
struct Notification;
struct Settings;
struct StationEvent;
struct StationState;

// Tells people what happens to the station, through the paths [Notify]
// sets up (a command, a web hook, a heartbeat), from the station's events
// only: the outage's alarm and its restore, the capture input lost and
// back, one channel lost and back, the run's start and end, a test. None of it waits: every path
// queues and works on the event loop, so a receiver that hangs or a
// command that never ends holds back no tick and no datagram.
//
// While an outage lasts, each OutageRepeated (RepeatMinutes) tells of it
// again as "alarm", with the length so far.
class Notifier : public QObject {
    Q_OBJECT
public:
    explicit Notifier(const Settings& settings, QObject* parent = nullptr);
    ~Notifier() override;

    // The keys set but unusable (those paths stay off, the others work), as
    // the operator reads them at start-up (Dutch), and as the journal gets
    // them (English). An unusable URL is named by its scheme, host and port
    // only, as a usable one is: its path may be a secret.
    QStringList problemTexts() const;
    QStringList problemJournalLines() const;

    // The paths that were set up: the command, the web hook, the heartbeat.
    QList<NotificationPath*> paths() const;

    // One attempt for each notification, no retries (a test).
    void setSingleAttempt();

    // Starts the heartbeat, if any, while works() says so.
    void startHeartbeat(std::function<bool()> works);

    // Every station event, as published.
    void observe(const StationEvent& event, const StationState& state);

    // The notification an event gives (an empty event name for the kinds
    // people are not told of).
    static Notification notificationFor(const StationEvent& event, const StationState& state,
                                        const QString& station);

    // Every path has sent what it had, or timeoutMs passed: then done runs,
    // once. At once when no path waits.
    void whenIdle(int timeoutMs, std::function<void()> done);

private:
    // The key, its value as shown and why it cannot be used.
    struct Problem {
        QString key;
        QString value;
        QString reason; // English
    };

    void tell(const Notification& notification);
    bool allIdle() const;

    QString m_station;
    std::unique_ptr<CommandPath> m_command;
    std::unique_ptr<WebhookPath> m_webhook;
    std::unique_ptr<HeartbeatPath> m_heartbeat;
    QList<Problem> m_problems;
};
