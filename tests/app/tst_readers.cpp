// The readers of the station's events: the event log with its journal
// priorities, and what the operator is told.
#include "app/eventlogrecorder.h"
#include "app/operatornotices.h"
#include "core/station.h"
#include "settings/eventlog.h"
#include "settings/journal.h"
#include "settings/settings.h"
#include "ui/messageboxpresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

using Kind = StationEvent::Kind;

// Standard error, as the journal would read it, while one of these lives.
class StderrCapture {
public:
    explicit StderrCapture(const QString& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        std::FILE* file = std::fopen(path.toLocal8Bit().constData(), "w");
        ::dup2(::fileno(file), STDERR_FILENO);
        std::fclose(file);
    }
    ~StderrCapture() { restore(); }
    QStringList lines() {
        restore();
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        // The journal's lines go out on a thread of their own.
        Journal::flush(5000);
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QString m_path;
    int m_saved = -1;
};

QList<QMessageBox*> boxes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<QMessageBox*> list;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            list << box;
    return list;
}

// Closes the boxes one after the other as the queue shows them.
QStringList clickThrough() {
    QStringList texts;
    for (QList<QMessageBox*> shown = boxes(); shown.size() == 1; shown = boxes()) {
        texts << shown.first()->windowTitle() + ": " + shown.first()->text();
        shown.first()->button(QMessageBox::Ok)->click();
    }
    return texts;
}

} // namespace

class tst_Readers : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { clickThrough(); }
    void eventLogLinesAndPriorities_data();
    void eventLogLinesAndPriorities();
    void journalLinesWhateverTheLogSays_data();
    void journalLinesWhateverTheLogSays();
    void restoreLineOnlyWhenAskedFor_data();
    void restoreLineOnlyWhenAskedFor();
    void lostLogLinesReachTheOperator();
    void startupMessagesWaitForTheWindow();
    void monitorFailuresAndCapture();
    void stateFileFailureAndReturn();
};

void tst_Readers::eventLogLinesAndPriorities_data() {
    QTest::addColumn<bool>("log");
    QTest::newRow("Log=1") << true;
    QTest::newRow("Log=0") << false;
}

void tst_Readers::eventLogLinesAndPriorities() {
    QFETCH(bool, log);
    QTemporaryDir dir;
    Settings settings;
    settings.Log = log;
    EventLog eventLog(dir.filePath("sondral.log"));
    EventLogRecorder recorder(settings, eventLog);
    Station station;
    connect(&station, &Station::eventPublished, &recorder, &EventLogRecorder::record);

    StderrCapture journal(dir.filePath("stderr"));
    station.publish(Kind::RunStarted, "Program started Up");
    station.publish(Kind::SourceChanged, "Server Running AUTO");
    station.publish(Kind::TickCounted);
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED");
    station.publish(Kind::CaptureLost, "USB Audio");
    station.end();
    const QStringList lines = journal.lines();

    if (!log) {
        QVERIFY(lines.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("sondral.log")));
        return;
    }
    // The priority comes from the kind: the alarm critical, start and close
    // notices, the rest informational.
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("<5>") && lines[0].endsWith("  Program started Up"));
    QVERIFY(lines[1].startsWith("<6>") && lines[1].endsWith("  Server Running AUTO"));
    QVERIFY(lines[2].startsWith("<2>") && lines[2].endsWith("  SONDRAL ACTIVATED"));
    QVERIFY(lines[3].startsWith("<5>") && lines[3].endsWith("  Program Closed"));
    QFile file(dir.filePath("sondral.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 4);
}

void tst_Readers::journalLinesWhateverTheLogSays_data() {
    QTest::addColumn<bool>("log");
    QTest::newRow("Log=1") << true;
    QTest::newRow("Log=0") << false;
}

void tst_Readers::journalLinesWhateverTheLogSays() {
    QFETCH(bool, log);
    QTemporaryDir dir;
    Settings settings;
    settings.Log = log;
    EventLog eventLog(dir.filePath("sondral.log"));
    EventLogRecorder recorder(settings, eventLog);
    Station station;
    connect(&station, &Station::eventPublished, &recorder, &EventLogRecorder::record);
    station.edit().link.remoteName = "playout";
    station.edit().link.remotePort = 5001;

    StderrCapture journal(dir.filePath("stderr"));
    station.publish(Kind::Resumed, "Resumed AUTO from the last run (ended 12 s ago)");
    // One alarm whose send fails on three ticks, then a second alarm.
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED", 10065);
    for (int tick = 1; tick < 3; ++tick)
        station.publish(Kind::AlarmSendFailed, {}, 10065);
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED", 10051);
    station.publish(Kind::AlarmSendFailed, {}, 10051);
    // Its retry gets through: the event log's line, now.
    station.publish(Kind::AlarmSent, "SONDRAL ACTIVATED");
    const QStringList lines = journal.lines();

    const QString notSent =
        "SONDRAL ACTIVATED: SN_ALARM could not be sent to playout:5001 (error %1); retried "
        "every second";
    QCOMPARE(lines.size(), log ? 4 : 3);
    QVERIFY2(lines[0].startsWith("<5>") &&
                 lines[0].endsWith("  Resumed AUTO from the last run (ended 12 s ago)"),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith("<2>") && lines[1].endsWith("  " + notSent.arg(10065)),
             qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith("<2>") && lines[2].endsWith("  " + notSent.arg(10051)),
             qPrintable(lines[2]));
    // The event log has the resume, and the alarm once its send got through.
    QFile file(dir.filePath("sondral.log"));
    QCOMPARE(file.exists(), log);
    if (log) {
        QVERIFY(lines[3].startsWith("<2>") && lines[3].endsWith("  SONDRAL ACTIVATED"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.count("\r\n"), 2);
        QVERIFY(bytes.contains("Resumed AUTO from the last run (ended 12 s ago)"));
    }
}

void tst_Readers::restoreLineOnlyWhenAskedFor_data() {
    QTest::addColumn<bool>("logRestore");
    QTest::newRow("LogRestore=0") << false;
    QTest::newRow("LogRestore=1") << true;
}

void tst_Readers::restoreLineOnlyWhenAskedFor() {
    QFETCH(bool, logRestore);
    QTemporaryDir dir;
    Settings settings;
    settings.Log = true;
    settings.LogRestore = logRestore;
    EventLog eventLog(dir.filePath("sondral.log"));
    EventLogRecorder recorder(settings, eventLog);
    Station station;
    connect(&station, &Station::eventPublished, &recorder, &EventLogRecorder::record);
    station.edit().outage.seconds = 8;
    station.edit().outage.source = "FEED_3";

    StderrCapture journal(dir.filePath("stderr"));
    station.publish(Kind::OutageBegan);
    station.publish(Kind::OutageRestored, "SONDRAL RESTORED after 8 s");
    const QStringList lines = journal.lines();
    // The journal hears of the restore either way, the log only when asked.
    QCOMPARE(lines.size(), logRestore ? 2 : 1);
    QVERIFY2(lines[0].startsWith("<5>") &&
                 lines[0].endsWith("  programme back after 8 s of dead air (FEED_3)"),
             qPrintable(lines[0]));
    QFile file(dir.filePath("sondral.log"));
    if (!logRestore) {
        QVERIFY(!file.exists());
        return;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().endsWith("  SONDRAL RESTORED after 8 s\r\n"));
}

void tst_Readers::lostLogLinesReachTheOperator() {
    QTemporaryDir dir;
    Settings settings;
    settings.Log = true;
    EventLog eventLog(dir.filePath("missing/sondral.log"));
    EventLogRecorder recorder(settings, eventLog);
    MessageBoxPresenter presenter;
    OperatorNotices notices(presenter);
    Station station;
    connect(&station, &Station::eventPublished, &recorder, &EventLogRecorder::record);
    connect(&recorder, &EventLogRecorder::writeFailed, &notices, &OperatorNotices::logWriteFailed);
    QSignalSpy failed(&recorder, &EventLogRecorder::writeFailed);

    // During start-up the lost line joins the start-up's failures.
    station.publish(Kind::RunStarted, "Program started Up");
    QVERIFY(boxes().isEmpty());
    notices.showStartupMessages();
    QStringList shown = clickThrough();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith("Foutmelding: Kan logbestand"), qPrintable(shown[0]));

    // Later, as the monitor's failure box; monitoring does not wait for it.
    station.publish(Kind::SourceChanged, "Server Running LIVE");
    shown = clickThrough();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith("Sondral: Kan logbestand"), qPrintable(shown[0]));

    // The run's last line is lost on standard error only.
    station.end();
    QCOMPARE(failed.size(), 2);
    QVERIFY(boxes().isEmpty());
}

void tst_Readers::startupMessagesWaitForTheWindow() {
    MessageBoxPresenter presenter;
    OperatorNotices notices(presenter);
    Station station;
    connect(&station, &Station::eventPublished, &notices, &OperatorNotices::notice);
    notices.addStartupProblems({"bad AutoVol", "bad HostPort"});
    station.publish(Kind::LinkFailed, "Kan UDP-poort 5000 niet openen: adres al in gebruik");
    notices.reportFailure("Geluidskaart nummer 3 bestaat niet (1 invoerapparaat gevonden)");
    QVERIFY(boxes().isEmpty());

    notices.showStartupMessages();
    QCOMPARE(boxes().first()->icon(), QMessageBox::Warning);
    QCOMPARE(clickThrough(),
             (QStringList{"Foutmelding: bad AutoVol\nbad HostPort",
                          "Foutmelding: Kan UDP-poort 5000 niet openen: adres al in gebruik\n"
                          "Geluidskaart nummer 3 bestaat niet (1 invoerapparaat gevonden)"}));

    // Once the window is up, a failure is a box of its own.
    station.publish(Kind::LinkFailed, "Kan de server \"x\" niet vinden: onbekende naam");
    QCOMPARE(boxes().first()->icon(), QMessageBox::Critical);
    QCOMPARE(clickThrough(),
             QStringList{"Foutmelding: Kan de server \"x\" niet vinden: onbekende naam"});
}

void tst_Readers::monitorFailuresAndCapture() {
    MessageBoxPresenter presenter;
    OperatorNotices notices(presenter);
    Station station;
    connect(&station, &Station::eventPublished, &notices, &OperatorNotices::notice);
    notices.showStartupMessages();

    station.publish(Kind::DatagramFailed, {}, 10054);        // silent
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED"); // sent: nothing to tell
    station.publish(Kind::AlarmRaised, "SONDRAL ACTIVATED", 11001);
    QCOMPARE(clickThrough(),
             (QStringList{"Sondral: Fout : 11001", "Sondral: Onbekende fout, foutcode : 11001"}));
    // A retry that fails again is told again.
    station.publish(Kind::AlarmSendFailed, {}, 11001);
    QCOMPARE(clickThrough(),
             (QStringList{"Sondral: Fout : 11001", "Sondral: Onbekende fout, foutcode : 11001"}));

    // An input that comes and goes all night leaves one box of each.
    for (int i = 0; i < 20; ++i) {
        station.publish(Kind::CaptureLost, "USB Audio");
        station.publish(Kind::CaptureBack, "USB Audio");
    }
    QCOMPARE(boxes().size(), 1);
    const QStringList shown = clickThrough();
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown[0].startsWith("Foutmelding: Geluidskaart \"USB Audio\" levert geen geluid meer"));
    QCOMPARE(shown[1], QString("Mededeling: Geluidskaart \"USB Audio\" levert weer geluid."));

    // The run's end takes every box with it.
    station.publish(Kind::TickFailed, {}, 6);
    QCOMPARE(boxes().size(), 1);
    station.end();
    QVERIFY(boxes().isEmpty());
}

void tst_Readers::stateFileFailureAndReturn() {
    MessageBoxPresenter presenter;
    OperatorNotices notices(presenter);
    Station station;
    connect(&station, &Station::eventPublished, &notices, &OperatorNotices::notice);
    notices.showStartupMessages();
    station.publish(Kind::StateFileFailed, "/srv/sondral.state: No space left on device");
    station.publish(Kind::StateFileBack, "/srv/sondral.state");
    const QStringList shown = clickThrough();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[0].startsWith("Foutmelding: De toestand kan niet worden bewaard "
                                 "(/srv/sondral.state: No space left on device)."),
             qPrintable(shown[0]));
    QCOMPARE(shown[1],
             QString("Mededeling: De toestand wordt weer bewaard in /srv/sondral.state."));
}

QTEST_MAIN(tst_Readers)
#include "tst_readers.moc"
