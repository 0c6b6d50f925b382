// Shows one settings dialog with sample values and saves a picture of it,
// taken from the screen, to the given file.

#include "settings/inifile.h"
#include "settings/settings.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/messageboxpresenter.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "audio" && args[1] != "interpc")) {
        QTextStream(stderr) << "usage: sondral-screenshot audio|interpc OUTPUT.png\n";
        return 2;
    }

    Settings settings;
    settings.Card = 0;
    settings.AutoVol = 10;
    settings.Autotime = 30;
    settings.Feed1Vol = 8;
    settings.Feed1time = 60;
    settings.Feed2Vol = 8;
    settings.Feed2time = 60;
    settings.Feed3Vol = 12;
    settings.Feed3time = 45;
    settings.Feed4Vol = 5;
    settings.Feed4time = 100;
    settings.Log = true;
    settings.RemoteName = QStringLiteral("playout-pc");
    settings.RemotePort = 5001;
    settings.HostPort = 5002;

    IniFile ini; // never written: nothing is saved
    MessageBoxPresenter messages;
    // The dialogs delete themselves when closed, and quitting closes them.
    QPointer<QDialog> dialog;
    if (args[1] == "audio") {
        dialog = new frmAudio(
            settings, ini, QString(),
            [] {
                return QStringList{QStringLiteral("Built-in Audio Analog Stereo"),
                                   QStringLiteral("USB Audio CODEC Analog Stereo")};
            },
            messages);
    } else {
        dialog = new frmInterPC(settings, ini, QString(), messages);
    }
    dialog->move(40, 40);
    dialog->show();

    int result = 1;
    QTimer::singleShot(800, &app, [&] {
        const QRect frame = dialog->geometry();
        const QPixmap shot =
            dialog->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        result = shot.save(args[2]) ? 0 : 1;
        app.quit();
    });
    app.exec();
    delete dialog.data();
    return result;
}
