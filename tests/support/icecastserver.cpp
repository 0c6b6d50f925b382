#include "support/icecastserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

IcecastServer::IcecastServer(const QString& folder) : m_folder(folder), m_port(freeTcpPort()) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                      QFileDevice::WriteOther | QFileDevice::ExeOther);
    QFile config(folder + QStringLiteral("/icecast.xml"));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(
        QStringLiteral("<icecast><limits><clients>20</clients><sources>4</sources>"
                       "<burst-on-connect>1</burst-on-connect><burst-size>65536</burst-size>"
                       "</limits><authentication><source-password>%2</source-password>"
                       "<admin-user>admin</admin-user><admin-password>%2-admin</admin-password>"
                       "</authentication><hostname>127.0.0.1</hostname>"
                       "<listen-socket><port>%1</port><bind-address>127.0.0.1</bind-address>"
                       "</listen-socket><paths><basedir>%3</basedir><logdir>%3</logdir>"
                       "<webroot>/usr/share/icecast2/web</webroot>"
                       "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
                       "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                       "<loglevel>2</loglevel></logging><security><chroot>0</chroot>"
                       "<changeowner><user>nobody</user><group>nogroup</group></changeowner>"
                       "</security></icecast>\n")
            .arg(m_port)
            .arg(password(), folder)
            .toUtf8());
}

IcecastServer::~IcecastServer() {
    stopFeed();
    stop();
}

QString IcecastServer::password() const {
    return QStringLiteral("src-%1").arg(m_port);
}

QString IcecastServer::url(const QString& mount) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(mount);
}

bool IcecastServer::start() {
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(QStringLiteral("icecast2"),
                   {QStringLiteral("-c"), m_folder + QStringLiteral("/icecast.xml")});
    if (!m_server.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!accepts(m_port)) {
        if (deadline.hasExpired() || m_server.state() != QProcess::Running)
            return false;
        QTest::qWait(50);
    }
    return true;
}

void IcecastServer::stop() {
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.kill();
    m_server.waitForFinished(5000);
}

bool IcecastServer::feed(const QString& graph, const QString& mount) {
    stopFeed();
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"),    QStringLiteral("-re"),
                     QStringLiteral("-f"),       QStringLiteral("lavfi"),
                     QStringLiteral("-i"),       graph,
                     QStringLiteral("-ac"),      QStringLiteral("2")};
    if (mount.endsWith(QStringLiteral(".ogg"))) {
        args << QStringLiteral("-c:a") << QStringLiteral("libopus") << QStringLiteral("-b:a")
             << QStringLiteral("96k") << QStringLiteral("-content_type")
             << QStringLiteral("application/ogg") << QStringLiteral("-f") << QStringLiteral("ogg");
    } else {
        args << QStringLiteral("-c:a") << QStringLiteral("libmp3lame") << QStringLiteral("-b:a")
             << QStringLiteral("128k") << QStringLiteral("-content_type")
             << QStringLiteral("audio/mpeg") << QStringLiteral("-f") << QStringLiteral("mp3");
    }
    args << QStringLiteral("icecast://source:%1@127.0.0.1:%2/%3")
                .arg(password())
                .arg(m_port)
                .arg(mount);
    m_feeder.start(QStringLiteral("ffmpeg"), args);
    return m_feeder.waitForStarted(5000);
}

void IcecastServer::stopFeed() {
    if (m_feeder.state() == QProcess::NotRunning)
        return;
    m_feeder.kill();
    m_feeder.waitForFinished(5000);
}

bool IcecastServer::mountPlays(const QString& mount) const {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(200))
        return false;
    socket.write(QStringLiteral("GET /%1 HTTP/1.0\r\n\r\n").arg(mount).toUtf8());
    while (!socket.canReadLine() && socket.waitForReadyRead(1000)) {
    }
    return socket.readLine().contains(" 200 ");
}

quint16 IcecastServer::freeTcpPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool IcecastServer::accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}
