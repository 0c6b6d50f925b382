#include "settings/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace {

// Blanks around names and values: ASCII white space only, so that bytes
// above 0x7F (letters in Latin-1) are never trimmed away.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Letter case folding on Latin-1 bytes: A-Z and the accented capitals
// 0xC0-0xDE (except the multiplication sign 0xD7) map to their small forms.
unsigned char fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned char>(c + 32);
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<unsigned char>(c + 32);
    }
    return c;
}

QByteArray foldedName(const QByteArray& name) {
    QByteArray out = name;
    for (char& c : out) {
        c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    }
    return out;
}

bool sameName(const char* text, qsizetype length, const QByteArray& foldedTarget) {
    if (length != foldedTarget.size()) {
        return false;
    }
    for (qsizetype i = 0; i < length; ++i) {
        if (fold(static_cast<unsigned char>(text[i])) !=
            static_cast<unsigned char>(foldedTarget[i])) {
            return false;
        }
    }
    return true;
}

// True when every character of the text fits one Latin-1 byte.
bool isLatin1(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            return false;
        }
    }
    return true;
}

bool hasControl(const QString& text, bool allowTab) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 && !(allowTab && c == QLatin1Char('\t'))) {
            return true;
        }
        if (c.unicode() == 0x7F) {
            return true;
        }
    }
    return false;
}

const QByteArray utf8Bom("\xEF\xBB\xBF");

// Where one section and one key stand in the file's bytes. With duplicate
// sections only the first occurrence of the section counts, and within it
// only the first occurrence of the key; later duplicates are neither read
// nor written, but kept as they are.
struct Scan {
    qsizetype bodyStart = 0; // after a UTF-8 byte order mark, if any
    bool sectionFound = false;
    // Where a new key of the section goes: just after the section's last key
    // line, or after its header when it has no keys yet.
    qsizetype insertPos = 0;
    bool keyFound = false;
    qsizetype lineStart = 0; // the key's line
    qsizetype nameStart = 0;
    qsizetype nameEnd = 0;
    qsizetype valueStart = 0; // first non-blank after "="
    qsizetype valueEnd = 0;   // after the last non-blank of the line
    // The line end of the file's first line, used for lines a write adds.
    QByteArray eol = "\n";
};

// One pass over the file. An empty section names the keys before the first
// section header. Lines are: blank; a comment (";" or "#" first); a section
// header ("[" name "]", anything after "]" ignored); a key line (name "="
// value, split at the first "="); anything else is ignored.
Scan scan(const QByteArray& data, const QByteArray& section, const QByteArray& key) {
    Scan s;
    const char* d = data.constData();
    const qsizetype size = data.size();
    if (data.startsWith(utf8Bom)) {
        s.bodyStart = utf8Bom.size();
    }
    bool inTarget = section.isEmpty();
    if (inTarget) {
        s.sectionFound = true;
        s.insertPos = s.bodyStart;
    }
    bool eolSeen = false;
    qsizetype pos = s.bodyStart;
    while (pos < size) {
        const void* nlp = std::memchr(d + pos, '\n', static_cast<size_t>(size - pos));
        const qsizetype lineEnd = nlp ? static_cast<const char*>(nlp) - d : size;
        const qsizetype termEnd = nlp ? lineEnd + 1 : size;
        if (nlp && !eolSeen) {
            eolSeen = true;
            s.eol = (lineEnd > pos && d[lineEnd - 1] == '\r') ? QByteArray("\r\n") : "\n";
        }
        qsizetype b = pos;
        qsizetype e = lineEnd;
        while (b < e && isBlank(d[b])) {
            ++b;
        }
        while (e > b && isBlank(d[e - 1])) {
            --e;
        }
        if (b < e && d[b] == '[') {
            const void* close = std::memchr(d + b + 1, ']', static_cast<size_t>(e - b - 1));
            if (close) {
                if (inTarget) {
                    break; // the section in question ends here
                }
                if (!s.sectionFound) {
                    qsizetype nb = b + 1;
                    qsizetype ne = static_cast<const char*>(close) - d;
                    while (nb < ne && isBlank(d[nb])) {
                        ++nb;
                    }
                    while (ne > nb && isBlank(d[ne - 1])) {
                        --ne;
                    }
                    if (sameName(d + nb, ne - nb, section)) {
                        s.sectionFound = true;
                        s.insertPos = termEnd;
                        inTarget = true;
                    }
                }
            }
        } else if (inTarget && b < e && d[b] != ';' && d[b] != '#') {
            const void* eqp = std::memchr(d + b, '=', static_cast<size_t>(e - b));
            if (eqp) {
                const qsizetype eq = static_cast<const char*>(eqp) - d;
                qsizetype ne = eq;
                while (ne > b && isBlank(d[ne - 1])) {
                    --ne;
                }
                if (ne > b) {
                    s.insertPos = termEnd;
                    if (!s.keyFound && sameName(d + b, ne - b, key)) {
                        s.keyFound = true;
                        s.lineStart = pos;
                        s.nameStart = b;
                        s.nameEnd = ne;
                        qsizetype vb = eq + 1;
                        while (vb < e && isBlank(d[vb])) {
                            ++vb;
                        }
                        s.valueStart = vb;
                        s.valueEnd = e;
                    }
                }
            }
        }
        pos = termEnd;
    }
    return s;
}

} // namespace

void IniFile::selectFile(const QString& path) {
    m_path = path;
}

void IniFile::selectSection(const QString& section) {
    m_section = section.trimmed();
}

IniFile::Load IniFile::load(QByteArray& data, QString* reason) const {
    data.clear();
    if (m_path.isEmpty()) {
        *reason = QStringLiteral("geen bestand gekozen");
        return Load::Failed;
    }
    const QFileInfo info(m_path);
    if (!info.exists()) {
        return Load::Missing;
    }
    // A directory, a pipe or a device is never opened: reading a pipe could
    // block for ever.
    if (info.isDir()) {
        *reason = QStringLiteral("het is een map");
        return Load::Failed;
    }
    if (!info.isFile()) {
        *reason = QStringLiteral("het is geen gewoon bestand");
        return Load::Failed;
    }
    if (info.size() > MaxFileSize) {
        *reason = QStringLiteral("het bestand is groter dan %1 bytes").arg(MaxFileSize);
        return Load::Failed;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return Load::Failed;
    }
    // The size was checked above; read(MaxFileSize + 1) would reserve the
    // whole limit for every key read, however small the file.
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        data.clear();
        return Load::Failed;
    }
    if (data.size() > MaxFileSize) {
        *reason = QStringLiteral("het bestand is groter dan %1 bytes").arg(MaxFileSize);
        data.clear();
        return Load::Failed;
    }
    return Load::Ok;
}

bool IniFile::isReadable(QString* reason) const {
    QByteArray data;
    return load(data, reason) != Load::Failed;
}

QString IniFile::read(const QString& key) const {
    const QString name = key.trimmed();
    if (name.isEmpty() || !isLatin1(name) || !isLatin1(m_section)) {
        return QString();
    }
    QByteArray data;
    QString reason;
    if (load(data, &reason) != Load::Ok) {
        return QString();
    }
    const Scan s = scan(data, foldedName(m_section.toLatin1()), foldedName(name.toLatin1()));
    if (!s.keyFound || s.valueStart >= s.valueEnd) {
        return QString();
    }
    return QString::fromLatin1(data.constData() + s.valueStart, s.valueEnd - s.valueStart);
}

bool IniFile::fail(const QString& reason) {
    m_error = QStringLiteral("Kan %1 niet opslaan: %2").arg(m_path, reason);
    return false;
}

bool IniFile::write(const QString& key, const QString& value) {
    m_error.clear();
    const QString name = key.trimmed();
    // Names and values that would read back differently, or break the line
    // structure (a line end in a value could smuggle in a section), are
    // refused instead of being written.
    if (name.isEmpty() || name.contains(QLatin1Char('=')) || hasControl(name, false) ||
        name.startsWith(QLatin1Char('[')) || name.startsWith(QLatin1Char(';')) ||
        name.startsWith(QLatin1Char('#')) || !isLatin1(name)) {
        return fail(QStringLiteral("ongeldige sleutelnaam \"%1\"").arg(key));
    }
    if (m_section.contains(QLatin1Char(']')) || hasControl(m_section, false) ||
        !isLatin1(m_section)) {
        return fail(QStringLiteral("ongeldige sectienaam \"%1\"").arg(m_section));
    }
    if (hasControl(value, true) || !isLatin1(value)) {
        return fail(QStringLiteral("de waarde voor %1 bevat tekens die niet in het bestand "
                                   "passen")
                        .arg(name));
    }

    QByteArray data;
    QString reason;
    if (load(data, &reason) == Load::Failed) {
        // Never replace a file that could not be read: its other lines
        // would be lost.
        return fail(reason);
    }

    const QByteArray keyBytes = name.toLatin1();
    const QByteArray valueBytes = value.toLatin1();
    const Scan s = scan(data, foldedName(m_section.toLatin1()), foldedName(keyBytes));
    QByteArray out;
    out.reserve(data.size() + keyBytes.size() + valueBytes.size() + m_section.size() + 16);
    if (s.keyFound) {
        // Keep the indent and the spacing around "=", take the caller's
        // spelling of the name, and keep the line end.
        out.append(data.constData(), s.nameStart);
        out.append(keyBytes);
        out.append(data.constData() + s.nameEnd, s.valueStart - s.nameEnd);
        out.append(valueBytes);
        qsizetype rest = s.valueEnd;
        while (rest < data.size() && data[rest] != '\r' && data[rest] != '\n') {
            ++rest; // trailing blanks of the old value go with it
        }
        out.append(data.constData() + rest, data.size() - rest);
    } else if (s.sectionFound) {
        out.append(data.constData(), s.insertPos);
        // Also after a lone byte order mark, so that a reader that does not
        // know the mark still sees the new line as a line of its own.
        if (s.insertPos == data.size() && s.insertPos > 0 && !data.endsWith('\n')) {
            out.append(s.eol);
        }
        out.append(keyBytes).append('=').append(valueBytes).append(s.eol);
        out.append(data.constData() + s.insertPos, data.size() - s.insertPos);
    } else {
        out = data;
        if (!out.isEmpty() && !out.endsWith('\n')) {
            out.append(s.eol);
        }
        if (data.size() > s.bodyStart) {
            // A blank line before the new section, unless there is one.
            const QByteArray tail = out.left(out.size() - s.eol.size());
            if (!tail.endsWith('\n')) {
                out.append(s.eol);
            }
        }
        out.append('[').append(m_section.toLatin1()).append(']').append(s.eol);
        out.append(keyBytes).append('=').append(valueBytes).append(s.eol);
    }

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(file.errorString());
    }
    if (file.write(out) != out.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit()) {
        return fail(file.errorString());
    }
    return true;
}
