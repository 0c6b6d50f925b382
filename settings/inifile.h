#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class IniEncoding;

// Reads and writes one INI file, named when the object is made. Section and
// key names match without regard to the letter case of ASCII letters (and
// of Latin-1 letters in an 8-bit file). A write keeps every other line of the
// file as it was (comments, unknown keys, line ends, encoding) and replaces
// the file atomically, so a crash or a full disk never leaves a truncated
// file behind. A save of several keys is one write of a list: one
// replacement, all keys or none.
//
// Lines end in LF, CR LF or a lone CR (an old Mac editor), in any mix; keys
// a write adds take the line end of the file's first line. The text is 8-bit
// Latin-1 unless the file starts with a UTF-16 byte order mark (see
// IniEncoding); a save keeps that encoding. The program itself only writes
// ASCII names. The file is read afresh on every call; nothing is cached.
class IniFile {
public:
    explicit IniFile(QString path);

    // The value text with surrounding blanks removed; empty for a missing
    // file, section or key. An empty section names the keys that stand
    // before the first section header.
    QString read(const QString& section, const QString& key) const;
    // False, with the reason, when the file exists but cannot be read (no
    // permission, a directory, too large); every read() then gives empty. A
    // missing file is readable: it simply holds nothing.
    bool isReadable(QString* reason) const;

    // Stores each value under its key in the section, in the order given,
    // replacing a value stored under any spelling of the key and creating
    // key, section and file as needed; the file is then replaced once. The
    // result is byte for byte that of writing the keys one by one. Returns
    // false and sets errorString() when any key cannot be written or the
    // file cannot be replaced; the file on disk is then unchanged, none of
    // the keys written. An empty list changes nothing and succeeds.
    bool write(const QString& section, const QList<QPair<QString, QString>>& keyValues);
    QString errorString() const { return m_error; }

    // Files above this size are not read (read() gives empty, write() fails),
    // so a stray huge file cannot exhaust memory at start-up.
    static constexpr qint64 MaxFileSize = 32 * 1024 * 1024;

private:
    enum class Load { Ok, Missing, Failed };
    Load load(QByteArray& data, QString* reason) const;
    // Why the key or its value cannot be written in the section; empty when
    // it can.
    static QString refusal(const IniEncoding& encoding, const QString& section, const QString& key,
                           const QString& value);
    bool replaceFile(const QByteArray& bytes);
    bool fail(const QString& reason);

    QString m_path;
    QString m_error;
};
