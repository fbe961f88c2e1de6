// Recording: punch-in over the selection from the wave-input layer. The take replaces the
// track's data from the record start up to the selection end inside one change; the input
// fills two buffers of at most 512 KiB that the worker writes and hands back, so memory stays
// bounded whatever the length. The input's notification only counts the buffer and wakes the
// worker; the worker takes every handed-back buffer on each wake-up, in queue order.
//
// The input hears what the other tracks play later than the listener does. With latency
// compensation the take is placed earlier by the delay measured for it: the moment the
// listener hears the record start (the output's clock when the other tracks have just been
// started) less the moment the input captured its first byte (the record stream's timing).
// The input's first bytes up to that delay are passed over, and the input goes on for as long
// after the selection end or a Stop all, so that the take holds exactly what was heard from
// the record start to its end.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>

#include "track/PlaybackState.h"
#include "track/RecordingState.h"
#include "track/VelTrack.h"
#include "track/Waveform.h"

namespace {

constexpr int32_t kRecordBufferMax = 0x80000; // [bytes]

// Runs `f` on every way out of a scope.
template <class F> class TAtExit {
  public:
    explicit TAtExit(F f) : f_(std::move(f)) {}
    ~TAtExit() { f_(); }
    TAtExit(const TAtExit&) = delete;
    TAtExit& operator=(const TAtExit&) = delete;

  private:
    F f_;
};

// A write in progress must not be cut short by a stop: the bytes are already recorded. The
// request still counts once the write is over.
class TCancelPause {
  public:
    explicit TCancelPause(TVelThread& worker) : worker_(worker), was_(worker.IgnoreCancel()) {
        worker_.SetIgnoreCancel(true);
    }
    ~TCancelPause() { worker_.SetIgnoreCancel(was_); }
    TCancelPause(const TCancelPause&) = delete;
    TCancelPause& operator=(const TCancelPause&) = delete;

  private:
    TVelThread& worker_;
    bool was_;
};

std::string InputFailure(const char* call, const std::string& name, MMRESULT code) {
    return std::string(call) + name + " " + WaveInGetErrorText(code);
}

std::atomic<bool> latencyCompensate{false};
std::atomic<int32_t> latencyOffsetMs{0};

// `ms` milliseconds as bytes of whole frames, to the nearest frame.
int32_t FrameBytesOf(double ms, const WAVEFORMATEX& format) {
    const auto frames = std::llround(ms * format.nSamplesPerSec / 1000.0);
    return static_cast<int32_t>(frames) * std::max<int32_t>(format.nBlockAlign, 1);
}

// When the listener hears the first frame of a buffer started now; -1 without a clock.
int64_t OutputStartNs(TSoundOutputDevice* device) {
    TSoundOutputTiming timing;
    if (device == nullptr || device->GetTiming(timing) != DS_OK || timing.rate == 0) return -1;
    const int64_t pending = std::max<int64_t>(timing.handedFrames - timing.heardFrames, 0);
    return timing.nowNs +
           static_cast<int64_t>(static_cast<long double>(pending) * 1e9L / timing.rate);
}

std::string MsText(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

// The status line after a take: what placed it where.
std::string PlacementText(const TRecordingState& r, const WAVEFORMATEX& format) {
    const double placedMs = format.nAvgBytesPerSec == 0
                                ? 0.0
                                : r.skip * 1000.0 / static_cast<double>(format.nAvgBytesPerSec);
    const std::string offset = std::to_string(r.latency.offsetMs) + " ms";
    if (!r.latency.compensate) {
        if (r.latency.offsetMs == 0) return "Latency compensation off";
        return "Latency compensation off: the take was placed " + MsText(placedMs) +
               " earlier (offset " + offset + ")";
    }
    if (r.measuredMs < 0)
        return "Latency compensation: no timing from the sound server, the take was placed " +
               MsText(placedMs) + " earlier (offset " + offset + ")";
    return "Latency compensation: the take was placed " + MsText(placedMs) + " earlier (measured " +
           MsText(r.measuredMs) + ", offset " + offset + ")";
}

} // namespace

void SetRecordingLatency(const TRecordingLatency& latency) {
    latencyCompensate.store(latency.compensate);
    latencyOffsetMs.store(
        std::clamp(latency.offsetMs, -kMaxLatencyCompensationMs, kMaxLatencyCompensationMs));
}

TRecordingLatency RecordingLatency() {
    return {latencyCompensate.load(), latencyOffsetMs.load()};
}

bool TVelTrack::PrepareRecording() {
    // A device whose close failed earlier still holds its buffers; it must go first.
    if (recording_ && recording_->input) CloseRecordingDevice();
    if (recording_ && recording_->input) return false;
    if (SelStart < 0 || SelStart > SelEnd || SelEnd > DataLength) {
        AddMessage(kMsgRefusal, "The selection must lie inside the data (00:00.00000 to " +
                                    PositionText(DataLength) + ")");
        return false;
    }
    if (WaveInGetNumDevs() == 0) {
        AddMessage(kMsgError, "No Input devices available.");
        return false;
    }
    TWaveInCaps caps;
    const MMRESULT capsResult = WaveInGetDevCaps(inputDevice_, caps);
    if (capsResult != MMSYSERR_NOERROR) {
        AddMessage(kMsgError, "Invalid Input Device.  WaveinGetDevCaps. " +
                                  std::to_string(capsResult) +
                                  " Use Menu Options|Sound to select a valid one.");
        inputDeviceName_ = "Invalid Input Device";
        return false;
    }
    inputDeviceName_ = caps.productName.substr(0, kWaveInProductNameMax);
    const std::string name = inputDeviceName_;
    AddMessage(kMsgStatus, "Preparing to record with " + name);

    auto state = std::make_unique<TRecordingState>();
    TRecordingState* r = state.get();
    // The output follows the recording's rate so that the other tracks play in step with it.
    if (working_.format.nSamplesPerSec != outputFormat_.nSamplesPerSec) {
        r->outputSwitched = true;
        SetOutputFormat(outputFormat_, working_.format.nSamplesPerSec);
    }
    const MMRESULT opened = TWaveIn::Open(r->input, inputDevice_, working_.format, [this, r] {
        // A sound-server thread: count the buffer and wake the worker, nothing more.
        r->completed.fetch_add(1, std::memory_order_release);
        semaphore_.Release();
    });
    if (opened != MMSYSERR_NOERROR) {
        AddMessage(kMsgError, InputFailure("WaveInOpen. ", name, opened));
        if (r->outputSwitched) SetOutputFormat(outputFormat_, 0);
        return false;
    }
    recording_ = std::move(state);

    // The record start: the play position inside the selection, else the selection start.
    // It is moved up to a whole frame so that the take's samples keep the file's frame grid.
    int32_t start = PlayPosition - StartOffset;
    if (start >= SelEnd || start < SelStart) start = SelStart;
    const int32_t align = std::max<int32_t>(working_.format.nBlockAlign, 1);
    if (start % align != 0) start += align - start % align;
    start = std::min(start, SelEnd);
    PlayPosition = StartOffset + start;
    if (playback_) playback_->stopRequest = -1;

    // The buffers leave room for the input bytes a placement passes over at the front.
    r->latency = RecordingLatency();
    const int32_t total = SelEnd - start;
    if (total > 0 && (r->latency.compensate || r->latency.offsetMs > 0))
        r->slack =
            std::min(FrameBytesOf(kMaxLatencyCompensationMs, working_.format), INT32_MAX - total);
    const int32_t input = total + r->slack;
    const int32_t first = std::min(input, kRecordBufferMax);
    const int32_t second = input > first ? std::min(input - first, kRecordBufferMax) : 0;
    r->memorySize = first + second;
    r->memory.reset(new (std::nothrow) uint8_t[static_cast<std::size_t>(r->memorySize) + 1]);
    if (!r->memory) {
        AddMessage(kMsgError, "Not enough memory to record");
        CloseRecordingDevice();
        return false;
    }
    io_.FillSilence(r->memory.get(), r->memorySize);
    r->buffers.resize(second > 0 ? 2 : 1);
    r->buffers[0].data = r->memory.get();
    r->buffers[0].bufferLength = static_cast<uint32_t>(first);
    if (second > 0) {
        r->buffers[1].data = r->memory.get() + first;
        r->buffers[1].bufferLength = static_cast<uint32_t>(second);
    }
    for (TWaveHdr& hdr : r->buffers) {
        MMRESULT result = r->input->PrepareHeader(hdr);
        if (result != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinPrepareHeader. ", name, result));
            CloseRecordingDevice();
            return false;
        }
        result = r->input->AddBuffer(hdr);
        if (result != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinAddBuffer. ", name, result));
            CloseRecordingDevice();
            return false;
        }
    }
    SetState(tsRecording);

    const std::string changeName = "Preparing to Record with " + name;
    r->recordStart = start;
    r->current = 0;
    // The new state is made here; the audio before the take is copied into it by the
    // recording's worker once the input runs. Record is called on the user-interface thread,
    // and copying minutes of audio there would hold up the windows.
    takeStartOfChange_ = start; // the record names the take's state as a take
    const bool begun = BeginChange(0, changeName);
    takeStartOfChange_ = -1;
    if (!begun) {
        CloseRecordingDevice();
        EndChange(false, PlayPosition, SelEnd, start, changeName);
        return false;
    }
    {
        std::lock_guard lock(namesMutex_);
        UndoNames.back() = "Recording";
    }
    return true;
}

void TVelTrack::RunRecording() {
    TRecordingState* r = recording_.get();
    if (!r || !r->input) {
        SetState(tsReady);
        return;
    }
    // The take's live display goes on every way out: the marker first, so that the redraw of
    // the take's EndChange already shows the selection again; the overlay once the real
    // picture (or, when the take failed, the old one) stands beneath it.
    TAtExit endDisplay([this] {
        recordingMarker_ = -1;
        view_.ClearOverlay();
        view_.RedrawMarkers();
    });
    const std::string name = inputDeviceName_;
    const int32_t align = std::max<int32_t>(working_.format.nBlockAlign, 1);
    const std::string runName = "Recording with " + name;
    const int32_t recordStart = r->recordStart;
    const int32_t selEnd = SelEnd;

    const MMRESULT started = r->input->Start();
    if (started != MMSYSERR_NOERROR) {
        AddMessage(kMsgError, InputFailure("WaveinStart. ", name, started));
        CloseRecordingDevice();
        EndChange(false, PlayPosition, selEnd, recordStart, runName);
        return;
    }
    r->startPlay = PlayPosition;
    SetState(tsRecording);
    owner_.SetHourglass(true);
    AddMessage(kMsgStatus, runName);
    // The input already fills its buffers while the audio before the take is copied: the take
    // stays aligned with the tracks that started with it. A stop meanwhile is honoured once the
    // copy is whole, so the take keeps what was recorded until then.
    bool copied = true;
    {
        TCancelPause pause(worker_);
        copied = io_.CopyWaveData(working_, previous_, recordStart);
    }
    // The copy's block is not needed while recording: the two input buffers are the
    // recording's whole memory.
    io_.ReleaseWorkBuffer();
    if (!copied) {
        r->input->Reset();
        r->input->Stop();
        CloseRecordingDevice();
        EndChange(false, PlayPosition, selEnd, recordStart, runName);
        return;
    }
    r->written = recordStart;

    // The live display draws the take's columns into the view's overlay as they are recorded,
    // one drawing step each as the view's picture has them, and waits one step's worth of
    // audio between looks (at most 100 ms). The samples come from the two input buffers read
    // as a ring; nothing is allocated per column.
    const int width = view_.Width();
    const int height = view_.Height();
    const bool is16 = Is16Bit(working_.format);
    const TDrawingStep step = DrawingStep(width, DataLength, is16);
    const uint32_t waitMs = TakeRedrawWaitMs(step.bytesPerColumn, working_.format.nAvgBytesPerSec);
    const bool drawing = width >= 3 && height > 0;
    const int64_t takeBytes = selEnd - recordStart;
    const int64_t inputBytes = takeBytes + r->slack; // the most the take may take from the input
    // The input may go on writing while a column is read: the bytes it reaches next in the
    // ring (the oldest, once a buffer has been queued again) are left alone.
    const int64_t writeGuard = std::min<int64_t>(
        std::max<uint32_t>(working_.format.nAvgBytesPerSec, 1), r->memorySize / 4);
    TTakeColumnWalker walker(step, is16, align);
    int32_t lastColumn = PositionToColumn(r->startPlay, StartOffset, DataLength, width);
    int64_t metered = 0; // the input's bytes the input meter has measured

    auto drawTake = [&](uint32_t devicePosition) {
        const int32_t play = PlayPosition;
        const int32_t column = PositionToColumn(play, StartOffset, DataLength, width);
        if (column <= lastColumn) return;
        recordingMarker_ = play;
        // What the input has put into the buffers: its position counts dropped bytes too.
        const int64_t filled = std::clamp<int64_t>(
            static_cast<int64_t>(devicePosition) - static_cast<int64_t>(r->input->DroppedBytes()),
            0, inputBytes);
        const int64_t heldFrom =
            inputBytes > r->memorySize
                ? std::max<int64_t>(filled + writeGuard - r->memorySize, 0)
                : 0; // no buffer is queued twice: every byte stays where it was recorded
        for (int32_t c = lastColumn; c < column; ++c) {
            const TColumnValues y = ColumnValues(
                walker.Next(r->memory.get(), r->memorySize, heldFrom, filled), is16, height);
            view_.DrawOverlayColumn(c, y.yTop, y.yBottom);
        }
        lastColumn = column;
    };

    auto stopInput = [&]() -> bool {
        uint32_t position = 0;
        if (r->input->GetPosition(position) == MMSYSERR_NOERROR) r->lastDevicePosition = position;
        r->input->Reset(); // hands back every queued buffer, the one in hand with what it holds
        const MMRESULT stopped = r->input->Stop();
        r->deviceStopped = true;
        // From here on the take only gets written: a stop is not a cancel.
        worker_.SetIgnoreCancel(true);
        if (stopped != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinStop. ", name, stopped));
            return false;
        }
        return true;
    };

    // The placement, decided once: when the first buffer comes back, when the input has
    // reached the take's length, or at a Stop all, whichever is first. The input has reported
    // its timing long before (each delivery is 20 ms, and the slack alone is longer).
    auto place = [&] {
        if (r->placed) return;
        r->placed = true;
        double ms = r->latency.offsetMs;
        int64_t capturedNs = 0;
        if (r->latency.compensate && r->outputStartNs >= 0 && r->input->GetStartTime(capturedNs)) {
            r->measuredMs = static_cast<double>(r->outputStartNs - capturedNs) / 1e6;
            ms += r->measuredMs;
        }
        r->skip = std::clamp(FrameBytesOf(ms, working_.format), 0, r->slack);
    };
    // Input bytes the take needs, once placed: up to the selection end, or up to where a Stop
    // all stopped the other tracks.
    auto inputNeed = [&]() -> int64_t {
        const int32_t request = playback_ ? playback_->stopRequest.load() : -1;
        int64_t end = takeBytes;
        if (request != -1)
            end = std::clamp<int64_t>(request - StartOffset - recordStart, 0, takeBytes);
        return end + r->skip;
    };
    // Input bytes taken so far, passed over or written.
    auto inputTaken = [&]() -> int64_t {
        return static_cast<int64_t>(r->written) - recordStart + r->skipped;
    };

    auto processCurrent = [&]() -> bool {
        TWaveHdr& b = r->buffers[r->current];
        place();
        if (!r->deviceStopped &&
            inputTaken() + static_cast<int64_t>(b.bufferLength) >= inputNeed() && !stopInput())
            return false;
        const MMRESULT unprepared = r->input->UnprepareHeader(b);
        if (unprepared != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinUnPrepareHeader. ", name, unprepared));
            return false;
        }
        auto length = static_cast<int32_t>(b.bufferLength);
        auto count = static_cast<int32_t>(std::min(b.bytesRecorded, b.bufferLength));
        uint8_t* data = b.data;
        // What the input heard before the record start is passed over.
        const int32_t pass = std::min(count, r->skip - r->skipped);
        data += pass;
        count -= pass;
        length -= pass;
        r->skipped += pass;
        const int32_t request = playback_ ? playback_->stopRequest.load() : -1;
        if (request != -1) {
            // The take ends exactly where the other tracks stopped. What the input had not
            // delivered by then is silence, never a stale earlier fill of the buffer.
            // Cut on a whole frame: a sample half new and half old would be noise.
            int32_t cut = request - StartOffset - r->written;
            cut = std::clamp(cut - (request - StartOffset) % align, 0, length);
            if (cut > count) io_.FillSilence(data + count, cut - count);
            count = cut;
        }
        count = std::min(count, selEnd - r->written);
        {
            TCancelPause pause(worker_);
            if (!io_.WriteWaveData(working_, data, count)) return false;
        }
        r->written += count;
        ++r->processed;
        r->current = (r->current + 1) % r->buffers.size();
        if (r->deviceStopped) return true;
        const TWaveHdr& next = r->buffers[r->current];
        const int64_t need = inputNeed();
        if (inputTaken() + static_cast<int64_t>(next.bufferLength) >= need) return true;
        // Refills are cut so that the last one ends exactly where the take needs no more.
        b.bufferLength = static_cast<uint32_t>(
            std::min<int64_t>(b.bufferLength, need - inputTaken() - next.bufferLength));
        MMRESULT result = r->input->PrepareHeader(b);
        if (result != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinPrepareHeader. ", name, result));
            return false;
        }
        result = r->input->AddBuffer(b);
        if (result != MMSYSERR_NOERROR) {
            AddMessage(kMsgError, InputFailure("WaveinAddBuffer. ", name, result));
            return false;
        }
        // From here on the queue holds buffers up to the selection end, or a later refill
        // looks again: what the input drops after the last refill falls beyond the take.
        r->droppedBytes = r->input->DroppedBytes();
        return true;
    };

    // The columns up to the play position of the last look, then the play position anew. The
    // device position is read first: it also tells which bytes of the ring may be read now.
    auto updateDisplay = [&] {
        uint32_t position = 0;
        if (r->input->GetPosition(position) == MMSYSERR_NOERROR) {
            r->lastDevicePosition = position;
            if (LevelMetering()) {
                // The input meter: the peak of what the input delivered since the last look,
                // read from the buffers as the live display reads them (never the bytes the
                // input is about to overwrite).
                const int64_t filled = std::clamp<int64_t>(
                    static_cast<int64_t>(position) - static_cast<int64_t>(r->input->DroppedBytes()),
                    0, inputBytes);
                const int64_t held = inputBytes > r->memorySize
                                         ? std::max<int64_t>(filled + writeGuard - r->memorySize, 0)
                                         : 0;
                const int64_t from = (std::max(metered, held) + align - 1) / align * align;
                levelMeter_.Post(RingPeak(r->memory.get(), r->memorySize, from, filled, is16));
                metered = std::max(metered, filled);
            }
            if (drawing) drawTake(position);
            const int64_t heard = static_cast<int64_t>(position) - (r->placed ? r->skip : 0);
            const int64_t at = static_cast<int64_t>(r->startPlay) + std::max<int64_t>(heard, 0);
            PlayPosition = static_cast<int32_t>(std::min<int64_t>(at, StartOffset + selEnd));
        }
        view_.RedrawMarkers();
    };

    semaphore_.WaitForever(); // held for the whole take: each hand-back or stop releases it
    bool ok = true;
    for (;;) {
        const bool cancelled = Cancelled();
        uint32_t wait = waitMs;
        bool enough = false;
        bool hearOn = false;
        if (!r->deviceStopped && r->slack > 0) {
            // A placed take needs input beyond the selection end or a Stop all's position:
            // the input stops once it has heard that far, looked at no later than then.
            uint32_t position = 0;
            const bool known = r->input->GetPosition(position) == MMSYSERR_NOERROR;
            const int32_t request = playback_ ? playback_->stopRequest.load() : -1;
            if ((cancelled && request != -1) || (known && position >= takeBytes)) place();
            hearOn = cancelled && request != -1 && r->skip > 0;
            const int64_t target = r->placed ? inputNeed() : takeBytes;
            enough = r->placed && known && position >= target;
            if (known && !enough && r->memorySize > 0) {
                const int64_t left = target - position;
                const auto rate = std::max<uint32_t>(working_.format.nAvgBytesPerSec, 1);
                wait = static_cast<uint32_t>(
                    std::clamp<int64_t>(left * 1000 / rate + 1, 1, static_cast<int64_t>(waitMs)));
            }
        }
        if (((cancelled && !hearOn) || enough) && !r->deviceStopped && !stopInput()) {
            ok = false;
            break;
        }
        if ((!cancelled || hearOn) && !enough && !semaphore_.Wait(wait)) {
            updateDisplay();
            continue;
        }
        // Wake-ups merge; every buffer handed back since the last one is taken now.
        while (ok && r->written < selEnd &&
               r->completed.load(std::memory_order_acquire) > r->processed)
            ok = processCurrent();
        if (!ok || r->written >= selEnd || r->deviceStopped) break;
    }
    semaphore_.Release();
    recordingMarker_ = -1;
    AddMessage(kMsgStatus, "Recording Stopped, Writing Data");
    const int32_t written = r->written;
    place(); // a take stopped before its first buffer came back
    const std::string placement = PlacementText(*r, working_.format);
    CloseRecordingDevice();
    worker_.SetIgnoreCancel(true);

    if (ok) {
        ok = io_.SeekWaveData(previous_, written) > 0 &&
             io_.CopyWaveData(working_, previous_, previous_.dataLength - written);
    }
    const int32_t playAfter = written == selEnd ? StartOffset + SelStart : StartOffset + written;
    EndChange(ok, playAfter, selEnd, recordStart, runName);
    if (ok) AddMessage(kMsgStatus, placement);
}

bool TVelTrack::StartRecording() {
    if (!Ready()) return false;
    return StartJob(tsBusy, [this] {
        if (!PrepareRecording()) {
            if (TrackState() != tsReady) SetState(tsReady);
            owner_.SetHourglass(false);
            return;
        }
        recording_->outputStartNs = OutputStartNs(soundDevice_);
        RunRecording();
    });
}

void TVelTrack::StartPreparedRecording() {
    if (!recording_ || !recording_->input || TrackState() != tsRecording) return;
    // The other tracks were started just before: the listener hears their first frames, and
    // so the record start, when the output has played what it holds now.
    recording_->outputStartNs = OutputStartNs(soundDevice_);
    if (worker_.Start([this] { RunRecording(); })) return;
    // The refused start asked the job in hand to stop; once it has, try once more.
    WaitForOwnWorker(false);
    if (worker_.Start([this] { RunRecording(); })) return;
    // The device is open and the change begun: both are undone rather than left behind.
    const int32_t start = recording_->recordStart;
    CloseRecordingDevice();
    EndChange(false, PlayPosition, SelEnd, start, "Recording with " + inputDeviceName_);
}

void TVelTrack::CloseRecordingDevice() {
    if (!recording_ || !recording_->input) return;
    TRecordingState& r = *recording_;
    r.input->Reset();
    r.input->Stop();
    const MMRESULT closed = r.input->Close();
    if (closed != MMSYSERR_NOERROR && closed != MMSYSERR_INVALHANDLE) {
        AddMessage(kMsgError, InputFailure("WaveInClose. ", inputDeviceName_, closed));
        return;
    }
    // Only the counts stay, for the caller to look at.
    r.input.reset();
    r.buffers.clear();
    r.buffers.shrink_to_fit();
    r.memory.reset();
    r.memorySize = 0;
    if (r.outputSwitched) SetOutputFormat(outputFormat_, 0);
    r.outputSwitched = false;
}

uint64_t TVelTrack::RecordingDroppedBytes() const {
    return recording_ ? recording_->droppedBytes : 0;
}
