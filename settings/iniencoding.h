#pragma once

#include <QByteArray>
#include <QString>

// How the bytes of an INI file stand for its text, and the working form in
// which IniFile reads and edits it.
//
// The working form is a byte string whose line ends, "[", "]", "=", ";",
// "#" and blanks are single ASCII bytes, so the line parser never needs to
// know the file's encoding:
// - An 8-bit file (anything without a UTF-16 byte order mark) is its own
//   working form, each byte one Latin-1 character, as Sondral has always
//   read it.
// - A UTF-16 file (byte order mark FF FE or FE FF, as a Windows editor saves
//   "Unicode") has its 16-bit code units after the mark written one by one
//   in 1 to 3 bytes, in the manner of UTF-8 but without pairing surrogates.
//   Every sequence of code units, lone surrogates included, so comes back
//   unchanged: a save keeps every other line of the file exactly. A last odd
//   byte, which is no code unit, is kept aside and put back at the end.
// A save writes the file back in the form it was read in, mark included.
class IniEncoding {
public:
    enum class Form { EightBit, Utf16LittleEndian, Utf16BigEndian };

    // The form of a file from its first bytes (a missing or empty file is
    // 8-bit), and its bytes in working form.
    static IniEncoding detect(const QByteArray& fileBytes, QByteArray* working);

    Form form() const { return m_form; }
    // The file's bytes for a working form, mark and odd byte included.
    QByteArray toFile(const QByteArray& working) const;
    // A name or value in working form, and back. canHold() tells whether
    // encode() would lose nothing: an 8-bit file holds Latin-1 only.
    bool canHold(const QString& text) const;
    QByteArray encode(const QString& text) const;
    QString decode(const char* data, qsizetype size) const;

private:
    Form m_form = Form::EightBit;
    QByteArray m_oddByte; // a UTF-16 file's last byte when its size is odd
};
