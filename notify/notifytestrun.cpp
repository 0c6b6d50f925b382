#include "notify/notifytestrun.h"

#include "core/stationevent.h"
#include "core/stationstate.h"
#include "notify/notification.h"
#include "notify/notificationpath.h"
#include "notify/notifier.h"
#include "settings/settings.h"

#include <QTimer>

NotifyTestRun::NotifyTestRun(const Settings& settings, std::function<void(const QString&)> print,
                             QObject* parent)
    : QObject(parent), m_print(std::move(print)), m_station(settings.StationName) {
    m_notifier = std::make_unique<Notifier>(settings);
    m_notifier->setSingleAttempt();
}

NotifyTestRun::~NotifyTestRun() = default;

void NotifyTestRun::start() {
    for (const QString& line : m_notifier->problemJournalLines()) {
        m_print(QStringLiteral("FAILED  ") + line);
        ++m_failures;
    }
    const QList<NotificationPath*> paths = m_notifier->paths();
    if (paths.isEmpty()) {
        m_print(QStringLiteral("No path to test: [Notify] in sondral.ini sets no usable Command, "
                               "Url or Heartbeat."));
        QTimer::singleShot(0, this, [this] { emit finished(1); });
        return;
    }
    const StationEvent event{StationEvent::Kind::NotifyTest, QDateTime::currentDateTime(), {}, 0};
    const Notification test = Notifier::notificationFor(event, StationState{}, m_station);
    m_waiting = int(paths.size());
    m_paths = m_waiting + m_failures;
    for (NotificationPath* path : paths) {
        connect(path, &NotificationPath::finished, this,
                [this, path](bool delivered, const QString& detail) {
                    m_print((delivered ? QStringLiteral("OK      ") : QStringLiteral("FAILED  ")) +
                            path->name() + QStringLiteral(": ") + detail);
                    if (!delivered)
                        ++m_failures;
                    pathDone();
                });
        path->send(test);
    }
}

void NotifyTestRun::pathDone() {
    if (--m_waiting > 0)
        return;
    m_print(m_failures == 0 ? QStringLiteral("Every path delivered the test.")
                            : QStringLiteral("%1 of %2 paths did not deliver the test.")
                                  .arg(m_failures)
                                  .arg(m_paths));
    emit finished(m_failures == 0 ? 0 : 1);
}
