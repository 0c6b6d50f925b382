#include "settings/monitoredsources.h"

const MonitoredSource* monitoredSourceOf(qint16 mode) {
    for (const MonitoredSource& source : MonitoredSources) {
        if (source.mode == mode)
            return &source;
    }
    return nullptr;
}
