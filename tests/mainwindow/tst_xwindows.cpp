// The real program on a virtual X display, driven with the mouse and keys
// as an operator would: the titles the window system shows, a shutdown
// signal while the audio dialog's restart message stands, and the capture's
// pace following whether the window can be seen. Skipped where xvfb-run,
// xdotool or xprop are missing.
#include "support/sondralinstance.h"
#include "support/toneplayer.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool haveTools() {
    for (const char* tool : {"xvfb-run", "xdotool", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    return true;
}

// Output of a short X tool; empty when it fails.
QProcessEnvironment xEnvironment(const QString& display, const QString& xauthority) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("XAUTHORITY"), xauthority);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QString run(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

class tst_XWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void titlesAreExact();
    void sigtermWithRestartMessageOpenExitsCleanly();
    void paceFollowsTheWindow();

private:
    // The visible top-level windows, id to title as _NET_WM_NAME holds it.
    QMap<QString, QString> windows();
    // The id of the visible window titled exactly `title`, waiting for it.
    QString waitForWindow(const QString& title, int timeoutMs = 10000);
    void click(const QString& window, int x, int y);
    // Closes every "Foutmelding" box (start-up problems, no sound card) by
    // its OK button.
    void dismissErrorBoxes();
    // Starts sondral, opens Instellingen > Audio and saves: the restart
    // message then stands. Fails the test when a step does not show.
    void openRestartMessage();
    // Without a settings file when ini is empty.
    bool startOnDisplay(const QByteArray& ini);
    // Wake-ups of sondral's audio thread in the next second; -1 when it is
    // not there.
    int audioWakeupsPerSecond();
    // Pixels of the meters' bar colour in the window, as a screen shows it.
    int meterBarPixels(const QString& window);

    QProcess m_xvfb;
    QString m_display;
    QString m_xauthority;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SondralInstance> m_sondral;
};

void tst_XWindows::init() {
    if (!haveTools())
        QSKIP("xvfb-run, xdotool or xprop missing");
    // xvfb-run prints the display its command runs on; the command waits
    // on its standard input, so closing that ends it and xvfb-run cleans up.
    m_xvfb.start(QStringLiteral("xvfb-run"),
                 {QStringLiteral("-a"), QStringLiteral("-s"),
                  QStringLiteral("-screen 0 1280x1024x24"), QStringLiteral("sh"),
                  QStringLiteral("-c"),
                  QStringLiteral("echo \"$DISPLAY $XAUTHORITY\"; read line")});
    QVERIFY(m_xvfb.waitForStarted(10000));
    QElapsedTimer timer;
    timer.start();
    while (!m_xvfb.canReadLine() && timer.elapsed() < 15000)
        m_xvfb.waitForReadyRead(500);
    const QStringList line = QString::fromLocal8Bit(m_xvfb.readLine()).trimmed().split(u' ');
    m_display = line.value(0);
    m_xauthority = line.value(1);
    QVERIFY2(m_display.startsWith(u':'), qPrintable(line.join(u' ')));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_XWindows::cleanup() {
    if (QTest::currentTestFailed() && m_sondral)
        qWarning("sondral printed:\n%s", qPrintable(m_sondral->output()));
    m_sondral.reset();
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.closeWriteChannel();
        if (!m_xvfb.waitForFinished(10000))
            m_xvfb.kill();
    }
    m_dir.reset();
}

QMap<QString, QString> tst_XWindows::windows() {
    QMap<QString, QString> result;
    const QString ids = run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--name"), QStringLiteral(".")},
                            xEnvironment(m_display, m_xauthority));
    static const QRegularExpression value(QStringLiteral("= \"(.*)\"$"));
    for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
        const QString prop = run(QStringLiteral("xprop"),
                                 {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_NAME")},
                                 xEnvironment(m_display, m_xauthority));
        const auto match = value.match(prop);
        if (match.hasMatch())
            result.insert(id, match.captured(1));
    }
    return result;
}

QString tst_XWindows::waitForWindow(const QString& title, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    do {
        const auto all = windows();
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            if (it.value() == title)
                return it.key();
        QTest::qWait(200);
    } while (timer.elapsed() < timeoutMs);
    return {};
}

void tst_XWindows::click(const QString& window, int x, int y) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
         QString::number(y), QStringLiteral("click"), QStringLiteral("1")},
        xEnvironment(m_display, m_xauthority));
    QTest::qWait(300);
}

void tst_XWindows::dismissErrorBoxes() {
    for (int i = 0; i < 5; ++i) {
        const QString box = waitForWindow(QStringLiteral("Foutmelding"), 500);
        if (box.isEmpty())
            return;
        const QString geometry =
            run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), box},
                xEnvironment(m_display, m_xauthority));
        static const QRegularExpression size(QStringLiteral("Geometry: (\\d+)x(\\d+)"));
        const auto match = size.match(geometry);
        if (!match.hasMatch())
            return;
        // The OK button sits at the bottom right.
        click(box, match.captured(1).toInt() - 45, match.captured(2).toInt() - 22);
    }
}

bool tst_XWindows::startOnDisplay(const QByteArray& ini) {
    m_sondral = std::make_unique<SondralInstance>(m_dir->path());
    if (!ini.isEmpty())
        m_sondral->writeIni(ini);
    QProcessEnvironment display;
    display.insert(QStringLiteral("DISPLAY"), m_display);
    display.insert(QStringLiteral("XAUTHORITY"), m_xauthority);
    display.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        display.insert(QStringLiteral("PULSE_SERVER"), qEnvironmentVariable("PULSE_SERVER"));
    return m_sondral->start(display, SondralInstance::Platform::Unchosen);
}

void tst_XWindows::openRestartMessage() {
    // A bad value, so that start-up shows a box as well.
    QVERIFY(startOnDisplay("[Audio]\nLog=1\nAutoVol=abc\n"));

    const QString main = waitForWindow(QStringLiteral("Sondral"));
    QVERIFY2(!main.isEmpty(), qPrintable(QStringList(windows().values()).join(u'|')));
    QVERIFY2(!waitForWindow(QStringLiteral("Foutmelding")).isEmpty(),
             qPrintable(QStringList(windows().values()).join(u'|')));
    dismissErrorBoxes();

    // Programma, then the key Right to Instellingen, whose first item is Audio.
    click(main, 25, 10);
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Right")},
        xEnvironment(m_display, m_xauthority));
    QTest::qWait(300);
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")},
        xEnvironment(m_display, m_xauthority));
    const QString audio = waitForWindow(QStringLiteral("Audio Instellingen"));
    QVERIFY2(!audio.isEmpty(), qPrintable(QStringList(windows().values()).join(u'|')));
    dismissErrorBoxes(); // "Kan geen geluidskaart vinden" without a sound server

    // The save button, bottom centre of the fixed 380 x 556 dialog.
    click(audio, 190, 524);
    QVERIFY2(!waitForWindow(QStringLiteral("Mededeling")).isEmpty(),
             qPrintable(QStringList(windows().values()).join(u'|')));
}

void tst_XWindows::titlesAreExact() {
    openRestartMessage();
    if (QTest::currentTestFailed())
        return;
    QStringList titles = windows().values();
    titles.sort();
    QCOMPARE(titles, (QStringList{"Audio Instellingen", "Mededeling", "Sondral"}));
}

void tst_XWindows::sigtermWithRestartMessageOpenExitsCleanly() {
    openRestartMessage();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_sondral->terminate(15000));
    QCOMPARE(m_sondral->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sondral->exitCode(), 0);
    const QStringList messages = m_sondral->messages();
    QCOMPARE(messages.count(QStringLiteral("Program Closed")), 1);
    QCOMPARE(messages.last(), QStringLiteral("Program Closed"));
}

int tst_XWindows::audioWakeupsPerSecond() {
    // The audio thread's voluntary context switches over one second: each
    // is a wake-up, for a delivery from the sound server or the thread's own
    // timer.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(m_sondral->pid());
    auto switches = [&]() -> qint64 {
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks + u'/' + task + QStringLiteral("/comm"));
            if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "sondral-audio")
                continue;
            QFile status(tasks + u'/' + task + QStringLiteral("/status"));
            if (!status.open(QIODevice::ReadOnly))
                return -1;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("voluntary_ctxt_switches:"))
                    return line.mid(24).trimmed().toLongLong();
        }
        return -1;
    };
    const qint64 before = switches();
    QTest::qWait(1000);
    const qint64 after = switches();
    return before < 0 || after < 0 ? -1 : int(after - before);
}

int tst_XWindows::meterBarPixels(const QString& window) {
    QProcess grab;
    grab.setProcessEnvironment(xEnvironment(m_display, m_xauthority));
    grab.start(QStringLiteral("import"),
               {QStringLiteral("-window"), window, QStringLiteral("png:-")});
    if (!grab.waitForFinished(10000))
        return -1;
    const QImage shot = QImage::fromData(grab.readAllStandardOutput(), "PNG");
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            count += shot.pixelColor(x, y) == QColor(0x20, 0x60, 0xff);
    return count;
}

// While the window can be seen the capture takes every delivery as it comes
// (about every 20 ms or sooner) and the meters move; hidden, it wakes about
// four times a second and nothing is drawn; seen again, short deliveries
// within a second and the meters at once where the signal stands. The
// silence check reads the same levels either way.
void tst_XWindows::paceFollowsTheWindow() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") ||
        QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        QSKIP("needs the private PulseAudio server and ImageMagick's import");
    TonePlayer tone;
    QVERIFY(tone.start(QProcessEnvironment::systemEnvironment()));
    tone.tone(-6);
    // A first start without a settings file: no box covers the meters.
    QVERIFY(startOnDisplay({}));
    const QString main = waitForWindow(QStringLiteral("Sondral"));
    QVERIFY(!main.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(meterBarPixels(main) > 4000, 10000);
    const int watched = audioWakeupsPerSecond();
    QVERIFY2(watched >= 30, qPrintable(QString::number(watched)));

    const QProcessEnvironment x = xEnvironment(m_display, m_xauthority);
    run(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), main}, x);
    QTest::qWait(500);
    const int hidden = audioWakeupsPerSecond();
    QVERIFY2(hidden <= 12, qPrintable(QString::number(hidden)));

    run(QStringLiteral("xdotool"), {QStringLiteral("windowmap"), main}, x);
    QTest::qWait(300);
    QVERIFY2(meterBarPixels(main) > 4000, "the meters did not catch up when shown");
    const int again = audioWakeupsPerSecond();
    QVERIFY2(again >= 30, qPrintable(QString::number(again)));
    QVERIFY(m_sondral->terminate());
}

QTEST_GUILESS_MAIN(tst_XWindows)
#include "tst_xwindows.moc"
