// sondral-sim: a stand-in for the playout server, for commissioning the link
// and for scripted tests. See helpText() below.
#include "tools/sondral-sim/scriptparser.h"
#include "tools/sondral-sim/simrunner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostInfo>
#include <QTextStream>

namespace {

const char* helpText() {
    return R"(Usage: sondral-sim [--host H] [--port P] [--listen L] [--bind A]
                  [--script FILE | COMMAND[, COMMAND...]]

Stands in for the playout (automation) PC on the other end of Sondral's link.
It sends Sondral the datagrams the playout PC would send, prints every
datagram that comes back (the alarm "SN_ALARM") with a time stamp, and can
play a scripted sequence.

Options:
  --host H      Sondral PC, name or address (default 127.0.0.1). This is where
                Sondral runs; its HostPort setting is the port below.
  --port P      Sondral's HostPort, where its datagrams go (default 5000).
  --listen L    Receive on UDP port L: set Sondral's RemotePort to L and its
                RemoteName to this PC. Datagrams are also sent from port L.
  --bind A      Local address to listen on (default 0.0.0.0, all addresses;
                127.0.0.1 keeps it on this machine).
  --script FILE Read the commands from FILE, one per line; '#' starts a comment.
  --help        This text.

Commands (on the command line separated by commas; one argument or many):
  send KEYWORD       Send KEYWORD as one datagram, exactly as typed, no line end:
                     SN_AUTO, SN_LIVE, SN_FEED_1 .. SN_FEED_4, SN_PAUSE_ON,
                     SN_PAUSE_OFF (Sondral matches them case-sensitively).
  send-hex HEX       Send raw bytes, e.g. send-hex 534e5f4155544f0d0a
                     ("SN_AUTO" with CR LF, which Sondral must ignore).
  wait SECONDS       Pause; fractions allowed (wait 0.5).
  listen [SECONDS]   Only print what arrives, for SECONDS or until Ctrl-C.
  expect KEYWORD [SECONDS]
                     Wait until a datagram equal to KEYWORD has arrived (also
                     one that arrived earlier and was not yet expected); fail
                     after SECONDS (default 10).

Output, one line per event:
  14:03:07.512  to 192.168.1.20:5000  "SN_AUTO"
  14:03:18.530  from 192.168.1.20:5000  "SN_ALARM"
Payloads are shown in double quotes; bytes that are not printable ASCII are
escaped (\r \n \t \0 \xHH).

Exit status: 0 done, 1 an expect timed out, 2 bad usage, 3 socket error.

Commissioning the link from the playout PC (Sondral at 192.168.1.20 with
HostPort=5000, RemoteName=<this PC>, RemotePort=5001, Log=1):
  1. Is Sondral listening? Send a source and look for "Server Running AUTO"
     in Sondral's status line or sondral.log:
       sondral-sim --host 192.168.1.20 --port 5000 send SN_AUTO
  2. Does the alarm reach this PC? Arm the automation with the programme
     silent and wait for the alarm (AutoTime + 1 seconds):
       sondral-sim --host 192.168.1.20 --port 5000 --listen 5001 \
           send SN_AUTO, expect SN_ALARM 120
  3. Just watch for alarms while the real playout system runs:
       sondral-sim --listen 5001 listen
  4. A whole sequence from a file:
       sondral-sim --host 192.168.1.20 --listen 5001 --script check.txt
     with check.txt:
       send SN_AUTO
       wait 5
       send SN_PAUSE_ON     # counting stops while paused
       wait 30
       send SN_PAUSE_OFF
       expect SN_ALARM 60
)";
}

QHostAddress resolve(const QString& name) {
    QHostAddress address;
    if (address.setAddress(name))
        return address;
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress& candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol)
            return candidate;
    }
    return info.addresses().isEmpty() ? QHostAddress() : info.addresses().first();
}

bool parsePort(const QString& text, quint16* port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondral-sim"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption hostOption(QStringLiteral("host"), QString(), QStringLiteral("H"),
                                        QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("P"),
                                        QStringLiteral("5000"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QString(), QStringLiteral("L"));
    const QCommandLineOption bindOption(QStringLiteral("bind"), QString(), QStringLiteral("A"),
                                        QStringLiteral("0.0.0.0"));
    const QCommandLineOption scriptOption(QStringLiteral("script"), QString(),
                                          QStringLiteral("FILE"));
    const QCommandLineOption helpOption({QStringLiteral("help"), QStringLiteral("h")}, QString());
    parser.addOptions({hostOption, portOption, listenOption, bindOption, scriptOption, helpOption});

    if (!parser.parse(QCoreApplication::arguments())) {
        err << "sondral-sim: " << parser.errorText() << " (see --help)" << Qt::endl;
        return SimRunner::UsageError;
    }
    if (parser.isSet(helpOption)) {
        out << helpText();
        return SimRunner::Ok;
    }

    quint16 port = 0;
    if (!parsePort(parser.value(portOption), &port)) {
        err << "sondral-sim: --port needs a port number from 1 to 65535" << Qt::endl;
        return SimRunner::UsageError;
    }
    const QHostAddress host = resolve(parser.value(hostOption));
    if (host.isNull()) {
        err << "sondral-sim: cannot resolve host " << parser.value(hostOption) << Qt::endl;
        return SimRunner::UsageError;
    }

    ScriptParser::Result commands;
    if (parser.isSet(scriptOption)) {
        if (!parser.positionalArguments().isEmpty()) {
            err << "sondral-sim: give either --script or commands, not both" << Qt::endl;
            return SimRunner::UsageError;
        }
        QFile script(parser.value(scriptOption));
        if (!script.open(QIODevice::ReadOnly | QIODevice::Text)) {
            err << "sondral-sim: cannot read " << script.fileName() << ": " << script.errorString()
                << Qt::endl;
            return SimRunner::UsageError;
        }
        commands = ScriptParser::parseScript(QString::fromUtf8(script.readAll()));
    } else {
        commands = ScriptParser::parseArguments(parser.positionalArguments());
    }
    if (!commands.m_error.isEmpty()) {
        err << "sondral-sim: " << commands.m_error << Qt::endl;
        return SimRunner::UsageError;
    }
    if (commands.m_commands.isEmpty() && !parser.isSet(listenOption)) {
        err << "sondral-sim: nothing to do (see --help)" << Qt::endl;
        return SimRunner::UsageError;
    }

    SimRunner runner(host, port, out, err);
    if (parser.isSet(listenOption)) {
        quint16 listenPort = 0;
        if (!parsePort(parser.value(listenOption), &listenPort)) {
            err << "sondral-sim: --listen needs a port number from 1 to 65535" << Qt::endl;
            return SimRunner::UsageError;
        }
        QHostAddress bindAddress;
        if (!bindAddress.setAddress(parser.value(bindOption))) {
            err << "sondral-sim: --bind needs an address, e.g. 127.0.0.1" << Qt::endl;
            return SimRunner::UsageError;
        }
        if (!runner.listenOn(bindAddress, listenPort))
            return SimRunner::SocketError;
        // --listen on its own means: print what arrives until interrupted.
        if (commands.m_commands.isEmpty())
            commands.m_commands.append({SimCommand::Kind::Listen, {}, -1.0, 1});
    }
    return runner.run(commands.m_commands);
}
