#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The samples of a 16-bit PCM WAV file as sox writes it: the bytes of its
// "data" chunk; empty when the file is not one.
inline QByteArray wavSamples(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    qsizetype at = 12; // "RIFF" size "WAVE"
    while (at + 8 <= all.size()) {
        const QByteArray id = all.mid(at, 4);
        const quint32 size = quint32(quint8(all[at + 4])) | quint32(quint8(all[at + 5])) << 8 |
                             quint32(quint8(all[at + 6])) << 16 |
                             quint32(quint8(all[at + 7])) << 24;
        if (id == "data")
            return all.mid(at + 8, qsizetype(size));
        at += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}
