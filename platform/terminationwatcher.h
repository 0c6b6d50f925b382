#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a shutdown, a logout, Ctrl-C) into a Qt
// signal on the UI thread, so that they close the main window like its close
// button does and "Program Closed" is still logged. The signal handler only
// writes one byte to a pipe; everything else happens in the event loop.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
