#include "audio/streamcapture.h"

#include "audio/blockmeter.h"
#include "audio/capturestate.h"
#include "audio/streammodule.h"
#include "audio/streamurl.h"

#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <type_traits>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// Probing reads little and briefly: FFmpeg's defaults (5 MB, 5 s of an MP3)
// would keep the first level away for seconds. The server's Content-Type
// already weighs in the choice of the demuxer.
constexpr int probeBytes = 32 * 1024;
constexpr int64_t analyzeUs = 500 * 1000;
// The ring and the clips take up to 96 kHz; anything faster is resampled.
constexpr int maxRate = 96000;

CaptureLoss lossOf(int error) {
    switch (error) {
    case AVERROR(ECONNREFUSED):
        return CaptureLoss::Refused;
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR(ENOENT):
        return CaptureLoss::NotFound;
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN:
        return CaptureLoss::Unauthorized;
    case AVERROR(ETIMEDOUT):
        return CaptureLoss::TimedOut;
    case AVERROR_EOF:
        return CaptureLoss::Ended;
    case AVERROR_PROTOCOL_NOT_FOUND:
    case AVERROR(EINVAL):
        return CaptureLoss::BadUrl;
    case AVERROR_INVALIDDATA:
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_STREAM_NOT_FOUND:
        return CaptureLoss::NotAudio;
    case AVERROR_DECODER_NOT_FOUND:
        return CaptureLoss::DecoderError;
    default:
        return CaptureLoss::Failed;
    }
}

struct InputCloser {
    void operator()(AVFormatContext* input) const {
        // A connection opened ahead of the demuxer is not closed by it.
        AVIOContext* own = (input->flags & AVFMT_FLAG_CUSTOM_IO) ? input->pb : nullptr;
        avformat_close_input(&input);
        avio_closep(&own);
    }
};
struct DecoderFreer {
    void operator()(AVCodecContext* decoder) const { avcodec_free_context(&decoder); }
};
struct ResamplerFreer {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

} // namespace

// Everything the thread touches but the state. The thread holds it too, so a
// thread left to finish by itself after the end still has it; the state
// (owned by the capture's user) it touches only under the mutex and while
// not told to quit, which the end tells under the mutex.
struct StreamCapture::Worker {
    explicit Worker(CaptureState& state) : m_state(state), m_meter(state) {}

    void run();
    // One connection, until it fails (the reason) or is closed (abandoned).
    CaptureLoss attempt(const QString& url, bool* delivered);
    CaptureLoss readAudio(AVFormatContext* input, int streamIndex, bool* delivered);
    bool abandoned() const;
    static int interrupted(void* self);

    CaptureState& m_state;
    BlockMeter m_meter; // audio thread only, its samples into the state under the mutex

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_wanted = false;
    QString m_url;
    quint64 m_opened = 0; // bumped by every open() and close()

    // Read by the interrupt callback, on the audio thread, without the lock.
    std::atomic<quint64> m_current{0}; // m_opened as the running attempt began
    std::atomic<quint64> m_latest{0};  // m_opened now
    std::atomic<bool> m_quitting{false};
    std::atomic<qint64> m_deadlineMs{0};
    std::atomic<bool> m_measureDynamics{false};
};

StreamCapture::StreamCapture(CaptureState& state) : m_worker(std::make_shared<Worker>(state)) {
    avformat_network_init();
    // FFmpeg's own messages would repeat every failure on standard error at
    // each retry; the capture says why once, through its loss.
    av_log_set_level(AV_LOG_FATAL);
    state.setStaleMs(lossAfterMs);
    std::thread thread([worker = m_worker] { worker->run(); });
    pthread_setname_np(thread.native_handle(), "sondral-stream");
    // Never waited for: see the destructor.
    thread.detach();
}

StreamCapture::~StreamCapture() {
    // Told under the mutex: from here on the thread touches nothing of the
    // state, so nothing waits for it. The interrupt callback ends any
    // connect or read within its next poll (FFmpeg polls it every 100 ms at
    // most); a lookup of the host name does not poll it and runs out by
    // itself. The thread then ends, and the worker with it.
    Worker& w = *m_worker;
    std::lock_guard lock(w.m_mutex);
    w.m_quit = true;
    w.m_wanted = false;
    w.m_quitting.store(true, std::memory_order_release);
    w.m_wake.notify_all();
}

void StreamCapture::open(const CaptureRequest& request) {
    Worker& w = *m_worker;
    {
        std::lock_guard lock(w.m_mutex);
        w.m_wanted = true;
        w.m_url = request.url;
        w.m_latest.store(++w.m_opened, std::memory_order_release);
    }
    w.m_wake.notify_all();
}

void StreamCapture::close() {
    Worker& w = *m_worker;
    {
        std::lock_guard lock(w.m_mutex);
        w.m_wanted = false;
        w.m_latest.store(++w.m_opened, std::memory_order_release);
    }
    w.m_wake.notify_all();
}

void StreamCapture::setDynamicsMeasured(bool on) {
    m_worker->m_measureDynamics.store(on, std::memory_order_release);
}

bool StreamCapture::Worker::abandoned() const {
    return m_quitting.load(std::memory_order_acquire) ||
           m_current.load(std::memory_order_acquire) != m_latest.load(std::memory_order_acquire);
}

int StreamCapture::Worker::interrupted(void* self) {
    const auto* capture = static_cast<const StreamCapture::Worker*>(self);
    return capture->abandoned() ||
           CaptureState::nowMs() > capture->m_deadlineMs.load(std::memory_order_acquire);
}

void StreamCapture::Worker::run() {
    int failures = 0;
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_quit || m_wanted; });
        if (m_quit)
            return;
        const QString url = m_url;
        const quint64 opened = m_opened;
        m_current.store(opened, std::memory_order_release);
        lock.unlock();

        bool delivered = false;
        const CaptureLoss why = attempt(url, &delivered);

        lock.lock();
        if (m_quit)
            return;
        if (!m_wanted || opened != m_opened) {
            // Closed, or opened anew: no loss, and the next URL starts over.
            failures = 0;
            if (!m_wanted)
                m_state.captureStopped();
            continue;
        }
        if (delivered)
            failures = 0;
        m_state.captureFailed(why);
        const int waitMs = reconnectDelayMs(failures);
        failures = std::min(failures + 1, 16);
        m_wake.wait_for(lock, std::chrono::milliseconds(waitMs),
                        [this, opened] { return m_quit || opened != m_opened; });
    }
}

CaptureLoss StreamCapture::Worker::attempt(const QString& url, bool* delivered) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return CaptureLoss::Failed;
    raw->interrupt_callback.callback = &StreamCapture::Worker::interrupted;
    raw->interrupt_callback.opaque = this;
    raw->probesize = probeBytes;
    raw->max_analyze_duration = analyzeUs;
    raw->flags |= AVFMT_FLAG_NOBUFFER;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "user_agent", "Sondral", 0);
    // No ICY metadata interleaved in the audio: the title is not ours to show.
    av_dict_set(&options, "icy", "0", 0);
    // A socket that waits longer than the loss time has lost the stream
    // anyway (microseconds).
    av_dict_set(&options, "rw_timeout", "5000000", 0);
    if (url.endsWith(QStringLiteral(".sdp"), Qt::CaseInsensitive))
        av_dict_set(&options, "protocol_whitelist", "file,udp,rtp,crypto,data", 0);

    m_deadlineMs.store(CaptureState::nowMs() + connectTimeoutMs, std::memory_order_release);
    const QByteArray location = url.toUtf8();
    AVIOContext* connection = nullptr;
    if (streamurl::kind(url) == u"http") {
        // Icecast and plain HTTP: the connection first, so that what the
        // server answers (an HTML page, a refusal) is told apart from what
        // the demuxer makes of it.
        const int opened = avio_open2(&connection, location.constData(), AVIO_FLAG_READ,
                                      &raw->interrupt_callback, &options);
        av_dict_free(&options);
        if (opened < 0) {
            avformat_free_context(raw);
            return opened == AVERROR_EXIT || interrupted(this) ? CaptureLoss::TimedOut
                                                               : lossOf(opened);
        }
        uint8_t* type = nullptr;
        av_opt_get(connection, "mime_type", AV_OPT_SEARCH_CHILDREN, &type);
        const QByteArray contentType(type ? reinterpret_cast<const char*>(type) : "");
        av_free(type);
        if (contentType.startsWith("text/")) {
            avio_closep(&connection);
            avformat_free_context(raw);
            return CaptureLoss::NotAudio;
        }
        raw->pb = connection;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    int result = avformat_open_input(&raw, location.constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        // avformat_open_input frees the context on failure, not a
        // connection of ours.
        const bool answered = connection != nullptr;
        avio_closep(&connection);
        if (result == AVERROR_EXIT || interrupted(this))
            return CaptureLoss::TimedOut;
        // The server answered; what it sent is no stream the demuxers know.
        if (answered)
            return CaptureLoss::NotAudio;
        return lossOf(result);
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    result = avformat_find_stream_info(input.get(), nullptr);
    if (result < 0)
        return result == AVERROR_EXIT || interrupted(this) ? CaptureLoss::TimedOut : lossOf(result);
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return index == AVERROR_DECODER_NOT_FOUND ? CaptureLoss::DecoderError
                                                  : CaptureLoss::NotAudio;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (int(i) != index)
            input->streams[i]->discard = AVDISCARD_ALL;
    }
    return readAudio(input.get(), index, delivered);
}

CaptureLoss StreamCapture::Worker::readAudio(AVFormatContext* input, int streamIndex,
                                             bool* delivered) {
    const AVCodecParameters* parameters = input->streams[streamIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return CaptureLoss::DecoderError;
    std::unique_ptr<AVCodecContext, DecoderFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return CaptureLoss::DecoderError;

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    std::unique_ptr<SwrContext, ResamplerFreer> resampler;
    std::vector<int16_t> samples;
    int inRate = 0, inChannels = 0, inFormat = -1, outRate = 0, outChannels = 0;
    bool decodeFailing = false;
    bool measureDynamics = false;
    // The state is touched only while the capture has not ended (see Worker).
    const auto intoState = [this](auto&& touch) {
        std::lock_guard lock(m_mutex);
        if (m_quit)
            return false;
        touch();
        return true;
    };
    if (!intoState([this] { m_meter.setDynamicsMeasured(false); }))
        return CaptureLoss::Failed; // ended: not reported

    // From the connection on, each decoded frame gives the stream another
    // lossAfterMs; a server that sends nothing, or nothing that decodes,
    // runs into it.
    m_deadlineMs.store(CaptureState::nowMs() + lossAfterMs, std::memory_order_release);
    while (true) {
        const int read = av_read_frame(input, packet.get());
        if (read < 0) {
            if (abandoned())
                return CaptureLoss::Failed; // not reported: closed
            if (read == AVERROR_EXIT)
                return decodeFailing ? CaptureLoss::DecoderError : CaptureLoss::Stalled;
            if (read == AVERROR(EAGAIN))
                continue;
            return lossOf(read);
        }
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        // A damaged packet in a live stream is skipped; only a stream
        // without any decodable audio for the loss time is a failure.
        decodeFailing = sent < 0 && sent != AVERROR(EAGAIN);
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const int channels = frame->ch_layout.nb_channels;
            if (channels <= 0 || frame->sample_rate <= 0) {
                av_frame_unref(frame.get());
                continue;
            }
            if (!resampler || frame->sample_rate != inRate || channels != inChannels ||
                frame->format != inFormat) {
                // A new stream, or one whose rate or layout changed: follow it.
                inRate = frame->sample_rate;
                inChannels = channels;
                inFormat = frame->format;
                outRate = std::min(inRate, maxRate);
                outChannels = channels == 1 ? 1 : 2;
                AVChannelLayout outLayout;
                av_channel_layout_default(&outLayout, outChannels);
                SwrContext* made = nullptr;
                if (swr_alloc_set_opts2(&made, &outLayout, AV_SAMPLE_FMT_S16, outRate,
                                        &frame->ch_layout, AVSampleFormat(frame->format), inRate, 0,
                                        nullptr) < 0 ||
                    swr_init(made) < 0) {
                    swr_free(&made);
                    return CaptureLoss::DecoderError;
                }
                resampler.reset(made);
                intoState([&] {
                    m_meter.reset({levelmath::SampleType::Int16, outChannels, outRate});
                    m_state.setFormat({QString::fromLatin1(avcodec_get_name(codec->id)), inRate});
                });
            }
            const int room = swr_get_out_samples(resampler.get(), frame->nb_samples);
            samples.resize(std::size_t(std::max(room, 0)) * std::size_t(outChannels));
            auto* out = reinterpret_cast<uint8_t*>(samples.data());
            const int converted =
                swr_convert(resampler.get(), &out, room,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            av_frame_unref(frame.get());
            if (converted <= 0 || abandoned())
                continue;
            const bool wantDynamics = m_measureDynamics.load(std::memory_order_acquire);
            int blocks = 0;
            intoState([&] {
                if (wantDynamics != measureDynamics) {
                    measureDynamics = wantDynamics;
                    m_meter.setDynamicsMeasured(wantDynamics);
                }
                blocks =
                    m_meter.add(reinterpret_cast<const char*>(samples.data()),
                                qsizetype(converted) * outChannels * qsizetype(sizeof(int16_t)));
            });
            if (blocks > 0) {
                *delivered = true;
                decodeFailing = false;
                m_deadlineMs.store(CaptureState::nowMs() + lossAfterMs, std::memory_order_release);
            }
        }
    }
}

// The module's entry point (see audio/streammodule.h). Only this name is
// exported; the capture's own copies of the meter and the state's code stay
// inside the module.
extern "C" __attribute__((visibility("default"))) CaptureEngine*
sondral_make_stream_capture(CaptureState& state, const char* interfaceId) {
    static_assert(std::is_same_v<decltype(&sondral_make_stream_capture), streammodule::Factory>);
    if (std::strcmp(interfaceId, SONDRAL_CAPTURE_INTERFACE) != 0)
        return nullptr;
    return new StreamCapture(state);
}
