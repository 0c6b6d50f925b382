#include "audio/streammodule.h"

#include "audio/capturestate.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QtDebug>

#include <dlfcn.h>
#include <mutex>

namespace streammodule {

namespace {

// Stands in for the stream capture when its module could not be had: every
// attempt fails at once, for the reason the operator is told.
class UnavailableCapture final : public CaptureEngine {
public:
    explicit UnavailableCapture(CaptureState& state) : m_state(state) {}
    void open(const CaptureRequest&) override { m_state.captureFailed(CaptureLoss::Unavailable); }
    void close() override { m_state.captureStopped(); }
    void setFragmentMs(int) override {}
    void setHurryBelow(int) override {}
    void setDynamicsMeasured(bool) override {}

private:
    CaptureState& m_state;
};

// Loads the module once for the process; nullptr (and the reason said once)
// when it cannot be had.
Factory loadFactory() {
    static Factory factory = nullptr;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        // A path, never a bare name: a name would be searched along paths the
        // program does not choose.
        const QByteArray beside = QFile::encodeName(QCoreApplication::applicationDirPath() + u'/' +
                                                    QLatin1String(fileName));
        void* module = ::dlopen(beside.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            qWarning("Stream input unavailable: %s could not be loaded (%s)", fileName,
                     ::dlerror());
            return;
        }
        factory = reinterpret_cast<Factory>(::dlsym(module, factoryName));
        if (!factory)
            qWarning("Stream input unavailable: %s has no %s", fileName, factoryName);
    });
    return factory;
}

} // namespace

std::unique_ptr<CaptureEngine> makeCapture(CaptureState& state) {
    if (const Factory factory = loadFactory()) {
        if (CaptureEngine* engine = factory(state, SONDRAL_CAPTURE_INTERFACE))
            return std::unique_ptr<CaptureEngine>(engine);
        static std::once_flag told;
        std::call_once(told, [] {
            qWarning("Stream input unavailable: %s belongs to another build of Sondral; "
                     "install the program and its module together",
                     fileName);
        });
    }
    return std::make_unique<UnavailableCapture>(state);
}

} // namespace streammodule
