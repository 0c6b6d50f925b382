#pragma once

#include "settings/statefile.h"

#include <QObject>
#include <QString>

#include <memory>

// Writes sondral.state on a thread of its own, so that a disk that stalls
// (a dying drive, a hung network mount: the write syncs the file and its
// folder) never holds the UI thread, where the silence check runs. One slot,
// latest wins: a write asked for while another is on the disk replaces any
// that still waits, so at most one write waits and the file always ends as
// the station last stood.
class StateWriter : public QObject {
    Q_OBJECT
public:
    // At the end the last write gets this long to reach the disk; a disk
    // that takes longer is left to it, and the program ends anyway (the
    // previous file stays, as after a kill).
    static constexpr int finishMs = 1000;

    explicit StateWriter(const QString& path, QObject* parent = nullptr);
    ~StateWriter() override;

    void write(const StateFile::Saved& saved);

signals:
    // After each write, on the thread the writer lives in: ok, or why not.
    void written(bool ok, const QString& error);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
