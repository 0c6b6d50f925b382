#include "audio/devicelist.h"

int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& id, int position,
                      int countAtStart) {
    if (!id.isEmpty()) {
        const int found = int(ids.indexOf(id));
        if (found >= 0)
            return found;
    }
    const bool sameLength = countAtStart < 0 || ids.size() == countAtStart;
    if (sameLength && position >= 0 && position < ids.size())
        return position;
    return -1;
}

int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& preferredId,
                      const QByteArray& id, int position, int countAtStart) {
    if (!preferredId.isEmpty()) {
        const int found = int(ids.indexOf(preferredId));
        if (found >= 0)
            return found;
    }
    return findCaptureDevice(ids, id, position, countAtStart);
}
