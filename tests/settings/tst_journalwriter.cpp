// The journal's writer with a reader who stops reading: the caller is never
// held, what does not fit is dropped and counted, and the count comes out
// where the lines went missing once the reader reads again.
#include "settings/journalwriter.h"

#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
// A pipe whose read end the test reads only when it chooses to.
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe(fds) == 0) {
            read = fds[0];
            write = fds[1];
            ::fcntl(read, F_SETFL, O_NONBLOCK);
        }
    }
    ~Pipe() {
        ::close(read);
        ::close(write);
    }
    qsizetype capacity() const { return ::fcntl(write, F_GETPIPE_SZ); }
    // Reads what the writer puts out until it has written all it holds.
    QByteArray drain(JournalWriter& writer) const {
        QByteArray got;
        char buffer[65536];
        bool drained = false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            const ssize_t n = ::read(read, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, n);
                continue;
            }
            if (drained)
                break; // all written, and all read since
            drained = writer.flush(20);
        }
        return got;
    }
};

QByteArray numbered(int i, int bytes) {
    QByteArray line = QByteArray::number(i).rightJustified(6, '0') + ' ';
    return line.leftJustified(bytes - 1, 'x') + '\n';
}
} // namespace

class TstJournalWriter : public QObject {
    Q_OBJECT
private slots:
    void fullReaderDropsAndCounts_data();
    void fullReaderDropsAndCounts();
    void flushWaitsOnlyAsLongAsAsked();
};

void TstJournalWriter::fullReaderDropsAndCounts_data() {
    QTest::addColumn<int>("lineBytes");
    // Short lines meet the bound in lines, long ones the bound in bytes.
    QTest::newRow("short lines") << 100;
    QTest::newRow("long lines") << 2000;
}

void TstJournalWriter::fullReaderDropsAndCounts() {
    QFETCH(int, lineBytes);
    Pipe pipe;
    QVERIFY(pipe.write >= 0);
    const int total = 5000;
    QByteArray out;
    {
        JournalWriter writer(pipe.write);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < total; ++i)
            writer.write(numbered(i, lineBytes));
        // Megabytes offered to a pipe nobody reads: none of it waited.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        out = pipe.drain(writer);
    }
    QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray()); // whole lines only
    // Every line came out whole and in order, or was counted where it went
    // missing: the count stands in for exactly the lines of its gap.
    const QByteArray tail = " journal lines dropped: the journal's reader did not keep up";
    qsizetype next = 0;
    qsizetype written = 0;
    qsizetype counts = 0;
    for (const QByteArray& line : lines) {
        if (line.endsWith(tail)) {
            QVERIFY2(line.startsWith("<4>"), line.constData());
            next += line.chopped(tail.size()).split(' ').last().toLongLong();
            ++counts;
            continue;
        }
        QCOMPARE(line + '\n', numbered(int(next), lineBytes));
        ++next;
        ++written;
    }
    QCOMPARE(next, qsizetype(total));
    QVERIFY(counts >= 1);
    QVERIFY(lines.last().endsWith(tail)); // the last ones were lost
    // What was held while nobody read: the pipe's own buffer, the line being
    // written and the queue's bound.
    const qsizetype queued = std::min<qsizetype>(JournalWriter::MaxLines,
                                                 qsizetype(JournalWriter::MaxBytes) / lineBytes);
    QVERIFY2(written <= pipe.capacity() / lineBytes + 1 + queued + counts,
             qPrintable(QString::number(written)));
}

void TstJournalWriter::flushWaitsOnlyAsLongAsAsked() {
    Pipe pipe;
    QByteArray fill(pipe.capacity(), 'x');
    JournalWriter writer(pipe.write);
    writer.write(fill);
    writer.write("the last line\n");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!writer.flush(200));
    QVERIFY(clock.elapsed() < 2000);
    const QByteArray out = pipe.drain(writer);
    QVERIFY(out.endsWith("x\nthe last line\n") || out.endsWith("xthe last line\n"));
}

QTEST_GUILESS_MAIN(TstJournalWriter)
#include "tst_journalwriter.moc"
