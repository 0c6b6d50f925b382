#include "audio/pulsecapture.h"

#include "audio/capturestate.h"
#include "audio/levelmath.h"

#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pthread.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr int tickMs = 250;
// The blocks that must all be quiet before the capture hurries.
constexpr int hurryBlocks = 100 / PeakHistory::blockMs;
constexpr uint32_t fallbackRate = 48000;

// A record stream's buffer: the server's defaults, deliveries of fragmentUs.
pa_buffer_attr bufferAttr(const pa_sample_spec& format, pa_usec_t fragmentUs) {
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(fragmentUs, &format));
    return attr;
}

} // namespace

PulseCapture::PulseCapture(CaptureState& state) : m_state(state), m_meter(state) {
    m_loop = pa_mainloop_new();
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (!m_loop || m_timerFd < 0) {
        qWarning("Capture: cannot set up the audio thread");
        if (m_loop)
            pa_mainloop_free(m_loop);
        m_loop = nullptr; // every later call does nothing; the levels read 0
        m_state.publishDevices({}, false);
        return;
    }
    m_api = pa_mainloop_get_api(m_loop);
    pa_mainloop_set_poll_func(m_loop, &PulseCapture::pollWithRest, this);
    const itimerspec every{{0, tickMs * 1000000L}, {0, tickMs * 1000000L}};
    timerfd_settime(m_timerFd, 0, &every, nullptr);
    // Set up before the thread runs, so no lock is needed yet.
    m_tickEvent = m_api->io_new(m_api, m_timerFd, PA_IO_EVENT_INPUT, &PulseCapture::onTick, this);
    connect();
    m_thread = std::thread(&PulseCapture::run, this);
    pthread_setname_np(m_thread.native_handle(), "sondral-audio");
}

PulseCapture::~PulseCapture() {
    if (m_loop) {
        {
            Command command(*this);
            m_wanted = false;
            disconnect();
            if (m_tickEvent)
                m_api->io_free(m_tickEvent);
            m_tickEvent = nullptr;
            m_quit = true;
            pa_mainloop_quit(m_loop, 0);
        }
        m_thread.join();
        pa_mainloop_free(m_loop);
    }
    if (m_timerFd >= 0)
        ::close(m_timerFd);
}

PulseCapture::Command::Command(PulseCapture& capture) : m_capture(capture) {
    m_capture.m_mutex.lock();
}

PulseCapture::Command::~Command() {
    // A rest is cut short: the loop acts on what the command changed now.
    m_capture.m_restUntilMs = 0;
    m_capture.m_restEnds.notify_all();
    m_capture.m_mutex.unlock();
    pa_mainloop_wakeup(m_capture.m_loop);
}

void PulseCapture::run() {
    // The loop thread holds the lock all the time but while it waits: every
    // callback runs under it, as the commands from the owner's thread do.
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (pa_mainloop_iterate(m_loop, 1, nullptr) < 0)
            break;
    }
}

int PulseCapture::pollWithRest(struct pollfd* fds, unsigned long count, int timeoutMs, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    // Called by the loop with the lock held. The thread rests a fragment
    // between deliveries: the sound server may push a few milliseconds of
    // audio at a time, and what comes meanwhile waits in the socket and is
    // measured in one go. A command ends the rest.
    const qint64 before = CaptureState::nowMs();
    {
        std::unique_lock lock(capture->m_mutex, std::adopt_lock);
        if (capture->m_restUntilMs > before) {
            const auto until = std::chrono::steady_clock::time_point(
                std::chrono::milliseconds(capture->m_restUntilMs));
            capture->m_restEnds.wait_until(lock, until,
                                           [capture] { return capture->m_restUntilMs == 0; });
        }
        lock.release();
    }
    if (timeoutMs > 0)
        timeoutMs = int(std::max<qint64>(0, timeoutMs - (CaptureState::nowMs() - before)));
    capture->m_mutex.unlock();
    const int result = ::poll(fds, nfds_t(count), timeoutMs);
    const int savedErrno = errno;
    capture->m_mutex.lock();
    errno = savedErrno;
    return result;
}

void PulseCapture::open(const CaptureRequest& request) {
    if (!m_loop)
        return;
    Command command(*this);
    dropStream();
    m_wanted = true;
    m_request = request;
    m_waitingForDevice = false;
    m_emptyAttempts = 0;
    m_blockDueMs = CaptureState::nowMs() + firstBlockWaitMs(m_emptyAttempts);
    if (!m_context) {
        m_retryAtMs = 0;
        connect();
    } else if (m_haveList && !m_listingBusy) {
        openStream();
    } // else: the listing under way opens it when done
}

void PulseCapture::close() {
    if (!m_loop)
        return;
    Command command(*this);
    m_wanted = false;
    m_waitingForDevice = false;
    dropStream();
    m_state.captureStopped();
}

void PulseCapture::setFragmentMs(int ms) {
    if (!m_loop)
        return;
    Command command(*this);
    m_fragmentUs = pa_usec_t(std::max(1, ms)) * 1000;
    followPace();
}

void PulseCapture::setHurryBelow(int level) {
    if (!m_loop)
        return;
    Command command(*this);
    m_hurryBelow = level;
    followPace();
}

void PulseCapture::setDynamicsMeasured(bool on) {
    if (!m_loop)
        return;
    Command command(*this);
    m_meter.setDynamicsMeasured(on);
}

void PulseCapture::followPace() {
    // Short deliveries while asked for, or while the programme is quiet
    // enough to start a count of silent seconds: a long fragment would show
    // the silence only when it is delivered, up to a fragment late.
    const qint64 now = CaptureState::nowMs();
    // 100 ms, not one block: a player's underrun leaves a block of zeros in
    // loud programme, and that is no reason to hurry.
    const auto last = m_meter.history().recentPeak(hurryBlocks);
    const bool quiet = m_hurryBelow > 0 && levelmath::peakToLevel(last.left) < m_hurryBelow &&
                       levelmath::peakToLevel(last.right) < m_hurryBelow;
    if (quiet)
        m_loudSinceMs = 0;
    else if (m_loudSinceMs == 0)
        m_loudSinceMs = now;
    const bool hurry = quiet || (m_appliedUs < m_fragmentUs && now - m_loudSinceMs < 1000);
    const pa_usec_t fragmentUs = hurry ? std::min(m_fragmentUs, shortFragmentUs) : m_fragmentUs;
    applyFragment(fragmentUs);
    // A fragment's rest between deliveries, at either pace: the server may
    // push every few milliseconds whatever was asked, and the meters read 25
    // times a second. Not while hurrying: a silence that may start a count
    // is seen as soon as it is delivered, never a rest late.
    m_restUntilMs = hurry ? 0 : now + qint64(fragmentUs / 1000);
}

void PulseCapture::applyFragment(pa_usec_t us) {
    if (us == m_appliedUs || !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    // The same stream, asked for other deliveries: no reconnect, no gap.
    m_appliedUs = us;
    const pa_buffer_attr attr = bufferAttr(m_format, us);
    if (pa_operation* op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
        pa_operation_unref(op);
}

void PulseCapture::connect() {
    m_context = pa_context_new(m_api, "Sondral");
    if (!m_context) {
        m_retryAtMs = CaptureState::nowMs() + retryMs;
        return;
    }
    m_haveList = false;
    m_listingBusy = false;
    m_listAgain = false;
    // How long connecting, listing and opening may take before the first
    // block: milliseconds, but a source that wakes up from idle (a null
    // sink's monitor) may hold it back for a second, and a network input
    // waiting for its clock far longer.
    m_blocksThisAttempt = false;
    m_blockDueMs = CaptureState::nowMs() + firstBlockWaitMs(m_emptyAttempts);
    pa_context_set_state_callback(m_context, &PulseCapture::onContextState, this);
    // No autospawn: a sound server started by us would not be the one the
    // station's audio goes through.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        connectionLost();
}

void PulseCapture::disconnect() {
    dropStream();
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
    m_haveList = false;
    m_listingBusy = false;
    m_listAgain = false;
}

void PulseCapture::connectionLost() {
    // No server: no devices. The dialog then says there is no sound card.
    m_sources.clear();
    m_state.publishDevices({}, false);
    fail();
}

void PulseCapture::fail() {
    // A stream that opened and brought no block at all gives the next one
    // longer; a server that cannot be reached does not.
    if (m_wanted && m_stream && !m_blocksThisAttempt && m_emptyAttempts < 16)
        ++m_emptyAttempts;
    m_waitingForDevice = false;
    if (m_wanted)
        m_state.captureFailed();
    disconnect();
    m_retryAtMs = CaptureState::nowMs() + retryMs;
}

void PulseCapture::onContextState(pa_context* context, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (context != capture->m_context)
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        pa_context_set_subscribe_callback(context, &PulseCapture::onSourceEvent, capture);
        if (pa_operation* op =
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
            pa_operation_unref(op);
        capture->relist();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        capture->connectionLost();
        break;
    default:
        break;
    }
}

void PulseCapture::onSourceEvent(pa_context* context, pa_subscription_event_type_t type,
                                 uint32_t /*index*/, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (context == capture->m_context &&
        (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE)
        capture->relist();
}

void PulseCapture::relist() {
    if (m_listingBusy) {
        m_listAgain = true;
        return;
    }
    m_listing.clear();
    pa_operation* op =
        pa_context_get_source_info_list(m_context, &PulseCapture::onSourceInfo, this);
    if (!op) {
        fail();
        return;
    }
    pa_operation_unref(op);
    m_listingBusy = true;
}

void PulseCapture::onSourceInfo(pa_context* context, const pa_source_info* info, int eol,
                                void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (context != capture->m_context)
        return;
    if (eol < 0) {
        capture->m_listingBusy = false;
        capture->fail();
    } else if (eol > 0) {
        capture->listed();
    } else if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
        // Monitors of the outputs are left out, as the operator's Card
        // numbers have always counted only real inputs.
        Source source;
        source.index = info->index;
        source.device.id = QByteArray(info->name ? info->name : "");
        source.device.name = QString::fromUtf8(info->description ? info->description
                                               : info->name      ? info->name
                                                                 : "");
        source.rate = info->sample_spec.rate;
        capture->m_listing.push_back(std::move(source));
    }
}

void PulseCapture::listed() {
    m_listingBusy = false;
    std::sort(m_listing.begin(), m_listing.end(),
              [](const Source& a, const Source& b) { return a.index < b.index; });
    m_sources = std::move(m_listing);
    m_listing.clear();
    m_haveList = true;
    CaptureDeviceList devices;
    devices.reserve(qsizetype(m_sources.size()));
    for (const Source& source : m_sources)
        devices.append(source.device);
    m_state.publishDevices(std::move(devices));
    if (m_listAgain) {
        m_listAgain = false;
        relist();
    }
    if (m_wanted && !m_stream)
        openStream();
}

void PulseCapture::openStream() {
    QList<QByteArray> ids;
    for (const Source& source : m_sources)
        ids.append(source.device.id);
    const int found = findCaptureDevice(ids, m_request.preferredId, m_request.id,
                                        m_request.position, m_request.count);
    if (found < 0) {
        // Not listed (yet): the connection stays, and the server's next
        // change of its sources lists again and opens it as soon as it
        // appears. The levels read 0 meanwhile.
        if (!m_waitingForDevice) {
            m_waitingForDevice = true;
            m_state.captureFailed();
        }
        return;
    }
    m_waitingForDevice = false;
    const Source& source = m_sources.at(std::size_t(found));
    pa_sample_spec format;
    format.format = PA_SAMPLE_S16NE;
    format.rate = source.rate > 0 && source.rate <= PA_RATE_MAX ? source.rate : fallbackRate;
    format.channels = m_request.channels == 1 ? 1 : 2;
    pa_channel_map map;
    pa_channel_map_init_auto(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);

    m_stream = pa_stream_new(m_context, "Sondral", &format, &map);
    if (!m_stream) {
        fail();
        return;
    }
    pa_stream_set_state_callback(m_stream, &PulseCapture::onStreamState, this);
    pa_stream_set_read_callback(m_stream, &PulseCapture::onStreamRead, this);
    m_format = format;
    m_appliedUs = m_fragmentUs;
    m_loudSinceMs = 0;
    const pa_buffer_attr attr = bufferAttr(format, m_appliedUs);
    // Not moved to another source when this one goes: that would measure a
    // different signal under the old name. The stream fails instead.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream, source.device.id.constData(), &attr, flags) < 0) {
        fail();
        return;
    }
    m_meter.reset({levelmath::SampleType::Int16, int(format.channels), int(format.rate)});
    m_blocksThisAttempt = false;
    m_blockDueMs = CaptureState::nowMs() + firstBlockWaitMs(m_emptyAttempts);
    // Found again by this name from now on; a request made before any list
    // was seen takes the length of this one.
    m_request.id = source.device.id;
    if (m_request.count < 0)
        m_request.count = int(m_sources.size());
}

void PulseCapture::dropStream() {
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseCapture::onStreamState(pa_stream* stream, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (stream != capture->m_stream)
        return;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        capture->fail();
}

void PulseCapture::onStreamRead(pa_stream* stream, size_t /*bytes*/, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (stream == capture->m_stream)
        capture->readStream();
}

void PulseCapture::readStream() {
    int blocks = 0;
    while (m_stream && pa_stream_readable_size(m_stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0) {
            fail();
            return;
        }
        if (bytes == 0)
            break;
        // data is null for a hole in the stream: nothing to measure there.
        if (data)
            blocks += m_meter.add(static_cast<const char*>(data), qsizetype(bytes));
        pa_stream_drop(m_stream);
    }
    if (blocks == 0)
        return;
    m_blocksThisAttempt = true;
    m_emptyAttempts = 0;
    m_blockDueMs = CaptureState::nowMs() + CaptureState::staleMs;
    followPace();
}

void PulseCapture::onTick(pa_mainloop_api* /*api*/, pa_io_event* /*event*/, int fd,
                          pa_io_event_flags_t /*flags*/, void* self) {
    uint64_t expirations = 0;
    while (::read(fd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
    static_cast<PulseCapture*>(self)->tick();
}

void PulseCapture::tick() {
    const qint64 now = CaptureState::nowMs();
    if (!m_context) {
        if (m_retryAtMs != 0 && now >= m_retryAtMs) {
            m_retryAtMs = 0;
            connect();
        }
        return;
    }
    // The one loss detector besides a failed connection or stream: whatever
    // keeps the blocks away (a source that stalls, a server that hangs or
    // never lets the stream open), a block overdue fails the attempt.
    // While the device is waited for, the server's change events say when
    // it comes; the connection itself is watched by its state.
    if (m_wanted && !m_waitingForDevice && now > m_blockDueMs)
        fail();
}
