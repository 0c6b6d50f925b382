#pragma once

#include <QProcess>
#include <QString>

// A private Icecast on 127.0.0.1 for the stream tests: its configuration,
// free port and passwords written into a folder of the test's, run as nobody
// (<changeowner>, since tests run as root), and the ffmpeg that feeds one
// mount from a lavfi graph in real time. Both end with the object.
class IcecastServer {
public:
    // folder must outlive the server; it is made writable for nobody.
    explicit IcecastServer(const QString& folder);
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    quint16 port() const { return m_port; }
    QString url(const QString& mount) const;

    // Starts the server; true once it accepts connections (within 5 s).
    bool start();
    // Kills it: its listeners see the connection drop.
    void stop();

    // A lavfi graph (e.g. "sine=frequency=1000:sample_rate=48000") into the
    // mount, in real time: MP3 at 128 kbit/s, or Ogg/Opus for a .ogg mount.
    bool feed(const QString& graph, const QString& mount = QStringLiteral("live.mp3"));
    void stopFeed();
    // Whether the server plays the mount (answers 200) now.
    bool mountPlays(const QString& mount) const;

    // A TCP port nothing listened on a moment ago.
    static quint16 freeTcpPort();
    // Whether something accepts connections on the port of 127.0.0.1 now.
    static bool accepts(quint16 port);

private:
    QString password() const;

    QString m_folder;
    quint16 m_port;
    QProcess m_server;
    QProcess m_feeder;
};
