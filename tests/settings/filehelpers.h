#pragma once

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        qFatal("cannot prepare test file %s", qPrintable(path));
    }
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The text as a UTF-16 file with its byte order mark, as a Windows editor
// saves "Unicode" (little-endian) or "Unicode big endian".
inline QByteArray utf16File(const QString& text, bool bigEndian = false) {
    QByteArray out = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (QChar c : text) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        out.append(bigEndian ? high : low);
        out.append(bigEndian ? low : high);
    }
    return out;
}

// Reproducible garbage of every byte value, NUL and line ends included.
inline QByteArray garbage(qsizetype size, quint32 seed) {
    QRandomGenerator gen(seed);
    QByteArray out(size, '\0');
    for (char& c : out) {
        c = static_cast<char>(gen.bounded(256));
    }
    return out;
}

// Runs fn without root's right to ignore file permissions: as root in a
// child process that has become "nobody", otherwise directly. The result is
// fn's, or -1 when the child could not drop its rights.
inline int withoutRootRights(const std::function<int()>& fn) {
    if (geteuid() != 0) {
        return fn();
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(255);
        }
        _exit(fn());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Runs fn while no file of this process may grow beyond bytes
// (RLIMIT_FSIZE, which binds root as well, unlike file permissions): a
// write past the limit fails with EFBIG instead of raising SIGXFSZ. Returns
// fn's result; the limit and the signal's disposition are restored.
inline bool withFileSizeLimit(rlim_t bytes, const std::function<bool()>& fn) {
    rlimit old{};
    if (getrlimit(RLIMIT_FSIZE, &old) != 0) {
        qFatal("getrlimit failed");
    }
    rlimit limited = old;
    limited.rlim_cur = bytes;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0) {
        qFatal("setrlimit failed");
    }
    const bool result = fn();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}
