#include "audio/captureprotocol.h"

#include <QList>

#include <cctype>

namespace captureprotocol {

namespace {

QByteArray textLine(const char* keyword, const QString& text) {
    QByteArray field = text.toUtf8();
    // A name with a line end in it would split into a second message.
    field.replace('\n', ' ').replace('\r', ' ');
    return QByteArray(keyword) + ' ' + field + '\n';
}

bool toLevel(QByteArrayView field, int& out) {
    bool ok = false;
    const int value = field.toInt(&ok);
    if (!ok || value < 0 || value > 100)
        return false;
    out = value;
    return true;
}

} // namespace

QByteArray opened(const QString& deviceName) {
    return textLine("opened", deviceName);
}

QByteArray failed(const QString& reason) {
    return textLine("failed", reason);
}

QByteArray levels(int left, int right, int instantLeft, int instantRight) {
    return QByteArray("levels ") + QByteArray::number(left) + ' ' + QByteArray::number(right) +
           ' ' + QByteArray::number(instantLeft) + ' ' + QByteArray::number(instantRight) + '\n';
}

QByteArray lost(const QString& deviceName) {
    return textLine("lost", deviceName);
}

QByteArray device(const QByteArray& id, const QString& name) {
    return textLine("device", QString::fromLatin1(id.toHex()) + u' ' + name);
}

Message parse(QByteArrayView line) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype blank = line.indexOf(' ');
    const QByteArrayView keyword = blank < 0 ? line : line.first(blank);
    const QByteArrayView rest = blank < 0 ? QByteArrayView() : line.sliced(blank + 1);

    Message m;
    if (keyword == "opened" || keyword == "failed" || keyword == "lost") {
        m.kind = keyword == "opened"   ? Kind::Opened
                 : keyword == "failed" ? Kind::Failed
                                       : Kind::Lost;
        m.text = QString::fromUtf8(rest);
        return m;
    }
    if (keyword == "levels") {
        const QList<QByteArray> fields = rest.toByteArray().split(' ');
        if (fields.size() != 4 || !toLevel(fields[0], m.level[0]) ||
            !toLevel(fields[1], m.level[1]) || !toLevel(fields[2], m.instant[0]) ||
            !toLevel(fields[3], m.instant[1]))
            return {};
        m.kind = Kind::Levels;
        return m;
    }
    if (keyword == "device") {
        const qsizetype split = rest.indexOf(' ');
        const QByteArrayView hex = split < 0 ? rest : rest.first(split);
        if (hex.isEmpty() || hex.size() % 2 != 0)
            return {};
        for (char c : hex)
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return {};
        m.kind = Kind::Device;
        m.id = QByteArray::fromHex(hex.toByteArray());
        m.text = split < 0 ? QString() : QString::fromUtf8(rest.sliced(split + 1));
        return m;
    }
    return {};
}

} // namespace captureprotocol
