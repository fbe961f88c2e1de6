// The sound-output device over libpulse: one playback stream per device, fed by the software
// mixer from the write callback on the threaded main loop.
#include <pulse/pulseaudio.h>

#include <mutex>
#include <new>

#include "platform/PulseContext.h"
#include "platform/SoundOutput.h"
#include "platform/SoundOutputMixer.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kConnectTimeout = 1000ms;
constexpr auto kStreamTimeout = 2000ms;
// Target latency of the stream and the size of one refill request: short enough that the play
// cursor and a stop follow the listener closely, long enough for a busy machine.
constexpr pa_usec_t kTargetLatencyUs = 80000;
constexpr pa_usec_t kRequestUs = 20000;

WAVEFORMATEX DefaultOutputFormat() {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    return f;
}

bool Same(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample;
}

pa_sample_spec SpecOf(const WAVEFORMATEX& f) {
    pa_sample_spec spec;
    spec.format = f.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
    spec.rate = f.nSamplesPerSec;
    spec.channels = static_cast<uint8_t>(f.nChannels);
    return spec;
}

class TPulseOutputHost final : public TSoundMixerHost,
                               public std::enable_shared_from_this<TPulseOutputHost> {
  public:
    explicit TPulseOutputHost(std::string sink)
        : mixer_(DefaultOutputFormat()), format_(DefaultOutputFormat()), sink_(std::move(sink)) {
        pulse_.SetLostHandler([this] { mixer_.MarkLost(); });
    }
    ~TPulseOutputHost() override {
        TPulseContext::TLock lock(pulse_);
        CloseStreamLocked();
    }

    HRESULT Open() {
        std::lock_guard guard(hostMutex_);
        if (!pulse_.Connect(kConnectTimeout)) return DSERR_NODRIVER;
        TPulseContext::TLock lock(pulse_);
        return OpenStreamLocked(format_) ? DS_OK : DSERR_NODRIVER;
    }

    HRESULT SetFormat(const WAVEFORMATEX& format) {
        if (!TSoundMixer::SupportedFormat(format)) return DSERR_BADFORMAT;
        std::lock_guard guard(hostMutex_);
        if (Same(format, format_) && !mixer_.Lost()) return DS_OK;
        const WAVEFORMATEX previous = format_;
        format_ = format;
        if (mixer_.Lost()) return DS_OK; // taken up by the reconnection
        TPulseContext::TLock lock(pulse_);
        if (OpenStreamLocked(format_)) return DS_OK;
        format_ = previous;
        if (!OpenStreamLocked(format_)) mixer_.MarkLost();
        return DSERR_BADFORMAT;
    }

    TSoundMixer& Mixer() override { return mixer_; }

    HRESULT Reconnect() override {
        std::lock_guard guard(hostMutex_);
        if (!mixer_.Lost()) return DS_OK;
        TPulseContext::TLock lock(pulse_);
        CloseStreamLocked();
        if (!pulse_.ReconnectLocked(kConnectTimeout) || !OpenStreamLocked(format_))
            return DSERR_NODRIVER;
        mixer_.ClearLost();
        return DS_OK;
    }

  private:
    // Loop locked. Replaces the stream by one in `format`; false (and no stream) on failure.
    bool OpenStreamLocked(const WAVEFORMATEX& format) {
        CloseStreamLocked();
        if (pulse_.Context() == nullptr) return false;
        const pa_sample_spec spec = SpecOf(format);
        stream_ = pa_stream_new(pulse_.Context(), "Playback", &spec, nullptr);
        if (stream_ == nullptr) return false;
        // No render runs while the loop is locked and the old stream is gone.
        mixer_.Reconfigure(format);
        streamBase_ = mixer_.RenderedFrames();
        frameBytes_ = format.nBlockAlign;
        rate_ = format.nSamplesPerSec;
        pa_stream_set_state_callback(stream_, &TPulseOutputHost::StateCallback, this);
        pa_stream_set_write_callback(stream_, &TPulseOutputHost::WriteCallback, this);
        pa_stream_set_latency_update_callback(stream_, &TPulseOutputHost::LatencyCallback, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec));
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(kRequestUs, &spec));
        attr.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        const char* device = sink_.empty() ? nullptr : sink_.c_str();
        if (pa_stream_connect_playback(stream_, device, &attr, flags, nullptr, nullptr) < 0) {
            CloseStreamLocked();
            return false;
        }
        const bool settled = pulse_.WaitLocked(
            [this] {
                const pa_stream_state_t state = pa_stream_get_state(stream_);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            TPulseContext::Clock::now() + kStreamTimeout);
        if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
            CloseStreamLocked();
            return false;
        }
        streamReady_ = true;
        return true;
    }

    void CloseStreamLocked() {
        if (stream_ == nullptr) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        streamReady_ = false;
    }

    // Loop thread. Renders straight into the server's memory: no allocation of ours, no lock
    // beyond the loop's own, no exception.
    static void WriteCallback(pa_stream* stream, size_t nbytes, void* self) {
        auto* host = static_cast<TPulseOutputHost*>(self);
        const size_t frameBytes = host->frameBytes_;
        while (nbytes >= frameBytes) {
            void* data = nullptr;
            size_t length = nbytes;
            if (pa_stream_begin_write(stream, &data, &length) < 0 || data == nullptr) break;
            length -= length % frameBytes;
            if (length == 0) {
                pa_stream_cancel_write(stream);
                break;
            }
            host->mixer_.Render(data, static_cast<uint32_t>(length / frameBytes));
            if (pa_stream_write(stream, data, length, nullptr, 0, PA_SEEK_RELATIVE) < 0) break;
            nbytes -= length;
        }
        host->ReportClock(stream);
    }

    static void LatencyCallback(pa_stream* stream, void* self) {
        static_cast<TPulseOutputHost*>(self)->ReportClock(stream);
    }

    // Loop thread: the stream time is the position of what the listener hears, so the mixer's
    // cursors follow the sound, not the writes.
    void ReportClock(pa_stream* stream) {
        pa_usec_t time = 0;
        if (pa_stream_get_time(stream, &time) < 0) return;
        const int64_t frames = static_cast<int64_t>(time * rate_ / 1000000);
        mixer_.ReportHeard(streamBase_ + frames, SoundClockNow());
    }

    static void StateCallback(pa_stream* stream, void* self) {
        auto* host = static_cast<TPulseOutputHost*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && host->streamReady_)
            host->mixer_.MarkLost();
        pa_threaded_mainloop_signal(host->pulse_.Loop(), 0);
    }

    TSoundMixer mixer_;
    TPulseContext pulse_;  // after the mixer: its loop thread stops before the mixer goes
    std::mutex hostMutex_; // serialises format changes and reconnections
    WAVEFORMATEX format_;  // [hostMutex_]
    const std::string sink_;
    // [loop lock]
    pa_stream* stream_ = nullptr;
    bool streamReady_ = false;
    int64_t streamBase_ = 0; // mixer frame at which the current stream began
    size_t frameBytes_ = 4;
    uint64_t rate_ = 44100;
};

class TPulseOutputDevice final : public TSoundOutputDevice {
  public:
    explicit TPulseOutputDevice(std::shared_ptr<TPulseOutputHost> host) : host_(std::move(host)) {}
    HRESULT SetCooperativeLevel() override { return DS_OK; }
    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) override {
        return host_->SetFormat(format);
    }
    HRESULT CreateSoundBuffer(const WAVEFORMATEX& format, uint32_t bytes,
                              std::unique_ptr<TSoundBuffer>& out) override {
        return host_->Mixer().CreateBuffer(host_, format, bytes, out);
    }
    HRESULT GetTiming(TSoundOutputTiming& timing) override {
        TSoundMixer& mixer = host_->Mixer();
        timing = {};
        if (mixer.Lost()) return DSERR_BUFFERLOST;
        // Handed first: the heard count never passes the frames handed over.
        timing.handedFrames = mixer.RenderedFrames();
        timing.nowNs = SoundClockNow();
        timing.heardFrames = mixer.HeardFrames(timing.nowNs);
        timing.rate = mixer.OutputRate();
        return DS_OK;
    }

  private:
    std::shared_ptr<TPulseOutputHost> host_;
};

struct TSinkList {
    std::vector<TSoundDevice>* devices;
    pa_threaded_mainloop* loop;
    bool done = false;
};

void SinkCallback(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* list = static_cast<TSinkList*>(userdata);
    if (eol != 0 || info == nullptr) {
        list->done = true;
        pa_threaded_mainloop_signal(list->loop, 0);
        return;
    }
    const char* description = info->description != nullptr ? info->description : info->name;
    list->devices->push_back({info->name, description});
}

} // namespace

std::vector<TSoundDevice> EnumerateOutputDevices() {
    std::vector<TSoundDevice> devices;
    TPulseContext pulse;
    if (!pulse.Connect(kConnectTimeout)) return {};
    TPulseContext::TLock lock(pulse);
    devices.push_back({"", "Default Output"});
    TSinkList list{&devices, pulse.Loop()};
    pa_operation* operation = pa_context_get_sink_info_list(pulse.Context(), &SinkCallback, &list);
    if (operation == nullptr) return {};
    const bool done = pulse.WaitLocked([&list] { return list.done; },
                                       TPulseContext::Clock::now() + kConnectTimeout);
    if (!done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!done) return {};
    return devices;
}

HRESULT CreateSoundOutputDevice(const std::string& identifier,
                                std::unique_ptr<TSoundOutputDevice>& out) {
    out.reset();
    std::shared_ptr<TPulseOutputHost> host;
    try {
        host = std::make_shared<TPulseOutputHost>(identifier);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    const HRESULT result = host->Open();
    if (result != DS_OK) return result;
    out = std::make_unique<TPulseOutputDevice>(std::move(host));
    return DS_OK;
}
