#include "audio/devicelist.h"

#include "audio/captureprotocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {
constexpr int listTimeoutMs = 5000;
constexpr auto helperName = "sondral-capture";
} // namespace

QString captureHelperPath() {
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(helperName));
    if (QFileInfo(beside).isExecutable())
        return beside;
#ifdef SONDRAL_CAPTURE_BUILD_PATH
    if (QFileInfo(QStringLiteral(SONDRAL_CAPTURE_BUILD_PATH)).isExecutable())
        return QStringLiteral(SONDRAL_CAPTURE_BUILD_PATH);
#endif
    return beside;
}

QList<CaptureDevice> captureDevices(QString* error) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(captureHelperPath(), {QStringLiteral("--list")});
    QString why;
    if (!helper.waitForStarted(listTimeoutMs))
        why = QStringLiteral("het opnameprogramma %1 start niet: %2")
                  .arg(captureHelperPath(), helper.errorString());
    else if (!helper.waitForFinished(listTimeoutMs)) {
        helper.kill();
        helper.waitForFinished(1000);
        why = QStringLiteral("het opnameprogramma reageert niet");
    } else if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0)
        why = QStringLiteral("het opnameprogramma stopte met een fout");
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return {};
    }
    QList<CaptureDevice> devices;
    const QList<QByteArray> lines = helper.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const auto m = captureprotocol::parse(line);
        if (m.kind == captureprotocol::Kind::Device)
            devices.append({m.id, m.text});
    }
    if (error)
        error->clear();
    return devices;
}

QStringList captureDeviceNames() {
    QStringList names;
    for (const CaptureDevice& device : captureDevices())
        names << device.name;
    return names;
}

int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& id, int position,
                      int countAtStart) {
    const int found = int(ids.indexOf(id));
    if (found >= 0)
        return found;
    if (ids.size() == countAtStart && position >= 0 && position < ids.size())
        return position;
    return -1;
}
