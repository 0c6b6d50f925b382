#include "settings/statefile.h"

#include "settings/regularfile.h"

#include <utility>

namespace {
const QByteArray SourceKey = QByteArrayLiteral("Source");
const QByteArray PausedKey = QByteArrayLiteral("Paused");
const QByteArray WrittenKey = QByteArrayLiteral("Written");
// The file holds three short lines; anything much bigger is not ours.
constexpr qint64 maxFileBytes = 4096;
// A keyword is short plain ASCII; a longer or stranger value is not one.
constexpr qsizetype maxKeywordChars = 32;

bool isPlainKeyword(const QByteArray& value) {
    if (value.size() > maxKeywordChars)
        return false;
    for (char c : value) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}
} // namespace

StateFile::StateFile(QString path) : m_path(std::move(path)) {}

std::optional<StateFile::Saved> StateFile::read(QString* problem) const {
    QByteArray text;
    QString error;
    if (RegularFile::read(m_path, maxFileBytes, &text, &error) != RegularFile::Read::Ok) {
        if (problem)
            *problem = error;
        return std::nullopt;
    }
    Saved saved;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed(); // also a CR of an edited file
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == SourceKey) {
            if (!isPlainKeyword(value))
                return std::nullopt;
            saved.keyword = QString::fromLatin1(value);
        } else if (key == PausedKey) {
            saved.paused = value == "1";
        } else if (key == WrittenKey) {
            saved.written = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        }
    }
    if (!saved.written.isValid())
        return std::nullopt;
    return saved;
}

bool StateFile::write(const Saved& saved) {
    const QByteArray text = SourceKey + '=' + saved.keyword.toLatin1() + '\n' + PausedKey + '=' +
                            (saved.paused ? '1' : '0') + '\n' + WrittenKey + '=' +
                            saved.written.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
    // A link named sondral.state is replaced as the link itself: whatever
    // it points to (another file, a device) is never written.
    if (!RegularFile::replace(m_path, text, RegularFile::Links::ReplaceLink, 0666, &m_error))
        return false;
    m_error.clear();
    return true;
}

bool StateFile::isRecent(const Saved& saved, const QDateTime& now, qint64 maxAgeSecs,
                         qint64* ageSecs) {
    const qint64 age = saved.written.secsTo(now);
    if (ageSecs)
        *ageSecs = age;
    return saved.written.isValid() && age >= 0 && age < maxAgeSecs;
}
