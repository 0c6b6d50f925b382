#include "clips/cliprecorder.h"

#include "clips/clipfolder.h"
#include "clips/clipwriter.h"
#include "core/station.h"
#include "settings/journal.h"

#include <QMetaObject>

ClipRecorder::ClipRecorder(Station& station, const AudioRing& ring, const QString& folder,
                           QObject* parent)
    : QObject(parent), m_station(station) {
    // The writer's thread reports through this object's event queue; the
    // writer is gone before this object is, so no report outlives it.
    m_writer = std::make_unique<ClipWriter>(
        ring, ClipFolder(folder), [this](const ClipWriter::Result& result) {
            QMetaObject::invokeMethod(
                this, [this, result] { finished(result); }, Qt::QueuedConnection);
        });
}

ClipRecorder::~ClipRecorder() {
    // Clips still collecting are written now, with what they have.
    m_writer.reset();
}

void ClipRecorder::record(const StationEvent& event, const StationState& state) {
    switch (event.kind) {
    case StationEvent::Kind::AlarmRaised:
        m_writer->record(event.time, state.source());
        break;
    case StationEvent::Kind::ClipSaved:
        Journal::write(Journal::Priority::Info,
                       QStringLiteral("Alarm clip saved: %1").arg(event.text));
        break;
    default:
        break;
    }
}

void ClipRecorder::finished(const ClipWriter::Result& result) {
    if (result.saved)
        m_station.publish(StationEvent::Kind::ClipSaved, result.fileName);
    else
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("Alarm clip not saved: %1").arg(result.error));
}
