#include "settings/eventlog.h"
#include "settings/filehelpers.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestEventLog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("sondral.log")); }

private slots:
    void init() { QFile::remove(path()); }

    void separatorFromFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("separator");
        QTest::newRow("C date") << "%m/%d/%y"
                                << "/";
        QTest::newRow("C time") << "%H:%M:%S"
                                << ":";
        QTest::newRow("Dutch date") << "%d-%m-%y"
                                    << "-";
        QTest::newRow("German date") << "%d.%m.%Y"
                                     << ".";
        QTest::newRow("%T") << "%T"
                            << ":";
        QTest::newRow("%R") << "%R"
                            << ":";
        QTest::newRow("%D") << "%D"
                            << "/";
        QTest::newRow("%F") << "%F"
                            << "-";
        QTest::newRow("modifiers") << "%Ey.%Om"
                                   << ".";
        QTest::newRow("flags and width") << "%-d_%02m"
                                         << "_";
        QTest::newRow("literal percent") << "%d%%%m"
                                         << "%";
        QTest::newRow("blank") << "%e %m"
                               << " ";
        QTest::newRow("no literal") << "%Y%m%d"
                                    << "#";
        QTest::newRow("empty") << ""
                               << "#";
        QTest::newRow("dangling %") << "%d%"
                                    << "#";
        QTest::newRow("beyond Latin-1") << QStringLiteral("%Y\u5E74%m") << "#";
        QTest::newRow("control character") << "%d\t%m"
                                           << "#";
    }

    void separatorFromFormat() {
        QFETCH(QString, format);
        QFETCH(QString, separator);
        QCOMPARE(QString(EventLog::separatorFromFormat(format, QLatin1Char('#'))), separator);
    }

    void formatLine_data() {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("line");
        const QDateTime morning(QDate(2021, 3, 5), QTime(9, 7, 4));
        QTest::newRow("leading zeros") << morning << "/"
                                       << ":"
                                       << "05/03/2021  09:07:04  Program started Up";
        QTest::newRow("other separators, same order") << morning << "-"
                                                      << "."
                                                      << "05-03-2021  09.07.04  Program started Up";
        QTest::newRow("end of year") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "/"
                                     << ":"
                                     << "31/12/1999  23:59:59  Program started Up";
    }

    void formatLine() {
        QFETCH(QDateTime, when);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, line);
        const EventLog::Separators sep{date[0], time[0]};
        QCOMPARE(EventLog::formatLine(when, QStringLiteral("Program started Up"), sep), line);
    }

    void localeSeparators() {
        const auto c = EventLog::localeSeparators("C");
        QVERIFY(c.has_value());
        QCOMPARE(c->date, QLatin1Char('/'));
        QCOMPARE(c->time, QLatin1Char(':'));
        QVERIFY(!EventLog::localeSeparators("xx_NOWHERE.UTF-8").has_value());
        auto nl = EventLog::localeSeparators("nl_NL.UTF-8");
        if (!nl) {
            nl = EventLog::localeSeparators("nl_NL");
        }
        if (!nl) {
            QSKIP("no Dutch locale installed");
        }
        QCOMPARE(nl->date, QLatin1Char('-'));
        QCOMPARE(nl->time, QLatin1Char(':'));
    }

    // Two lines in order after what earlier runs left, created when missing,
    // each in the fixed layout with the system's separators and CR LF.
    void appendsLines() {
        EventLog log(path());
        QString error;
        QVERIFY2(
            log.WriteLog(QStringLiteral("Program started Up"), Journal::Priority::Info, &error),
            qPrintable(error));
        QVERIFY(QFile::exists(path()));
        QVERIFY(
            log.WriteLog(QStringLiteral("Server Running FEED 2"), Journal::Priority::Info, &error));
        QVERIFY(log.WriteLog(QString::fromLatin1("caf\xE9"), Journal::Priority::Info, &error));

        const QByteArray bytes = readBytes(path());
        QVERIFY(bytes.endsWith("\r\n"));
        QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.takeLast().isEmpty());
        const EventLog::Separators sep = EventLog::systemSeparators();
        const QString d = QRegularExpression::escape(QString(sep.date));
        const QString t = QRegularExpression::escape(QString(sep.time));
        const QRegularExpression head(
            QStringLiteral("^\\d\\d%1\\d\\d%1\\d{4}  \\d\\d%2\\d\\d%2\\d\\d  ").arg(d, t));
        const QStringList messages{QStringLiteral("Program started Up"),
                                   QStringLiteral("Server Running FEED 2"),
                                   QString::fromLatin1("caf\xE9")};
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(lines[i].endsWith('\r'), "every line ends in CR LF");
            const QString line = QString::fromLatin1(lines[i].chopped(1));
            QVERIFY2(head.match(line).hasMatch(), qPrintable(line));
            QCOMPARE(line.mid(22), messages[i]);
        }
        QVERIFY(bytes.endsWith("caf\xE9\r\n")); // 8-bit, not UTF-8

        // A later run appends; nothing is truncated.
        EventLog again(path());
        QVERIFY(again.WriteLog(QStringLiteral("Program Closed"), Journal::Priority::Info));
        QVERIFY(readBytes(path()).startsWith(bytes));
    }

    void failureIsReported_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing directory") << "none/sondral.log";
        QTest::newRow("path is a directory") << "adir";
    }

    void failureIsReported() {
        QFETCH(QString, target);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("adir")));
        EventLog log(m_dir.filePath(target));
        QString error;
        QVERIFY(!log.WriteLog(QStringLiteral("Program Closed"), Journal::Priority::Info, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!log.WriteLog(QStringLiteral("Program Closed"),
                              Journal::Priority::Info)); // no error pointer: no crash
    }

    void fullDiskIsReported() {
        if (!QFileInfo::exists(QStringLiteral("/dev/full"))) {
            QSKIP("no /dev/full");
        }
        EventLog log(QStringLiteral("/dev/full"));
        QString error;
        QVERIFY(
            !log.WriteLog(QStringLiteral("SONDRAL ACTIVATED"), Journal::Priority::Info, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
