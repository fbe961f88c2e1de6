// The wave-input layer over libpulse: sources as numbered devices, one record stream per open
// input. The stream's read callback runs on the context's loop thread with the loop locked;
// every control call takes the same lock, so the queue of headers needs no lock of its own and
// the callback neither allocates nor waits.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/PulseContext.h"
#include "platform/WaveIn.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kConnectTimeout = 1000ms;
constexpr auto kQueryTimeout = 1000ms;
constexpr auto kStreamTimeout = 2000ms;
// Size of one delivery from the server: small, so that a full buffer is handed over promptly.
constexpr pa_usec_t kFragmentUs = 20000;

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutName(const char* text, std::size_t limit) {
    std::string name = text != nullptr ? text : "";
    if (name.size() <= limit) return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    name.resize(end);
    return name;
}

struct TSourceQuery {
    std::vector<TWaveInCaps>* sources;
    pa_threaded_mainloop* loop;
    bool done = false;
    bool failed = false;
};

void SourceCallback(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<TSourceQuery*>(userdata);
    if (eol != 0 || info == nullptr) {
        query->failed = eol < 0;
        query->done = true;
        pa_threaded_mainloop_signal(query->loop, 0);
        return;
    }
    const char* description = info->description != nullptr ? info->description : info->name;
    query->sources->push_back({CutName(description, kWaveInProductNameMax),
                               info->name != nullptr ? info->name : "",
                               info->monitor_of_sink != PA_INVALID_INDEX});
}

struct TServerQuery {
    std::string defaultSource;
    pa_threaded_mainloop* loop;
    bool done = false;
};

void ServerCallback(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<TServerQuery*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr)
        query->defaultSource = info->default_source_name;
    query->done = true;
    pa_threaded_mainloop_signal(query->loop, 0);
}

// Loop locked: waits for an operation whose callback sets `done`; false on timeout or failure.
bool FinishLocked(TPulseContext& pulse, pa_operation* operation, const bool& done) {
    if (operation == nullptr) return false;
    const bool finished =
        pulse.WaitLocked([&done] { return done; }, TPulseContext::Clock::now() + kQueryTimeout);
    if (!finished) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return finished;
}

// Loop locked: every source in the server's order.
bool ListSourcesLocked(TPulseContext& pulse, std::vector<TWaveInCaps>& sources) {
    sources.clear();
    TSourceQuery query{&sources, pulse.Loop()};
    pa_operation* operation =
        pa_context_get_source_info_list(pulse.Context(), &SourceCallback, &query);
    return FinishLocked(pulse, operation, query.done) && !query.failed;
}

// Loop locked: the server's default source, or "" when it has none.
bool DefaultSourceLocked(TPulseContext& pulse, std::string& name) {
    TServerQuery query{{}, pulse.Loop()};
    pa_operation* operation = pa_context_get_server_info(pulse.Context(), &ServerCallback, &query);
    if (!FinishLocked(pulse, operation, query.done)) return false;
    name = query.defaultSource;
    return true;
}

// The formats the tracks use; anything else is refused before the server sees it.
bool SupportedFormat(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec == 0 || f.nSamplesPerSec > PA_RATE_MAX) return false;
    const uint32_t align = f.nChannels * f.wBitsPerSample / 8u;
    return f.nBlockAlign == align && f.nAvgBytesPerSec == f.nSamplesPerSec * align;
}

MMRESULT FromPulseError(int error) {
    switch (error) {
    case PA_ERR_NOENTITY:
        return MMSYSERR_BADDEVICEID;
    case PA_ERR_INVALID:
    case PA_ERR_NOTSUPPORTED:
        return WAVERR_BADFORMAT;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
        return MMSYSERR_NODRIVER;
    case PA_ERR_BUSY:
    case PA_ERR_EXIST:
        return MMSYSERR_ALLOCATED;
    default:
        return MMSYSERR_ERROR;
    }
}

class TPulseWaveIn final : public TWaveIn {
  public:
    TPulseWaveIn(const WAVEFORMATEX& format, std::function<void()> onBufferDone)
        : format_(format), silence_(format.wBitsPerSample == 16 ? 0x00 : 0x80),
          onBufferDone_(std::move(onBufferDone)) {
        pulse_.SetLostHandler([this] { FailLocked(); });
    }

    ~TPulseWaveIn() override {
        TPulseContext::TLock lock(pulse_);
        CloseStreamLocked();
        closed_ = true;
    }

    MMRESULT Connect(int32_t device) {
        if (!pulse_.Connect(kConnectTimeout)) return MMSYSERR_NODRIVER;
        TPulseContext::TLock lock(pulse_);
        std::string source; // empty: the default source, which the server may move
        if (device != WAVE_MAPPER) {
            if (device < 0) return MMSYSERR_BADDEVICEID;
            std::vector<TWaveInCaps> sources;
            if (!ListSourcesLocked(pulse_, sources)) return MMSYSERR_ERROR;
            if (static_cast<std::size_t>(device) >= sources.size()) return MMSYSERR_BADDEVICEID;
            source = sources[static_cast<std::size_t>(device)].identifier;
        }
        if (!SupportedFormat(format_)) return WAVERR_BADFORMAT;
        pa_sample_spec spec;
        spec.format = format_.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        spec.rate = format_.nSamplesPerSec;
        spec.channels = static_cast<uint8_t>(format_.nChannels);
        if (pa_sample_spec_valid(&spec) == 0) return WAVERR_BADFORMAT;

        stream_ = pa_stream_new(pulse_.Context(), "Recording", &spec, nullptr);
        if (stream_ == nullptr) return FromPulseError(pa_context_errno(pulse_.Context()));
        pa_stream_set_state_callback(stream_, &TPulseWaveIn::StateCallback, this);
        pa_stream_set_read_callback(stream_, &TPulseWaveIn::ReadCallback, this);
        pa_stream_set_latency_update_callback(stream_, &TPulseWaveIn::LatencyCallback, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUs, &spec));
        // A chosen device stays chosen: if it goes away the recording fails instead of going
        // on quietly from another source.
        // The timing flags let each delivery say how long ago its first byte was captured.
        auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
            PA_STREAM_AUTO_TIMING_UPDATE);
        if (!source.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(stream_, source.empty() ? nullptr : source.c_str(), &attr,
                                     flags) < 0) {
            const MMRESULT result = FromPulseError(pa_context_errno(pulse_.Context()));
            CloseStreamLocked();
            return result;
        }
        const bool settled = pulse_.WaitLocked(
            [this] {
                const pa_stream_state_t state = pa_stream_get_state(stream_);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            TPulseContext::Clock::now() + kStreamTimeout);
        if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
            const MMRESULT result =
                settled ? FromPulseError(pa_context_errno(pulse_.Context())) : MMSYSERR_ERROR;
            CloseStreamLocked();
            return result;
        }
        streamReady_ = true;
        return MMSYSERR_NOERROR;
    }

    MMRESULT PrepareHeader(TWaveHdr& hdr) override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (hdr.data == nullptr || hdr.bufferLength == 0) return MMSYSERR_INVALPARAM;
        if ((hdr.flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        hdr.flags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT AddBuffer(TWaveHdr& hdr) override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (failed_) return MMSYSERR_NODRIVER;
        if ((hdr.flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
        if ((hdr.flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        if (hdr.data == nullptr || hdr.bufferLength == 0) return MMSYSERR_INVALPARAM;
        if (count_ == kMaxQueued) return MMSYSERR_NOMEM;
        hdr.flags = (hdr.flags & ~WHDR_DONE) | WHDR_INQUEUE;
        hdr.bytesRecorded = 0;
        queue_[(head_ + count_) % kMaxQueued] = &hdr;
        ++count_;
        return MMSYSERR_NOERROR;
    }

    MMRESULT UnprepareHeader(TWaveHdr& hdr) override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if ((hdr.flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        hdr.flags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (failed_) return MMSYSERR_NODRIVER;
        if (running_) return MMSYSERR_NOERROR;
        // Only timing the server reports after the uncork describes the running stream.
        startPosition_ = position_;
        updatesUsed_ = timingUpdates_;
        startEstimates_ = 0;
        if (!CorkLocked(false)) return MMSYSERR_ERROR;
        running_ = true;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Stop() override {
        std::size_t returned = 0;
        MMRESULT result = MMSYSERR_NOERROR;
        {
            TPulseContext::TLock lock(pulse_);
            if (closed_) return MMSYSERR_INVALHANDLE;
            if (failed_) return MMSYSERR_NODRIVER;
            if (running_ && !CorkLocked(true)) result = MMSYSERR_ERROR;
            running_ = false;
            if (count_ > 0 && fill_ > 0) {
                CompleteHeadLocked();
                returned = 1;
            }
        }
        Notify(returned);
        return result;
    }

    MMRESULT Reset() override {
        std::size_t returned = 0;
        MMRESULT result = MMSYSERR_NOERROR;
        {
            TPulseContext::TLock lock(pulse_);
            if (closed_) return MMSYSERR_INVALHANDLE;
            // The buffers go back to their owner even when the server has gone, so that
            // the input can still be closed and the memory freed.
            if (failed_)
                result = MMSYSERR_NODRIVER;
            else if (running_ && !CorkLocked(true))
                result = MMSYSERR_ERROR;
            running_ = false;
            while (count_ > 0) {
                CompleteHeadLocked();
                ++returned;
            }
            position_ = 0;
        }
        Notify(returned);
        return result;
    }

    MMRESULT Close() override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (count_ > 0) return WAVERR_STILLPLAYING;
        CloseStreamLocked();
        closed_ = true;
        running_ = false;
        return MMSYSERR_NOERROR;
    }

    MMRESULT GetPosition(uint32_t& bytesRecordedSoFar) override {
        TPulseContext::TLock lock(pulse_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (failed_) return MMSYSERR_NODRIVER;
        bytesRecordedSoFar = static_cast<uint32_t>(position_);
        return MMSYSERR_NOERROR;
    }

    uint64_t DroppedBytes() override {
        TPulseContext::TLock lock(pulse_);
        return dropped_;
    }

    bool GetStartTime(int64_t& capturedNs) override {
        TPulseContext::TLock lock(pulse_);
        if (startEstimates_ == 0) return false;
        // The median: one delivery that met a stale timing report does not move it.
        std::array<int64_t, kStartEstimates> sorted{};
        std::copy_n(startNs_.begin(), startEstimates_, sorted.begin());
        std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(startEstimates_));
        capturedNs = sorted[startEstimates_ / 2];
        return true;
    }

  private:
    // Loop locked. Pausing also throws away what the server still holds, so that a later
    // Start takes only sound from then on.
    bool CorkLocked(bool pause) {
        if (stream_ == nullptr) return false;
        pa_operation* operation = pa_stream_cork(stream_, pause ? 1 : 0, nullptr, nullptr);
        if (operation == nullptr) return false;
        pa_operation_unref(operation);
        if (pause) {
            operation = pa_stream_flush(stream_, nullptr, nullptr);
            if (operation != nullptr) pa_operation_unref(operation);
        }
        return true;
    }

    void CloseStreamLocked() {
        if (stream_ == nullptr) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        streamReady_ = false;
    }

    // Loop locked: hands the buffer at the head back with what it holds.
    void CompleteHeadLocked() {
        TWaveHdr& hdr = *queue_[head_];
        hdr.bytesRecorded = fill_;
        hdr.flags = (hdr.flags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_[head_] = nullptr;
        head_ = (head_ + 1) % kMaxQueued;
        --count_;
        fill_ = 0;
    }

    // Caller's thread, loop not locked: one notification per returned buffer.
    void Notify(std::size_t returned) {
        if (!onBufferDone_) return;
        for (std::size_t i = 0; i < returned; ++i)
            onBufferDone_();
    }

    // Loop thread, loop locked. `data` null stands for a hole in the stream, filled with
    // silence so that positions stay continuous.
    void DeliverLocked(const uint8_t* data, std::size_t length) {
        position_ += length;
        while (length > 0) {
            if (count_ == 0) {
                dropped_ += length;
                return;
            }
            TWaveHdr& hdr = *queue_[head_];
            const std::size_t n = std::min<std::size_t>(length, hdr.bufferLength - fill_);
            if (data != nullptr) {
                std::memcpy(hdr.data + fill_, data, n);
                data += n;
            } else {
                std::memset(hdr.data + fill_, silence_, n);
            }
            fill_ += static_cast<uint32_t>(n);
            length -= n;
            if (fill_ == hdr.bufferLength) {
                CompleteHeadLocked();
                if (onBufferDone_) onBufferDone_();
            }
        }
    }

    // Loop thread, loop locked: the stream or the whole connection is gone. The buffer in hand
    // goes back with what it holds; the rest wait for Reset.
    void FailLocked() {
        if (failed_ || closed_) return;
        failed_ = true;
        running_ = false;
        if (count_ > 0) {
            CompleteHeadLocked();
            if (onBufferDone_) onBufferDone_();
        }
        pa_threaded_mainloop_signal(pulse_.Loop(), 0);
    }

    static void ReadCallback(pa_stream* stream, std::size_t, void* self) {
        auto* in = static_cast<TPulseWaveIn*>(self);
        const void* data = nullptr;
        std::size_t length = 0;
        while (pa_stream_peek(stream, &data, &length) == 0 && length > 0) {
            if (in->running_) {
                in->NoteCaptureTimeLocked(stream);
                in->DeliverLocked(static_cast<const uint8_t*>(data), length);
            }
            pa_stream_drop(stream);
        }
    }

    // Loop thread, loop locked, before the delivery at the stream's read index is dropped: the
    // stream's latency is how long ago that byte was captured, so the capture of the first
    // byte since Start follows from the bytes taken since.
    void NoteCaptureTimeLocked(pa_stream* stream) {
        if (startEstimates_ == kStartEstimates || timingUpdates_ == updatesUsed_) return;
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) < 0) return;
        // Each estimate from a report of its own: the server's figures step with the blocks
        // it moves sound in, and the median of reports taken at different moments sits
        // between the steps (one report alone was seen up to 10 ms off).
        updatesUsed_ = timingUpdates_;
        if (pa_operation* update = pa_stream_update_timing_info(stream, nullptr, nullptr))
            pa_operation_unref(update);
        const int64_t latencyNs = static_cast<int64_t>(latency) * 1000 * (negative ? -1 : 1);
        const auto since = static_cast<long double>(position_ - startPosition_);
        const auto sinceNs =
            static_cast<int64_t>(since * 1e9L / std::max<uint32_t>(format_.nAvgBytesPerSec, 1));
        startNs_[startEstimates_++] = SteadyNowNs() - latencyNs - sinceNs;
    }

    static void LatencyCallback(pa_stream*, void* self) {
        ++static_cast<TPulseWaveIn*>(self)->timingUpdates_;
    }

    static void StateCallback(pa_stream* stream, void* self) {
        auto* in = static_cast<TPulseWaveIn*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && in->streamReady_) in->FailLocked();
        pa_threaded_mainloop_signal(in->pulse_.Loop(), 0);
    }

    const WAVEFORMATEX format_;
    const uint8_t silence_;
    const std::function<void()> onBufferDone_;
    // [loop lock]
    pa_stream* stream_ = nullptr;
    bool streamReady_ = false;
    bool running_ = false;
    bool failed_ = false;
    bool closed_ = false;
    std::array<TWaveHdr*, kMaxQueued> queue_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    uint32_t fill_ = 0; // bytes already in the buffer at the head
    uint64_t position_ = 0;
    uint64_t dropped_ = 0;
    // The capture time of the first byte since Start, one estimate per early delivery.
    static constexpr std::size_t kStartEstimates = 15;
    std::array<int64_t, kStartEstimates> startNs_{};
    std::size_t startEstimates_ = 0;
    uint64_t startPosition_ = 0; // position_ at Start
    uint64_t timingUpdates_ = 0; // timing reports received
    uint64_t updatesUsed_ = 0;   // the count when the last estimate was made (or at Start)
    TPulseContext pulse_;        // last: its loop thread stops before the members above go
};

} // namespace

MMRESULT TWaveIn::Open(std::unique_ptr<TWaveIn>& out, int32_t device, const WAVEFORMATEX& format,
                       std::function<void()> onBufferDone) {
    out.reset();
    std::unique_ptr<TPulseWaveIn> in;
    try {
        in = std::make_unique<TPulseWaveIn>(format, std::move(onBufferDone));
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    }
    const MMRESULT result = in->Connect(device);
    if (result != MMSYSERR_NOERROR) return result;
    out = std::move(in);
    return MMSYSERR_NOERROR;
}

std::vector<TWaveInCaps> EnumerateInputDevices() {
    std::vector<TWaveInCaps> sources;
    TPulseContext pulse;
    if (!pulse.Connect(kConnectTimeout)) return {};
    TPulseContext::TLock lock(pulse);
    if (!ListSourcesLocked(pulse, sources)) return {};
    return sources;
}

uint32_t WaveInGetNumDevs() {
    return static_cast<uint32_t>(EnumerateInputDevices().size());
}

MMRESULT WaveInGetDevCaps(int32_t device, TWaveInCaps& caps) {
    if (device < WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
    TPulseContext pulse;
    if (!pulse.Connect(kConnectTimeout)) return MMSYSERR_BADDEVICEID;
    TPulseContext::TLock lock(pulse);
    std::vector<TWaveInCaps> sources;
    if (!ListSourcesLocked(pulse, sources)) return MMSYSERR_BADDEVICEID;
    if (device == WAVE_MAPPER) {
        std::string name;
        if (!DefaultSourceLocked(pulse, name)) return MMSYSERR_BADDEVICEID;
        const auto found =
            std::find_if(sources.begin(), sources.end(),
                         [&name](const TWaveInCaps& c) { return c.identifier == name; });
        if (found == sources.end()) return MMSYSERR_BADDEVICEID;
        caps = *found;
        return MMSYSERR_NOERROR;
    }
    if (static_cast<std::size_t>(device) >= sources.size()) return MMSYSERR_BADDEVICEID;
    caps = sources[static_cast<std::size_t>(device)];
    return MMSYSERR_NOERROR;
}
