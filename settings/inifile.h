#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Reads and writes one INI file key by key: select the file, select the
// section, then read or write keys. Section and key names match without
// regard to letter case. A write keeps every other line of the file as it
// was (comments, unknown keys, line ends) and replaces the file atomically,
// so a crash or a full disk never leaves a truncated file behind. A save of
// several keys is one write of a list: one replacement, all keys or none.
//
// The selection is plain state of the instance, and one instance may serve
// several users (the main window's serves the settings reader and both
// dialogs). So every user selects the file and the section right before its
// reads or writes, in the same handler, and never relies on a selection made
// earlier by itself or anyone else.
//
// The file is treated as 8-bit Latin-1 text: every byte maps to one
// character, so any byte sequence reads without loss and the lines a write
// does not touch are copied byte for byte. The program itself only writes
// ASCII. The file is read afresh on every call; nothing is cached.
class IniFile {
public:
    void selectFile(const QString& path);
    // An empty section name selects the keys that stand before the first
    // section header.
    void selectSection(const QString& section);
    QString fileName() const { return m_path; }
    QString section() const { return m_section; }

    // The value text with surrounding blanks removed; empty for a missing
    // file, section or key.
    QString read(const QString& key) const;
    // False, with the reason, when the selected file exists but cannot be
    // read (no permission, a directory, too large); every read() then gives
    // empty. A missing file is readable: it simply holds nothing.
    bool isReadable(QString* reason) const;

    // Stores each value under its key in the selected section, in the order
    // given, replacing a value stored under any spelling of the key and
    // creating key, section and file as needed; the file is then replaced
    // once. The result is byte for byte that of writing the keys one by one.
    // Returns false and sets errorString() when any key cannot be written or
    // the file cannot be replaced; the file on disk is then unchanged, none
    // of the keys written. An empty list changes nothing and succeeds.
    bool write(const QList<QPair<QString, QString>>& keyValues);
    bool write(const QString& key, const QString& value) { return write({{key, value}}); }
    bool write(const QString& key, qint32 value) { return write(key, QString::number(value)); }
    QString errorString() const { return m_error; }

    // Files above this size are not read (read() gives empty, write() fails),
    // so a stray huge file cannot exhaust memory at start-up.
    static constexpr qint64 MaxFileSize = 32 * 1024 * 1024;

private:
    enum class Load { Ok, Missing, Failed };
    Load load(QByteArray& data, QString* reason) const;
    // Why the key or its value cannot be written in the selected section;
    // empty when it can.
    QString refusal(const QString& key, const QString& value) const;
    bool replaceFile(const QByteArray& bytes);
    bool fail(const QString& reason);

    QString m_path;
    QString m_section;
    QString m_error;
};
