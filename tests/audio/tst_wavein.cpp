#include "audio/connector.h"
#include "audio/devicelist.h"
#include "audio/levelmeter.h"
#include "audio/wavein.h"
#include "support/toneplayer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// The device list as the sound server first gives it: WaveIn asks at once
// and never waits, so a test waits here, up to 3 s.
bool waitForDevices(WaveIn& in) {
    if (in.devicesKnown())
        return true;
    QSignalSpy listed(&in, &WaveIn::devicesChanged);
    return listed.wait(3000) || in.devicesKnown();
}

// Waits up to ms for condition, processing events; returns how long it took
// or -1.
qint64 waitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (condition())
            return clock.elapsed();
        QTest::qWait(5);
    }
    return condition() ? clock.elapsed() : -1;
}

QString pactl(const QStringList& arguments, bool* ok = nullptr) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    const bool done = process.waitForFinished(5000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

const QString sourceName = QStringLiteral("programme_in");

// Position of the test source in the list of a capture that has answered.
int inputPosition(WaveIn& in) {
    waitForDevices(in);
    return int(in.deviceNames().indexOf(QStringLiteral("Programme-ingang")));
}

} // namespace

class TstWaveIn : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void refusesMissingDevice_data();
    void refusesMissingDevice();
    void missingInputIsNamed_data();
    void missingInputIsNamed();
    void stopWithoutStartIsHarmless();
    void toneAndSilence();
    void leftChannelOnly();
    void metersFollowCapture();
    void deviceListFollowsTheServer();
    void deviceLossAndReturn();
    void startsWhenTheDeviceAppears();

private:
    bool startCapture(WaveIn& in);
    void reloadSource();

    std::unique_ptr<TonePlayer> m_player;
    QString m_moduleLine; // module-remap-source arguments, to load it again
    bool m_sourceUnloaded = false;
};

void TstWaveIn::initTestCase() {
    // Without the private server Qt would reach the real sound system.
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the private PulseAudio server (PULSE_SERVER unset)");
    WaveIn in;
    QVERIFY2(inputPosition(in) >= 0, "programme_in is not listed as a capture device");
}

void TstWaveIn::cleanupTestCase() {
    if (m_sourceUnloaded)
        reloadSource();
    m_player.reset();
}

bool TstWaveIn::startCapture(WaveIn& in) {
    if (!in.setDeviceNumber(inputPosition(in)))
        return false;
    in.setCaptureParameter(2);
    if (!in.start()) {
        qWarning("capture: %s", qPrintable(in.errorString()));
        return false;
    }
    // The private server's null sink stalls for about a second when a capture
    // stream connects; the tone that piles up meanwhile would stay queued and
    // delay every later change. A player started afterwards has no backlog.
    m_player = std::make_unique<TonePlayer>();
    if (m_player->start(QProcessEnvironment::systemEnvironment()))
        return true;
    qWarning("pacat did not start");
    return false;
}

void TstWaveIn::refusesMissingDevice_data() {
    QTest::addColumn<int>("offset"); // from the device count, or absolute when negative
    QTest::addColumn<bool>("absolute");
    QTest::newRow("-1") << -1 << true;
    QTest::newRow("count") << 0 << false;
    QTest::newRow("count + 3") << 3 << false;
}

void TstWaveIn::refusesMissingDevice() {
    QFETCH(int, offset);
    QFETCH(bool, absolute);
    WaveIn in;
    QVERIFY(waitForDevices(in));
    const int count = in.deviceCount();
    QVERIFY(count > 0);
    QVERIFY(in.setDeviceNumber(count - 1));
    const int number = absolute ? offset : count + offset;
    QVERIFY(!in.setDeviceNumber(number));
    QCOMPARE(in.deviceNumber(), count - 1);
    QVERIFY2(in.errorString().contains(
                 QStringLiteral("Geluidskaart nummer %1 bestaat niet").arg(number)),
             qPrintable(in.errorString()));
    QVERIFY(in.errorString().contains(QString::number(count)));
}

void TstWaveIn::missingInputIsNamed_data() {
    QTest::addColumn<bool>("server");
    QTest::addColumn<QByteArray>("preferred");
    QTest::addColumn<QString>("text"); // "%1": the list's length; empty: nothing is missing
    QTest::newRow("no sound server")
        << false << QByteArray()
        << "Geen geluidsserver bereikt: geluidskaart nummer 7 wordt niet opgenomen";
    QTest::newRow("no sound server, by name")
        << false << QByteArray("usb_in")
        << "Geen geluidsserver bereikt: geluidskaart \"usb_in\" wordt niet opgenomen";
    QTest::newRow("position not listed")
        << true << QByteArray() << "Geluidskaart nummer 7 bestaat niet (%1";
    QTest::newRow("name and position not listed")
        << true << QByteArray("usb_in") << "Geluidskaart \"usb_in\" (nummer 7) bestaat niet (%1";
    // Listed by name: it is not missing, whatever the position.
    QTest::newRow("name listed") << true << QByteArray("programme_in") << QString();
}

void TstWaveIn::missingInputIsNamed() {
    QFETCH(bool, server);
    QFETCH(QByteArray, preferred);
    QFETCH(QString, text);
    // No server: one that nobody serves, for every connection this
    // capture makes during the test.
    struct ServerFor {
        QByteArray real = qgetenv("PULSE_SERVER");
        explicit ServerFor(bool reachable) {
            if (!reachable)
                qputenv("PULSE_SERVER", "unix:/nonexistent/sondral-no-server");
        }
        ~ServerFor() { qputenv("PULSE_SERVER", real); }
    } serverFor(server);
    WaveIn in;
    QVERIFY(waitForDevices(in));
    in.setPreferredDevice(preferred);
    in.startWhenAvailable(7);
    QTest::qWait(300);
    if (text.contains(u'%'))
        text = text.arg(in.deviceCount());
    if (text.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(in.isDelivering(), 5000);
        QCOMPARE(in.missingDeviceText(), QString());
    } else {
        QVERIFY2(in.missingDeviceText().startsWith(text), qPrintable(in.missingDeviceText()));
    }
    in.stop();
    QCOMPARE(in.missingDeviceText(), QString());
}

void TstWaveIn::stopWithoutStartIsHarmless() {
    WaveIn in;
    in.stop();
    in.stop();
    QVERIFY(!in.isDelivering());
    QCOMPARE(in.level(0), 0);
    QCOMPARE(in.level(1), 0);
    QCOMPARE(in.level(7), 0);

    // Started and destroyed without stop: the destructor joins the thread.
    auto running = std::make_unique<WaveIn>();
    QVERIFY2(startCapture(*running), qPrintable(running->errorString()));
    running.reset();
}

void TstWaveIn::toneAndSilence() {
    WaveIn in;
    QVERIFY2(startCapture(in), qPrintable(in.errorString()));
    QCOMPARE(in.deviceName(), QStringLiteral("Programme-ingang"));
    // A stream that has just opened may take a moment before audio flows;
    // the figures below are measured once it does.
    m_player->tone(-6);
    QVERIFY(waitFor([&] { return in.level(0) >= 85 && in.level(1) >= 85; }, 3000) >= 0);

    m_player->silence();
    const qint64 fall = waitFor([&] { return in.level(0) == 0 && in.level(1) == 0; }, 3000);
    QVERIFY2(fall >= 0,
             qPrintable(QStringLiteral("levels %1 %2").arg(in.level(0)).arg(in.level(1))));

    m_player->tone(-6);
    const qint64 rise = waitFor([&] { return in.level(0) >= 85 && in.level(1) >= 85; }, 3000);
    QVERIFY2(rise >= 0,
             qPrintable(QStringLiteral("levels %1 %2").arg(in.level(0)).arg(in.level(1))));
    QTest::qWait(300);
    QVERIFY2(std::abs(in.level(0) - 90) <= 1, qPrintable(QString::number(in.level(0))));
    QVERIFY2(std::abs(in.level(1) - 90) <= 1, qPrintable(QString::number(in.level(1))));
    QVERIFY(in.instantLevel(0) >= 85);
    m_player->silence();
    qInfo("tone start to level >= 85: %lld ms; tone stop to level 0: %lld ms", rise, fall);
}

void TstWaveIn::leftChannelOnly() {
    WaveIn in;
    QVERIFY2(startCapture(in), qPrintable(in.errorString()));
    m_player->play(-6, std::nullopt);
    QVERIFY(waitFor([&] { return in.level(0) >= 85 && in.level(1) == 0; }, 3000) >= 0);
    QTest::qWait(200);
    QVERIFY(std::abs(in.level(0) - 90) <= 1);
    QCOMPARE(in.level(1), 0);
    m_player->silence();
}

// Columns of the middle row that are painted in the bar's blue.
int blueColumns(QWidget& meter) {
    const QImage image = meter.grab().toImage();
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, image.height() / 2);
        if (qBlue(pixel) > 200 && qRed(pixel) < 100)
            ++count;
    }
    return count;
}

void TstWaveIn::metersFollowCapture() {
    WaveIn in;
    QWidget window;
    auto* left = new LevelMeter(&window);
    auto* right = new LevelMeter(&window);
    left->setGeometry(0, 0, 200, 17);
    right->setGeometry(0, 20, 200, 17);
    Connector::connect(in, *left, *right);
    window.resize(200, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY2(startCapture(in), qPrintable(in.errorString()));

    m_player->play(-6, std::nullopt);
    QVERIFY(waitFor([&] { return in.level(0) >= 85; }, 3000) >= 0);
    QCOMPARE(in.level(1), 0);
    // The left bar reaches about 90 % of its width; the right one shows nothing.
    QVERIFY(waitFor([&] { return blueColumns(*left) >= 170; }, 1000) >= 0);
    QVERIFY(blueColumns(*left) <= 186);
    QCOMPARE(blueColumns(*right), 0);
    m_player->silence();
}

void TstWaveIn::deviceListFollowsTheServer() {
    WaveIn in;
    QVERIFY(waitForDevices(in));
    const int count = in.deviceCount();
    const QStringList names = in.deviceNames();
    QCOMPARE(names.size(), count);
    // Named by description; the monitors of outputs are not capture devices.
    QVERIFY2(names.contains(QStringLiteral("Programme-ingang")), qPrintable(names.join(u',')));
    int inputs = 0;
    const QString sources =
        pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")});
    for (const QString& line : sources.split(u'\n', Qt::SkipEmptyParts))
        if (!line.section(u'\t', 1, 1).endsWith(QStringLiteral(".monitor")))
            ++inputs;
    QCOMPARE(count, inputs);

    // A source loaded while running comes last (the server numbers it
    // highest) and goes again when unloaded, without anyone asking.
    bool ok = false;
    const QString module =
        pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
               QStringLiteral("source_name=extra_in"), QStringLiteral("master=programme.monitor"),
               QStringLiteral("source_properties=device.description=Extra-ingang")},
              &ok)
            .trimmed();
    QVERIFY(ok);
    QTRY_COMPARE_WITH_TIMEOUT(in.deviceNames().size(), count + 1, 3000);
    QCOMPARE(in.deviceNames().last(), QStringLiteral("Extra-ingang"));
    pactl({QStringLiteral("unload-module"), module}, &ok);
    QVERIFY(ok);
    QTRY_COMPARE_WITH_TIMEOUT(in.deviceNames(), names, 3000);
}

void TstWaveIn::startsWhenTheDeviceAppears() {
    // As at a start ahead of the sound server: capture is asked for a
    // position not listed yet, stays quiet, and starts when it appears.
    WaveIn in;
    QVERIFY(waitForDevices(in));
    const int count = in.deviceCount();
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    in.setCaptureParameter(2);
    in.startWhenAvailable(count);
    m_player = std::make_unique<TonePlayer>();
    QVERIFY(m_player->start(QProcessEnvironment::systemEnvironment()));
    m_player->tone(-6);
    QTest::qWait(3000); // more than one retry
    QCOMPARE(lost.count(), 0);
    QCOMPARE(in.level(0), 0);

    bool ok = false;
    const QString module =
        pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
               QStringLiteral("source_name=late_in"), QStringLiteral("master=programme.monitor"),
               QStringLiteral("source_properties=device.description=Late-ingang")},
              &ok)
            .trimmed();
    QVERIFY(ok);
    QVERIFY(waitFor([&] { return in.level(0) >= 85 && in.level(1) >= 85; }, 8000) >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(in.deviceName(), QStringLiteral("Late-ingang"), 1000);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(restored.count(), 0);

    // From its first audio on it is watched like any capture.
    pactl({QStringLiteral("unload-module"), module}, &ok);
    QVERIFY(ok);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 3000);
    QCOMPARE(lost.first().first().toString(), QStringLiteral("Late-ingang"));
    QCOMPARE(in.level(0), 0);
    m_player->silence();
}

void TstWaveIn::deviceLossAndReturn() {
    const QString modules =
        pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")});
    QString index;
    for (const QString& line : modules.split(u'\n')) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() >= 3 && fields.at(1) == QStringLiteral("module-remap-source") &&
            fields.at(2).contains(QStringLiteral("source_name=") + sourceName)) {
            index = fields.at(0);
            m_moduleLine = fields.at(2);
        }
    }
    if (index.isEmpty())
        QSKIP("the remap source module is not loaded");

    WaveIn in;
    QSignalSpy lost(&in, &WaveIn::deviceLost);
    QSignalSpy restored(&in, &WaveIn::deviceRestored);
    bool lostOnOwnThread = false;
    connect(&in, &WaveIn::deviceLost, this,
            [&] { lostOnOwnThread = QThread::currentThread() == thread(); });
    QVERIFY2(startCapture(in), qPrintable(in.errorString()));
    m_player->tone(-6);
    QVERIFY(waitFor([&] { return in.level(0) >= 85; }, 3000) >= 0);

    bool ok = false;
    pactl({QStringLiteral("unload-module"), index}, &ok);
    QVERIFY(ok);
    m_sourceUnloaded = true;
    // Fail-safe: the level falls to 0 although the tone still plays.
    QVERIFY(waitFor([&] { return in.level(0) == 0 && in.level(1) == 0; }, 3000) >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 3000);
    QCOMPARE(lost.first().first().toString(), QStringLiteral("Programme-ingang"));
    QVERIFY(lostOnOwnThread);
    QCOMPARE(restored.count(), 0);

    reloadSource();
    QTRY_COMPARE_WITH_TIMEOUT(restored.count(), 1, 8000);
    QVERIFY(waitFor([&] { return in.level(0) >= 85 && in.level(1) >= 85; }, 3000) >= 0);
    QCOMPARE(lost.count(), 1);
    m_player->silence();
}

void TstWaveIn::reloadSource() {
    QStringList arguments{QStringLiteral("load-module"), QStringLiteral("module-remap-source")};
    // The arguments as pactl lists them; the description may be quoted.
    static const QRegularExpression argument(QStringLiteral("(\\w+=(?:\"[^\"]*\"|'[^']*'|\\S+))"));
    auto it = argument.globalMatch(m_moduleLine);
    while (it.hasNext())
        arguments << it.next().captured(1);
    bool ok = false;
    pactl(arguments, &ok);
    QVERIFY2(ok, qPrintable(arguments.join(u' ')));
    m_sourceUnloaded = false;
    pactl({QStringLiteral("set-default-source"), sourceName});
}

QTEST_MAIN(TstWaveIn)
#include "tst_wavein.moc"
