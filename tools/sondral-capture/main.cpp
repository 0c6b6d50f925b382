// sondral-capture: captures one device for Sondral and writes its levels on
// standard output (see audio/captureprotocol.h). Sondral starts it, reads it
// and ends it by closing its standard input; it is not meant to be run by
// hand, except "sondral-capture --list" to see the devices Card numbers.
//
// Capture runs in a process of its own so that every attempt after a lost
// device starts with a fresh connection to the sound server, and so that a
// driver that hangs or crashes takes only this process with it.

#include "audio/capturehost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

// Whole lines, straight to the pipe: a line is the unit the reader acts on.
bool writeLine(const QByteArray& line) {
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

int number(const QCommandLineParser& parser, const QString& name, int fallback) {
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

int main(int argc, char* argv[]) {
#ifdef __linux__
    // Never outlive Sondral, even when it dies without closing our input.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    // A closed pipe shows as a failed write, which ends capture in order.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Opnamehulp van Sondral"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("list"), QStringLiteral("Toon de invoerapparaten.")});
    parser.addOption(
        {QStringLiteral("id"), QStringLiteral("Apparaat-id (hex)."), QStringLiteral("hex")});
    parser.addOption(
        {QStringLiteral("position"), QStringLiteral("Plaats in de lijst."), QStringLiteral("n")});
    parser.addOption(
        {QStringLiteral("count"), QStringLiteral("Lengte van de lijst."), QStringLiteral("n")});
    parser.addOption({QStringLiteral("channels"), QStringLiteral("1 of 2."), QStringLiteral("n")});
    parser.process(app);

    if (parser.isSet(QStringLiteral("list")))
        return CaptureHost::listDevices(writeLine) ? 0 : int(CaptureHost::OutputClosed);

    CaptureHost::Request request;
    request.id = QByteArray::fromHex(parser.value(QStringLiteral("id")).toLatin1());
    request.position = number(parser, QStringLiteral("position"), 0);
    request.count = number(parser, QStringLiteral("count"), 0);
    request.channels = number(parser, QStringLiteral("channels"), 2);

    CaptureHost host(writeLine);
    // Queued: the loss is reported from inside the capture's own signals.
    QObject::connect(
        &host, &CaptureHost::finished, &app,
        [&](int code) {
            host.stop();
            QCoreApplication::exit(code);
        },
        Qt::QueuedConnection);
    // Sondral never writes to us; the end of our input is its request to stop.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            input.setEnabled(false);
            host.stop();
            QCoreApplication::exit(CaptureHost::Stopped);
        }
    });
    if (!host.start(request))
        return CaptureHost::OpenFailed;
    return app.exec();
}
