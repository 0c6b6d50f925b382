#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Notifier;
struct Settings;

// `sondral --test-notify`: one "test" notification through every path
// [Notify] sets up, each tried once, and a line for each path's result.
// Binds nothing of the monitor's, so a running Sondral beside it is not
// disturbed. finished(0) when every path delivered; 1 when one did not, a
// key could not be used, or no path is set up.
class NotifyTestRun : public QObject {
    Q_OBJECT
public:
    NotifyTestRun(const Settings& settings, std::function<void(const QString&)> print,
                  QObject* parent = nullptr);
    ~NotifyTestRun() override;

    void start();

signals:
    void finished(int exitCode);

private:
    void pathDone();

    std::unique_ptr<Notifier> m_notifier;
    std::function<void(const QString&)> m_print;
    QString m_station;
    int m_waiting = 0;
    int m_paths = 0;    // set up, usable or not
    int m_failures = 0; // unusable keys and paths that did not deliver
};
