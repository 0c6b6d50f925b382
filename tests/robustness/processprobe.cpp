#include "robustness/processprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
qint64 statusField(qint64 pid, const QByteArray& name) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':')) {
            // "VmRSS:\t  12345 kB"
            const QList<QByteArray> parts = line.mid(name.size() + 1).simplified().split(' ');
            return parts.isEmpty() ? -1 : parts.first().toLongLong();
        }
    }
    return -1;
}
} // namespace

qint64 ProcessProbe::pidOfExecutable(const QString& path) {
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).symLinkTarget();
        if (!exe.isEmpty() && exe == wanted)
            return pid;
    }
    return 0;
}

qint64 ProcessProbe::residentKiB(qint64 pid) {
    return statusField(pid, "VmRSS");
}

int ProcessProbe::openDescriptors(qint64 pid) {
    QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    if (!fds.exists())
        return -1;
    return int(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

int ProcessProbe::threads(qint64 pid) {
    return int(statusField(pid, "Threads"));
}

qint64 ProcessProbe::udpDrops(quint16 port) {
    // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout
    // inode ref pointer drops", the local address ending in ":PORT" (hex).
    const QByteArray suffix = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    qint64 drops = -1;
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile f(QString::fromLatin1(table));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 13 || !fields[1].endsWith(suffix))
                continue;
            drops = qMax<qint64>(drops, 0) + fields.last().toLongLong();
        }
    }
    return drops;
}
