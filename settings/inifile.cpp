#include "settings/inifile.h"

#include "settings/iniencoding.h"
#include "settings/regularfile.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

// Blanks around names and values: ASCII white space only, so that bytes
// above 0x7F (letters in Latin-1, parts of a character in a UTF-16 file's
// working form) are never trimmed away. A CR ends a line before it could be
// a blank.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// The length of the line end the bytes finish with: 2 for CR LF, 1 for LF
// or CR, 0 for none.
qsizetype trailingLineEnd(const QByteArray& b) {
    if (b.endsWith("\r\n"))
        return 2;
    return !b.isEmpty() && isLineEnd(b.back()) ? 1 : 0;
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

// One line of the file, classified. Lines are: blank; a comment (";" or "#"
// first); a section header ("[" name "]", anything after "]" ignored); a key
// line (name "=" value, split at the first "="); anything else, which is
// ignored. All positions are byte offsets into the working form.
struct Line {
    enum class Kind { Other, Header, Key };
    Kind kind = Kind::Other;
    qsizetype start = 0; // first byte
    qsizetype next = 0;  // first byte of the next line, after the line end
    // Header: the name between the brackets; key line: the key's name. Both
    // without surrounding blanks.
    qsizetype nameStart = 0;
    qsizetype nameEnd = 0;
    // Key line only: first non-blank after "=", and after the last non-blank
    // of the line.
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
};

void trimBlanks(const char* d, qsizetype& begin, qsizetype& end) {
    while (begin < end && isBlank(d[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(d[end - 1])) {
        --end;
    }
}

// The line that starts at pos.
Line lineAt(const QByteArray& data, qsizetype pos) {
    const char* d = data.constData();
    const qsizetype size = data.size();
    Line line;
    line.start = pos;
    // One pass for either end byte: a search for LF and then for CR would
    // scan to the end of an LF file for every line.
    qsizetype lineEnd = pos;
    while (lineEnd < size && !isLineEnd(d[lineEnd])) {
        ++lineEnd;
    }
    if (lineEnd == size) {
        line.next = size;
    } else if (d[lineEnd] == '\r' && lineEnd + 1 < size && d[lineEnd + 1] == '\n') {
        line.next = lineEnd + 2;
    } else {
        line.next = lineEnd + 1;
    }

    qsizetype b = pos;
    qsizetype e = lineEnd;
    trimBlanks(d, b, e);
    if (b == e || d[b] == ';' || d[b] == '#') {
        return line;
    }
    if (d[b] == '[') {
        // "[" without "]" is no header, and no key line either.
        const void* close = std::memchr(d + b + 1, ']', static_cast<size_t>(e - b - 1));
        if (close) {
            line.kind = Line::Kind::Header;
            line.nameStart = b + 1;
            line.nameEnd = static_cast<const char*>(close) - d;
            trimBlanks(d, line.nameStart, line.nameEnd);
        }
        return line;
    }
    const void* eq = std::memchr(d + b, '=', static_cast<size_t>(e - b));
    if (!eq) {
        return line;
    }
    const qsizetype eqPos = static_cast<const char*>(eq) - d;
    qsizetype nameEnd = eqPos;
    trimBlanks(d, b, nameEnd);
    if (nameEnd == b) {
        return line; // "=value" names no key
    }
    line.kind = Line::Kind::Key;
    line.nameStart = b;
    line.nameEnd = nameEnd;
    line.valueStart = eqPos + 1;
    line.valueEnd = e;
    trimBlanks(d, line.valueStart, line.valueEnd);
    return line;
}

// The line end a write uses for the lines it adds: that of the file's first
// line, LF when the file has no line end yet.
QByteArray lineEndOf(const QByteArray& data, qsizetype bodyStart) {
    for (qsizetype i = bodyStart; i < data.size(); ++i) {
        if (data[i] == '\n') {
            return QByteArrayLiteral("\n");
        }
        if (data[i] == '\r') {
            return i + 1 < data.size() && data[i + 1] == '\n' ? QByteArrayLiteral("\r\n")
                                                              : QByteArrayLiteral("\r");
        }
    }
    return QByteArrayLiteral("\n");
}

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
    Line key; // the key's line, when found
    QByteArray eol;
};

// One pass over the file, up to the end of the section in question. An
// empty section names the keys before the first section header. Names are
// given folded (see foldedName).
Scan scan(const QByteArray& data, const QByteArray& section, const QByteArray& key) {
    Scan s;
    const char* d = data.constData();
    if (data.startsWith(utf8Bom)) {
        s.bodyStart = utf8Bom.size();
    }
    s.eol = lineEndOf(data, s.bodyStart);
    bool inTarget = section.isEmpty();
    if (inTarget) {
        s.sectionFound = true;
        s.insertPos = s.bodyStart;
    }
    for (qsizetype pos = s.bodyStart; pos < data.size();) {
        const Line line = lineAt(data, pos);
        pos = line.next;
        if (line.kind == Line::Kind::Header) {
            if (inTarget) {
                break; // the section in question ends here
            }
            if (!s.sectionFound &&
                sameName(d + line.nameStart, line.nameEnd - line.nameStart, section)) {
                s.sectionFound = true;
                s.insertPos = line.next;
                inTarget = true;
            }
        } else if (inTarget && line.kind == Line::Kind::Key) {
            s.insertPos = line.next;
            if (!s.keyFound && sameName(d + line.nameStart, line.nameEnd - line.nameStart, key)) {
                s.keyFound = true;
                s.key = line;
            }
        }
    }
    return s;
}

// The key's line with the new value: the indent and the spacing around "="
// stay, the caller's spelling of the name is taken, and the line end stays.
QByteArray replaceValue(const QByteArray& data, const Scan& s, const QByteArray& key,
                        const QByteArray& value) {
    QByteArray out;
    out.reserve(data.size() + key.size() + value.size());
    out.append(data.constData(), s.key.nameStart);
    out.append(key);
    out.append(data.constData() + s.key.nameEnd, s.key.valueStart - s.key.nameEnd);
    out.append(value);
    qsizetype rest = s.key.valueEnd;
    while (rest < data.size() && !isLineEnd(data[rest])) {
        ++rest; // trailing blanks of the old value go with it
    }
    out.append(data.constData() + rest, data.size() - rest);
    return out;
}

// In a file of mixed line ends, a new line end must not merge with an old
// one into a CR LF: a CR before an LF, or an LF after a CR, would swallow a
// line end and change the line beside it. CR LF is used there instead.
QByteArray lineEndBefore(const QByteArray& eol, const QByteArray& data, qsizetype pos) {
    if (eol == "\r" && pos < data.size() && data[pos] == '\n') {
        return QByteArrayLiteral("\r\n");
    }
    return eol;
}

QByteArray lineEndAfter(const QByteArray& eol, const QByteArray& data) {
    if (eol == "\n" && data.endsWith('\r')) {
        return QByteArrayLiteral("\r\n");
    }
    return eol;
}

// A new key line at the end of the existing section's keys.
QByteArray insertKey(const QByteArray& data, const Scan& s, const QByteArray& key,
                     const QByteArray& value) {
    QByteArray out;
    out.reserve(data.size() + key.size() + value.size() + 4);
    out.append(data.constData(), s.insertPos);
    // Also after a lone byte order mark, so that a reader that does not know
    // the mark still sees the new line as a line of its own.
    if (s.insertPos == data.size() && s.insertPos > 0 && trailingLineEnd(data) == 0) {
        out.append(s.eol);
    }
    out.append(key).append('=').append(value).append(lineEndBefore(s.eol, data, s.insertPos));
    out.append(data.constData() + s.insertPos, data.size() - s.insertPos);
    return out;
}

// A new section holding the key, at the end of the file, after a blank line
// unless the file is empty or already ends with one.
QByteArray appendSection(const QByteArray& data, const Scan& s, const QByteArray& section,
                         const QByteArray& key, const QByteArray& value) {
    QByteArray out = data;
    if (!out.isEmpty() && trailingLineEnd(out) == 0) {
        out.append(s.eol);
    }
    if (data.size() > s.bodyStart) {
        const QByteArray lastLine = out.left(out.size() - trailingLineEnd(out));
        if (trailingLineEnd(lastLine) == 0) {
            out.append(lineEndAfter(s.eol, out));
        }
    }
    out.append('[').append(section).append(']').append(s.eol);
    out.append(key).append('=').append(value).append(s.eol);
    return out;
}

// The file's bytes with the key stored in the section.
QByteArray withKey(const QByteArray& data, const QByteArray& section, const QByteArray& key,
                   const QByteArray& value) {
    const Scan s = scan(data, foldedName(section), foldedName(key));
    if (s.keyFound) {
        return replaceValue(data, s, key, value);
    }
    if (s.sectionFound) {
        return insertKey(data, s, key, value);
    }
    return appendSection(data, s, section, key, value);
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

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

QString IniFile::read(const QString& section, const QString& key) const {
    QByteArray bytes;
    QString reason;
    if (load(bytes, &reason) != Load::Ok) {
        return QString();
    }
    QByteArray data;
    const IniEncoding encoding = IniEncoding::detect(bytes, &data);
    const QString sectionName = section.trimmed();
    const QString name = key.trimmed();
    if (name.isEmpty() || !encoding.canHold(name) || !encoding.canHold(sectionName)) {
        return QString();
    }
    const Scan s =
        scan(data, foldedName(encoding.encode(sectionName)), foldedName(encoding.encode(name)));
    if (!s.keyFound || s.key.valueStart >= s.key.valueEnd) {
        return QString();
    }
    return encoding.decode(data.constData() + s.key.valueStart, s.key.valueEnd - s.key.valueStart);
}

bool IniFile::fail(const QString& reason) {
    m_error = QStringLiteral("Kan %1 niet opslaan: %2").arg(m_path, reason);
    return false;
}

QString IniFile::refusal(const IniEncoding& encoding, const QString& section, const QString& key,
                         const QString& value) {
    // Names and values that would read back differently, or break the line
    // structure (a line end in a value could smuggle in a section), are
    // refused instead of being written.
    const QString name = key.trimmed();
    if (name.isEmpty() || name.contains(QLatin1Char('=')) || hasControl(name, false) ||
        name.startsWith(QLatin1Char('[')) || name.startsWith(QLatin1Char(';')) ||
        name.startsWith(QLatin1Char('#')) || !encoding.canHold(name)) {
        return QStringLiteral("ongeldige sleutelnaam \"%1\"").arg(key);
    }
    if (section.contains(QLatin1Char(']')) || hasControl(section, false) ||
        !encoding.canHold(section)) {
        return QStringLiteral("ongeldige sectienaam \"%1\"").arg(section);
    }
    if (hasControl(value, true) || !encoding.canHold(value)) {
        return QStringLiteral("de waarde voor %1 bevat tekens die niet in het bestand passen")
            .arg(name);
    }
    return QString();
}

bool IniFile::write(const QString& section, const QList<QPair<QString, QString>>& keyValues) {
    m_error.clear();
    if (keyValues.isEmpty()) {
        return true;
    }
    QByteArray bytes;
    QString reason;
    if (load(bytes, &reason) == Load::Failed) {
        // Never replace a file that could not be read: its other lines
        // would be lost.
        return fail(reason);
    }
    QByteArray data;
    const IniEncoding encoding = IniEncoding::detect(bytes, &data);

    // Every key is checked before anything is done, so one bad key leaves
    // the others unwritten too.
    const QString sectionName = section.trimmed();
    for (const auto& [key, value] : keyValues) {
        const QString why = refusal(encoding, sectionName, key, value);
        if (!why.isEmpty()) {
            return fail(why);
        }
    }
    const QByteArray sectionBytes = encoding.encode(sectionName);
    for (const auto& [key, value] : keyValues) {
        data = withKey(data, sectionBytes, encoding.encode(key.trimmed()), encoding.encode(value));
    }
    return replaceFile(encoding.toFile(data));
}

bool IniFile::replaceFile(const QByteArray& bytes) {
    // The new bytes go to a temporary file beside the old one, which is
    // renamed over it only when completely written and synced: the file on
    // disk is always either the old one or the new one. The file keeps its
    // permissions and owner; a new one may hold a web hook's token, so it is
    // readable by its owner only. A settings file reached through a link is
    // saved where the link points, as an editor would.
    QString why;
    if (!RegularFile::replace(m_path, bytes, RegularFile::Links::ReplaceTarget, 0600, &why)) {
        return fail(why);
    }
    return true;
}
