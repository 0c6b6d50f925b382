// Any bytes as sondral.ini: a start-up load and key reads over them, then one
// write of a key the program writes. Checks: no crash or hang; the write
// succeeds in a writable directory; the file keeps its encoding (8-bit or
// UTF-16 in its byte order); every line of the original file except the one
// line holding the written key is still there, character for character, with
// its line end (LF, CR LF or CR) and in order; the value reads back; every
// other key reads as before.
//
// Input layout: byte 0 picks the key, byte 1 the section, byte 2 the value;
// the rest is the file.

#include "settings/inifile.h"
#include "settings/settingsfile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

const std::array<const char*, 12> Keys = {"Card",       "AutoVol",   "AutoTime", "Autotime",
                                          "Feed1Vol",   "Feed4Time", "Log",      "RemoteName",
                                          "RemotePort", "HostPort",  "Other",    "autovol"};
const std::array<const char*, 5> Sections = {"Audio", "InterPC", "audio", "INTERPC", "Extra"};
const std::array<const char*, 8> Values = {"0",         "-1", "30",  "100",
                                           "127.0.0.1", "",   " 7 ", "studio pc"};

// The directory of this process's input file, removed again at exit.
char g_dir[64];

void removeDir() {
    const std::string dir(g_dir);
    for (const char* name : {"/sondral.ini", "/sondral.ini.tmp"})
        unlink((dir + name).c_str());
    rmdir(g_dir);
}

QString filePath() {
    static const QString path = [] {
        // tmpfs when there is one: each write syncs the file to disk.
        std::strcpy(g_dir, access("/dev/shm", W_OK) == 0 ? "/dev/shm/sondral-fuzz-ini.XXXXXX"
                                                         : "/tmp/sondral-fuzz-ini.XXXXXX");
        if (!mkdtemp(g_dir))
            fail("cannot make a temporary directory");
        std::atexit(removeDir);
        return QString::fromLatin1(g_dir) + QStringLiteral("/sondral.ini");
    }();
    return path;
}

// The file's text as the checks see it, decoded here independently of the
// code under test: after a UTF-16 byte order mark, 16-bit units (an odd last
// byte apart); otherwise one Latin-1 character per byte.
struct FileText {
    QByteArray mark;    // FF FE or FE FF; empty for an 8-bit file
    QByteArray oddByte; // a UTF-16 file's last byte when its size is odd
    QString text;
};

FileText decodeFile(const QByteArray& bytes) {
    FileText f;
    const bool little = bytes.startsWith("\xFF\xFE");
    if (!little && !bytes.startsWith("\xFE\xFF")) {
        f.text = QString::fromLatin1(bytes);
        return f;
    }
    f.mark = bytes.left(2);
    const qsizetype units = (bytes.size() - 2) / 2;
    if ((bytes.size() - 2) % 2 != 0)
        f.oddByte = bytes.right(1);
    for (qsizetype i = 0; i < units; ++i) {
        const auto a = quint8(bytes[2 + 2 * i]);
        const auto b = quint8(bytes[3 + 2 * i]);
        f.text.append(QChar(char16_t(little ? a | (b << 8) : (a << 8) | b)));
    }
    return f;
}

struct Line {
    QString text; // without its line end
    QString end;  // LF, CR LF, CR, or empty for an unterminated last line
};

QList<Line> splitLines(const QString& text) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        qsizetype next = end;
        if (next < text.size())
            next +=
                text[next] == u'\r' && next + 1 < text.size() && text[next + 1] == u'\n' ? 2 : 1;
        lines.append({text.mid(start, end - start), text.mid(end, next - end)});
        start = next;
    }
    return lines;
}

// An unterminated last line may gain a line end when something is added
// after it; otherwise lines must match exactly, line ends included.
bool sameLine(const Line& original, const Line& now) {
    if (original.end.isEmpty())
        return original.text == now.text;
    return original.text == now.text && original.end == now.end;
}

// True when the original lines, less at most one line that names the key,
// appear in order among the new lines.
bool keptInOrder(const QList<Line>& before, const QList<Line>& after, const QString& key) {
    const qsizetype none = after.size() + 1;
    auto nextMatch = [&](qsizetype from, const Line& l) {
        for (qsizetype j = from; j < after.size(); ++j)
            if (sameLine(l, after[j]))
                return j + 1;
        return none;
    };
    qsizetype exact = 0;      // earliest position with no line dropped
    qsizetype dropped = none; // earliest position with the key's line dropped
    for (const Line& l : before) {
        const bool namesKey = l.text.contains(key, Qt::CaseInsensitive);
        qsizetype nextDropped = dropped == none ? none : nextMatch(dropped, l);
        if (namesKey && exact != none)
            nextDropped = qMin(nextDropped, exact);
        exact = exact == none ? none : nextMatch(exact, l);
        dropped = nextDropped;
        if (exact == none && dropped == none)
            return false;
    }
    return true;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const char* key = Keys[data[0] % Keys.size()];
    const char* section = Sections[data[1] % Sections.size()];
    const QString value = QString::fromLatin1(Values[data[2] % Values.size()]);
    const QByteArray original(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3));

    const QString path = filePath();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(original) != original.size())
            fail("cannot write the input file");
    }

    // One message at most per key read as a number or switch (fourteen), and
    // one about the link.
    SettingsFile settingsFile(path);
    if (settingsFile.load().size() > 15)
        fail("more start-up messages than keys");

    // The keys of the written section and of one other, before the write
    // (every section would make each run twice as slow for little more).
    const char* other = qstricmp(section, "Audio") == 0 ? "InterPC" : "Audio";
    const std::array<const char*, 2> checked = {section, other};
    QList<QString> before;
    IniFile ini(path);
    for (const char* s : checked) {
        for (const char* k : Keys)
            before << ini.read(QString::fromLatin1(s), QString::fromLatin1(k));
    }

    if (!ini.write(QString::fromLatin1(section), {{QString::fromLatin1(key), value}})) {
        if (readAll(path) != original)
            fail("a failed write changed the file");
        fail("a write in a writable directory failed");
    }

    const FileText was = decodeFile(original);
    const FileText written = decodeFile(readAll(path));
    if (written.mark != was.mark || written.oddByte != was.oddByte)
        fail("the file's encoding changed");
    if (!keptInOrder(splitLines(was.text), splitLines(written.text), QString::fromLatin1(key)))
        fail("a line other than the written key's was lost or changed");

    const IniFile again(path);
    int i = 0;
    for (const char* s : checked) {
        const bool sameSection = qstricmp(s, section) == 0;
        for (const char* k : Keys) {
            const QString now = again.read(QString::fromLatin1(s), QString::fromLatin1(k));
            if (sameSection && qstricmp(k, key) == 0) {
                if (now != value.trimmed())
                    fail("the written value does not read back");
            } else if (now != before[i]) {
                fail("a write changed another key");
            }
            ++i;
        }
    }
    return 0;
}
