// Any bytes as sondral.ini: ReadSettings and key reads over them, then one
// write of a key the program writes. Checks: no crash or hang; the write
// succeeds in a writable directory; every line of the original file except
// the one line holding the written key is still there, byte for byte and in
// order; the value reads back; every other key reads as before.
//
// Input layout: byte 0 picks the key, byte 1 the section, byte 2 the value;
// the rest is the file.

#include "settings/inifile.h"
#include "settings/readsettings.h"
#include "settings/settings.h"

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

struct Line {
    QByteArray text; // without its LF; a CR before the LF stays
    bool terminated;
};

QList<Line> splitLines(const QByteArray& bytes) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            lines.append({bytes.mid(start), false});
            break;
        }
        lines.append({bytes.mid(start, lf - start), true});
        start = lf + 1;
    }
    return lines;
}

QByteArray withoutTrailingCr(QByteArray b) {
    while (b.endsWith('\r'))
        b.chop(1);
    return b;
}

// An unterminated last line may gain a line end when something is added
// after it; otherwise lines must match byte for byte.
bool sameLine(const Line& original, const QByteArray& now) {
    if (original.terminated)
        return original.text == now;
    return withoutTrailingCr(original.text) == withoutTrailingCr(now);
}

// True when the original lines, less at most one line that names the key,
// appear in order among the new lines.
bool keptInOrder(const QList<Line>& before, const QList<Line>& after, const QByteArray& key) {
    const qsizetype none = after.size() + 1;
    auto nextMatch = [&](qsizetype from, const Line& l) {
        for (qsizetype j = from; j < after.size(); ++j)
            if (sameLine(l, after[j].text))
                return j + 1;
        return none;
    };
    qsizetype exact = 0;      // earliest position with no line dropped
    qsizetype dropped = none; // earliest position with the key's line dropped
    for (const Line& l : before) {
        const bool namesKey = l.text.toLower().contains(key.toLower());
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

    IniFile ini;
    Settings settings;
    // One message at most per key read.
    if (ReadSettings(ini, path, settings).size() > 14)
        fail("more start-up messages than keys");

    // The keys of the written section and of one other, before the write
    // (every section would make each run twice as slow for little more).
    const char* other = qstricmp(section, "Audio") == 0 ? "InterPC" : "Audio";
    const std::array<const char*, 2> checked = {section, other};
    QList<QString> before;
    ini.selectFile(path);
    for (const char* s : checked) {
        ini.selectSection(QString::fromLatin1(s));
        for (const char* k : Keys)
            before << ini.read(QString::fromLatin1(k));
    }

    ini.selectSection(QString::fromLatin1(section));
    if (!ini.write(QString::fromLatin1(key), value)) {
        if (readAll(path) != original)
            fail("a failed write changed the file");
        fail("a write in a writable directory failed");
    }

    const QByteArray written = readAll(path);
    if (!keptInOrder(splitLines(original), splitLines(written), QByteArray(key)))
        fail("a line other than the written key's was lost or changed");

    IniFile again;
    again.selectFile(path);
    int i = 0;
    for (const char* s : checked) {
        again.selectSection(QString::fromLatin1(s));
        const bool sameSection = qstricmp(s, section) == 0;
        for (const char* k : Keys) {
            const QString now = again.read(QString::fromLatin1(k));
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
