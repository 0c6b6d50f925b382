// Shows one settings dialog with sample values and saves a picture of it,
// taken from the screen, to the given file.

#include "settings/settingsfile.h"
#include "ui/frmaudio.h"
#include "ui/frminterpc.h"
#include "ui/messageboxpresenter.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "audio" && args[1] != "interpc")) {
        QTextStream(stderr) << "usage: sondral-screenshot audio|interpc OUTPUT.png\n";
        return 2;
    }

    // The sample values go through a settings file of their own, as the
    // dialogs read them; nothing is saved back.
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("sondral.ini"));
    {
        QFile ini(iniPath);
        if (!dir.isValid() || !ini.open(QIODevice::WriteOnly) ||
            ini.write("[Audio]\nCard=0\nAutoVol=10\nAutoTime=30\nFeed1Vol=8\nFeed1Time=60\n"
                      "Feed2Vol=8\nFeed2Time=60\nFeed3Vol=12\nFeed3Time=45\nFeed4Vol=5\n"
                      "Feed4Time=100\nLog=1\n[InterPC]\nRemoteName=playout-pc\n"
                      "RemotePort=5001\nHostPort=5002\n") < 0) {
            QTextStream(stderr) << "sondral-screenshot: cannot write " << iniPath << "\n";
            return 1;
        }
    }
    SettingsFile settings(iniPath);
    settings.load();

    MessageBoxPresenter messages;
    // The dialogs delete themselves when closed, and quitting closes them.
    QPointer<QDialog> dialog;
    if (args[1] == "audio") {
        dialog = new frmAudio(
            settings,
            [] {
                return CaptureDeviceList{{"alsa_input.pci-0000_00_1f.3.analog-stereo",
                                          QStringLiteral("Built-in Audio Analog Stereo")},
                                         {"alsa_input.usb-CODEC-00.analog-stereo",
                                          QStringLiteral("USB Audio CODEC Analog Stereo")}};
            },
            messages);
    } else {
        dialog = new frmInterPC(settings, messages);
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
