#pragma once

#include <QString>
#include <QtGlobal>

// Looks at a running program from outside through /proc: which process runs
// a given executable file, its resident memory and its open descriptors.
class ProcessProbe {
public:
    // The process whose executable is exactly this file, or 0.
    static qint64 pidOfExecutable(const QString& path);
    // VmRSS in KiB, or -1 when the process is gone.
    static qint64 residentKiB(qint64 pid);
    // Entries in /proc/PID/fd, or -1 when the process is gone.
    static int openDescriptors(qint64 pid);
    // Number of threads, or -1.
    static int threads(qint64 pid);
    // Datagrams the kernel dropped for the UDP sockets bound to this local
    // port (receive buffer full), IPv4 and IPv6 together; -1 when none is bound.
    static qint64 udpDrops(quint16 port);
};
