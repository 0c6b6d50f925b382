#include "app/sondralapp.h"
#include "notify/notifytestrun.h"
#include "service/headless.h"
#include "settings/journal.h"
#include "settings/settingsfile.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

namespace {
// How long the end of a run waits for its last journal lines ("Program
// Closed") to get out; a reader who stopped reading does not hold the end
// any longer than this.
constexpr int JournalFlushMs = 1000;

// `sondral --test-notify`: the paths of sondral.ini beside the program,
// tried once; nothing of the monitor runs.
int testNotify(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SettingsFile file(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("sondral.ini")));
    file.load();
    NotifyTestRun run(file.settings(), [](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    });
    QObject::connect(&run, &NotifyTestRun::finished, &app, &QCoreApplication::exit);
    run.start();
    const int status = app.exec();
    Journal::flush(JournalFlushMs);
    return status;
}
} // namespace

int main(int argc, char** argv) {
    // Qt's warnings too must never wait for the journal's reader.
    Journal::takeOverQtMessages();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--test-notify") == 0)
            return testNotify(argc, argv);
    }

    // Before the QApplication: that is when Qt picks its platform.
    const Headless::DisplayChoice display = Headless::chooseDisplay(argc, argv);

    QApplication app(argc, argv);
    SondralApp sondral(QCoreApplication::applicationDirPath());
    sondral.start(display.offscreen, display.notice);
    const int status = app.exec();
    sondral.finishNotifications(3000);
    Journal::flush(JournalFlushMs);
    return status;
}
