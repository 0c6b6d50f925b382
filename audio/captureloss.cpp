#include "audio/captureloss.h"

QString captureLossText(CaptureLoss loss) {
    switch (loss) {
    case CaptureLoss::Device:
        return QStringLiteral("device lost");
    case CaptureLoss::Refused:
        return QStringLiteral("refused");
    case CaptureLoss::NotFound:
        return QStringLiteral("not found");
    case CaptureLoss::Unauthorized:
        return QStringLiteral("unauthorized");
    case CaptureLoss::TimedOut:
        return QStringLiteral("time-out");
    case CaptureLoss::Stalled:
        return QStringLiteral("stalled");
    case CaptureLoss::Ended:
        return QStringLiteral("ended by the server");
    case CaptureLoss::NotAudio:
        return QStringLiteral("not audio");
    case CaptureLoss::DecoderError:
        return QStringLiteral("decoder error");
    case CaptureLoss::BadUrl:
        return QStringLiteral("bad URL");
    case CaptureLoss::Unavailable:
        return QStringLiteral("stream input unavailable");
    case CaptureLoss::Failed:
        break;
    }
    return QStringLiteral("connection failed");
}
