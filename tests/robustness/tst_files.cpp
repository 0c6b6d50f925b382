// The files beside sondral.ini as another program or the disk can leave
// them, with the real executable: a FIFO where sondral.state belongs must not
// hold the start-up, and a disk that fills up must not cost the last good
// state; both are told, and a disk with room again is used again.
#include "support/serverpeer.h"
#include "support/sondralinstance.h"
#include "support/udpports.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

const QString NotKept = QStringLiteral("De toestand kan niet worden bewaard");

QByteArray iniFor(quint16 hostPort, quint16 peerPort, quint16 statusPort) {
    // AutoTime at its maximum: the automation's silence (no sound server
    // here) must not alarm while the test runs.
    QByteArray ini = "[Audio]\nAutoVol=20\nAutoTime=100\n[InterPC]\nRemoteName=127.0.0.1\n"
                     "RemotePort=" +
                     QByteArray::number(peerPort) + "\nHostPort=" + QByteArray::number(hostPort) +
                     "\n";
    if (statusPort != 0)
        ini += "[Status]\nPort=" + QByteArray::number(statusPort) + "\n";
    return ini;
}

quint16 freeTcpPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstFiles : public QObject {
    Q_OBJECT
private slots:
    void fifoAsStateFileDoesNotHoldTheStart();
    void fullDiskKeepsTheLastStateAndRecovers();

private:
    // The status page's "state_file" object, or an empty one.
    QJsonObject stateFileStatus(quint16 port);
    QNetworkAccessManager m_web;
};

QJsonObject TstFiles::stateFileStatus(quint16 port) {
    QNetworkReply* reply = m_web.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/status.json").arg(port))));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000))
        return {};
    const QJsonObject status = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return status.value(QStringLiteral("state_file")).toObject();
}

void TstFiles::fifoAsStateFileDoesNotHoldTheStart() {
    QTemporaryDir dir;
    const QByteArray state = QFile::encodeName(dir.filePath(QStringLiteral("sondral.state")));
    QVERIFY(::mkfifo(state.constData(), 0644) == 0);
    ServerPeer peer;
    QVERIFY(peer.bind());
    const quint16 hostPort = UdpPorts::freePort();
    SondralInstance sondral(dir.path());
    sondral.writeIni(iniFor(hostPort, peer.port(), 0));
    QVERIFY(sondral.start());
    QVERIFY2(
        sondral.waitForOutput(QStringLiteral("is a FIFO, not a regular file: left alone"), 10000),
        qPrintable(sondral.output()));
    QVERIFY(sondral.output().contains(QStringLiteral("the last run's state is not read")));
    QVERIFY2(sondral.waitForOutput(NotKept, 5000), qPrintable(sondral.output()));
    // It monitors, it still is a FIFO, and SIGTERM ends it.
    QTRY_VERIFY_WITH_TIMEOUT(!UdpPorts::canBind(hostPort), 5000);
    struct stat st {};
    QVERIFY(::lstat(state.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QVERIFY(sondral.terminate(5000));
}

void TstFiles::fullDiskKeepsTheLastStateAndRecovers() {
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    QTemporaryDir base;
    const QString disk = base.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    // Room for the copies of the program and its stream module, and a
    // little more.
    const qint64 room = QFileInfo(QStringLiteral(SONDRAL_EXECUTABLE)).size() +
                        QFileInfo(QStringLiteral(SONDRAL_STREAM_MODULE)).size() + 1024 * 1024;
    const QByteArray options = "size=" + QByteArray::number(room);
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, options.constData()) != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(errno)))));
    const auto unmount =
        qScopeGuard([&disk] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
    // What the program prints goes to the disk the test may write to.
    QVERIFY(QFile::link(base.filePath(QStringLiteral("output.txt")),
                        disk + QStringLiteral("/output.txt")));

    ServerPeer peer;
    QVERIFY(peer.bind());
    const quint16 hostPort = UdpPorts::freePort();
    const quint16 statusPort = freeTcpPort();
    const QString state = disk + QStringLiteral("/sondral.state");
    {
        SondralInstance sondral(disk);
        sondral.writeIni(iniFor(hostPort, peer.port(), statusPort));
        QVERIFY(sondral.start());
        QVERIFY2(sondral.waitForOutput(QStringLiteral("Status page on"), 10000),
                 qPrintable(sondral.output()));
        QTRY_VERIFY_WITH_TIMEOUT(!UdpPorts::canBind(hostPort), 5000);
        peer.send("SN_LIVE", hostPort);
        QTRY_VERIFY_WITH_TIMEOUT(fileBytes(state).startsWith("Source=SN_LIVE\n"), 5000);
        const QByteArray lastGood = fileBytes(state);

        // The disk fills up.
        QFile filler(disk + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(64 * 1024, 'x');
        while (filler.write(block) > 0) {
        }
        filler.close();
        peer.send("SN_AUTO", hostPort);
        QVERIFY2(sondral.waitForOutput(QStringLiteral("cannot write the state file"), 5000),
                 qPrintable(sondral.output()));
        QVERIFY2(sondral.waitForOutput(NotKept, 5000), qPrintable(sondral.output()));
        QCOMPARE(fileBytes(state), lastGood);
        // The page follows the station within its next copy (100 ms).
        QJsonObject health;
        QTRY_VERIFY_WITH_TIMEOUT(
            (health = stateFileStatus(statusPort)).value(QStringLiteral("ok")) == QJsonValue(false),
            3000);
        QVERIFY2(health.value(QStringLiteral("error")).toString().contains(state),
                 qPrintable(health.value(QStringLiteral("error")).toString()));

        // Room again: the next change is written, and that is said.
        QVERIFY(QFile::remove(filler.fileName()));
        peer.send("SN_LIVE", hostPort);
        QVERIFY2(sondral.waitForOutput(QStringLiteral("the state file is written again"), 5000),
                 qPrintable(sondral.output()));
        QVERIFY(fileBytes(state).startsWith("Source=SN_LIVE\n"));
        QTRY_VERIFY_WITH_TIMEOUT(
            stateFileStatus(statusPort).value(QStringLiteral("ok")) == QJsonValue(true), 3000);
        QCOMPARE(sondral.output().count(QStringLiteral("cannot write the state file")), 1);
        QVERIFY(sondral.terminate(5000));
    }
    QVERIFY(
        QDir(disk).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".tmp")).isEmpty());
}

QTEST_GUILESS_MAIN(TstFiles)
#include "tst_files.moc"
