#pragma once

#include "clips/clipwriter.h"

#include <QObject>
#include <QString>

#include <memory>

class AudioRing;
class Station;
struct StationEvent;
struct StationState;

// Keeps the sound of each alarm: a reader of the station's events that
// hands every alarm decided (AlarmRaised, once per alarm, its datagram sent
// or not) to a ClipWriter. When a clip is on
// disk it publishes ClipSaved with the file's name; the journal gets an
// informational line for it, and a warning for a clip that could not be
// written. Monitoring never waits for any of it.
class ClipRecorder : public QObject {
    Q_OBJECT
public:
    // folder: where the clips go (created on the first one).
    ClipRecorder(Station& station, const AudioRing& ring, const QString& folder,
                 QObject* parent = nullptr);
    ~ClipRecorder() override;

    void record(const StationEvent& event, const StationState& state);

private:
    void finished(const ClipWriter::Result& result);

    Station& m_station;
    std::unique_ptr<ClipWriter> m_writer;
};
