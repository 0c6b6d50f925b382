#include "settings/iniencoding.h"

namespace {

bool isLittleEndianMark(const QByteArray& b) {
    return b.size() >= 2 && quint8(b[0]) == 0xFF && quint8(b[1]) == 0xFE;
}

bool isBigEndianMark(const QByteArray& b) {
    return b.size() >= 2 && quint8(b[0]) == 0xFE && quint8(b[1]) == 0xFF;
}

// One code unit in 1 (below 0x80), 2 (below 0x800) or 3 bytes. Bytes of a
// 2- or 3-byte sequence are all 0x80 or above, so they never look like the
// ASCII bytes the line parser looks for.
void appendUnit(QByteArray& out, char16_t unit) {
    if (unit < 0x80) {
        out.append(char(unit));
    } else if (unit < 0x800) {
        out.append(char(0xC0 | (unit >> 6)));
        out.append(char(0x80 | (unit & 0x3F)));
    } else {
        out.append(char(0xE0 | (unit >> 12)));
        out.append(char(0x80 | ((unit >> 6) & 0x3F)));
        out.append(char(0x80 | (unit & 0x3F)));
    }
}

// The code unit that starts at data[i]; i moves past it. The working form
// only ever holds whole sequences (edits cut at ASCII bytes), but a stray
// byte still gives a unit of its own rather than running past the end.
char16_t nextUnit(const char* data, qsizetype size, qsizetype& i) {
    const quint8 lead = quint8(data[i]);
    const auto continuation = [&](qsizetype at) {
        return at < size && (quint8(data[at]) & 0xC0) == 0x80;
    };
    if ((lead & 0xE0) == 0xC0 && continuation(i + 1)) {
        const char16_t unit = char16_t(((lead & 0x1F) << 6) | (quint8(data[i + 1]) & 0x3F));
        i += 2;
        return unit;
    }
    if ((lead & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
        const char16_t unit = char16_t(((lead & 0x0F) << 12) | ((quint8(data[i + 1]) & 0x3F) << 6) |
                                       (quint8(data[i + 2]) & 0x3F));
        i += 3;
        return unit;
    }
    ++i;
    return lead;
}

} // namespace

IniEncoding IniEncoding::detect(const QByteArray& fileBytes, QByteArray* working) {
    IniEncoding encoding;
    const bool little = isLittleEndianMark(fileBytes);
    if (!little && !isBigEndianMark(fileBytes)) {
        *working = fileBytes;
        return encoding;
    }
    encoding.m_form = little ? Form::Utf16LittleEndian : Form::Utf16BigEndian;
    const qsizetype units = (fileBytes.size() - 2) / 2;
    if ((fileBytes.size() - 2) % 2 != 0)
        encoding.m_oddByte = fileBytes.right(1);
    working->clear();
    working->reserve(units);
    const char* d = fileBytes.constData() + 2;
    for (qsizetype i = 0; i < units; ++i) {
        const quint8 first = quint8(d[2 * i]);
        const quint8 second = quint8(d[2 * i + 1]);
        appendUnit(*working,
                   little ? char16_t(first | (second << 8)) : char16_t((first << 8) | second));
    }
    return encoding;
}

QByteArray IniEncoding::toFile(const QByteArray& working) const {
    if (m_form == Form::EightBit)
        return working;
    const bool little = m_form == Form::Utf16LittleEndian;
    QByteArray out;
    out.reserve(2 + 2 * working.size() + m_oddByte.size());
    out.append(little ? "\xFF\xFE" : "\xFE\xFF", 2);
    for (qsizetype i = 0; i < working.size();) {
        const char16_t unit = nextUnit(working.constData(), working.size(), i);
        const char low = char(unit & 0xFF);
        const char high = char(unit >> 8);
        out.append(little ? low : high);
        out.append(little ? high : low);
    }
    out.append(m_oddByte);
    return out;
}

bool IniEncoding::canHold(const QString& text) const {
    if (m_form != Form::EightBit)
        return true;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

QByteArray IniEncoding::encode(const QString& text) const {
    if (m_form == Form::EightBit)
        return text.toLatin1();
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text)
        appendUnit(out, c.unicode());
    return out;
}

QString IniEncoding::decode(const char* data, qsizetype size) const {
    if (m_form == Form::EightBit)
        return QString::fromLatin1(data, size);
    QString out;
    out.reserve(size);
    for (qsizetype i = 0; i < size;)
        out.append(QChar(nextUnit(data, size, i)));
    return out;
}
