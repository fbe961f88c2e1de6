// The effect run shared by the four effects: the selection streamed chunk by chunk through a
// kernel inside one change, the tail copied, and the effect state the dialog watches.
#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "effects/DelayKernel.h"
#include "effects/DistortionKernel.h"
#include "track/TwoCoreRuns.h"
#include "track/VelTrack.h"

namespace {

constexpr int32_t kChunkBytes = 524288;

} // namespace

bool TVelTrack::StartEffect(std::function<void()> body) {
    // The dialog set 3 before the start; a caller without a dialog (0) keeps 0.
    const auto refuse = [this] {
        uint8_t running = esRunning;
        EffectState.compare_exchange_strong(running, esReady);
        owner_.TrackStateChanged(*this);
        return false;
    };
    if (!Ready()) return refuse();
    if (SelStart < 0 || SelStart > SelEnd || SelEnd > DataLength) {
        AddMessage(kMsgRefusal, "The selection must lie inside the data (00:00.00000 to " +
                                    PositionText(DataLength) + ")");
        return refuse();
    }
    if (!StartJob(tsBusy, std::move(body))) return refuse();
    return true;
}

bool TVelTrack::StartDistortion(int32_t upperThreshold, int32_t lowerThreshold, int32_t clamp,
                                int32_t dry, int32_t wet) {
    distortion_ = {upperThreshold, lowerThreshold, clamp, dry, wet};
    return StartEffect([this] { DoDistortion(); });
}

bool TVelTrack::StartFade(int32_t left, int32_t right) {
    fade_ = {left, right};
    return StartEffect([this] { DoFade(); });
}

bool TVelTrack::StartEqualizer(int32_t dry, const std::array<int32_t, 10>& bands) {
    equalizerDry_ = dry;
    for (std::size_t k = 0; k < bands.size(); ++k)
        equalizerGains_[k] = static_cast<float>(static_cast<long double>(bands[k]) / 100.0L);
    return StartEffect([this] { DoEqualize(); });
}

bool TVelTrack::StartDelay(int32_t totalDelay, int32_t feedback, int32_t dry, int32_t wet,
                           int32_t type, int32_t modFrequency, int32_t modulatedDelay) {
    delay_ = {totalDelay, feedback, dry, wet, type, modFrequency, modulatedDelay};
    return StartEffect([this] { DoDelay(); });
}

bool TVelTrack::RunEffectChunks(int32_t selectionBytes,
                                const std::function<uint8_t*(uint8_t*, int32_t)>& process) {
    int32_t c = selectionBytes >= kChunkBytes ? kChunkBytes : selectionBytes;
    const int32_t chunks = selectionBytes / kChunkBytes + 1;
    if (!io_.AllocWorkBuffer(std::max(c, 1))) return false;
    for (int32_t i = 0; i < chunks; ++i) {
        if (Cancelled()) return false;
        if (c > 0) {
            if (!io_.ReadWaveData(previous_, c)) return false;
            const uint8_t* result = process(io_.Buffer().data, c);
            if (!io_.WriteWaveData(working_, result, c)) return false;
        }
        if (i == chunks - 2) c = selectionBytes % kChunkBytes;
    }
    return io_.CopyWaveData(working_, previous_, previous_.dataLength - SelEnd);
}

void TVelTrack::DoDistortion() {
    const auto& p = distortion_;
    const TDistortionKernel kernel(p.upper, p.lower, p.clamp, p.dry, p.wet, working_.format);
    bool ok = BeginChange(SelStart, "Distorting");
    ok = ok && RunEffectChunks(SelEnd - SelStart, [&](uint8_t* chunk, int32_t bytes) {
             kernel.Process(chunk, bytes);
             return chunk;
         });
    EndChange(ok, SelStart + StartOffset, SelEnd, SelStart, "Distorting");
}

void TVelTrack::DoFade() {
    TFadeRun kernel(fade_.left, fade_.right, SelEnd - SelStart, working_.format);
    bool ok = BeginChange(SelStart, "Fading");
    ok = ok && RunEffectChunks(SelEnd - SelStart, [&](uint8_t* chunk, int32_t bytes) {
             kernel.Process(chunk, bytes);
             return chunk;
         });
    EndChange(ok, PlayPosition, SelEnd, SelStart, "Fading");
}

void TVelTrack::DoEqualize() {
    TEqualizerRun kernel(equalizerDry_, equalizerGains_, working_.format);
    bool ok = BeginChange(SelStart, "Equalizing");
    ok = ok && RunEffectChunks(SelEnd - SelStart, [&](uint8_t* chunk, int32_t bytes) {
             kernel.Process(chunk, bytes);
             return chunk;
         });
    EndChange(ok, PlayPosition, SelEnd, SelStart, "Equalizing");
}

void TVelTrack::DoDelay() {
    const auto& p = delay_;
    TDelayKernel kernel(p.total, p.feedback, p.dry, p.wet, p.type, p.frequency, p.modulated,
                        working_.format);
    const int32_t selection = SelEnd - SelStart;
    const int32_t c = std::min(selection, kChunkBytes);
    std::unique_ptr<uint8_t[]> output(new (std::nothrow) uint8_t[std::max(c, 1)]);
    if (!kernel.Ready() || !output) {
        AddMessage(kMsgError, "Not enough memory to delay");
        // Only from 3: the dialog may have closed during the run, and a track left at 1 with no
        // dialog would keep its edits disabled.
        uint8_t running = esRunning;
        EffectState.compare_exchange_strong(running, esReady);
        SetState(tsReady);
        owner_.SetHourglass(false);
        return;
    }
    // The lines start with the audio just before the selection, written through unchanged.
    const int32_t preroll = kernel.PrerollBytes(SelStart);
    bool ok = BeginChange(SelStart - preroll, "Delaying");
    if (ok && preroll > 0) {
        ok = io_.AllocWorkBuffer(std::max(preroll, c)) && io_.ReadWaveData(previous_, preroll) &&
             io_.WriteWaveData(working_, io_.Buffer().data, preroll);
        if (ok) kernel.Prime(io_.Buffer().data, preroll);
    }
    ok = ok && RunEffectChunks(selection, [&](uint8_t* chunk, int32_t bytes) {
             kernel.Process(chunk, output.get(), bytes);
             return output.get();
         });
    EndChange(ok, SelStart + StartOffset, SelEnd, SelStart, "Delaying");
}
