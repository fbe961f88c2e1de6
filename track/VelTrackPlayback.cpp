// The chunk ring of a track: eight half-second chunks of one looping sound buffer, filled by a
// cue, refilled by the feeder on the track's worker as the Studio's clock moves the play
// cursor on. Positions are bytes of the track's own format on the song timeline. The output
// meter's peaks are measured as each chunk is filled, from the bytes in hand, and posted as the
// play cursor passes them: a chunk is filled seconds before it is heard.
#include <algorithm>

#include "audio/Rounding.h"
#include "audio/VelTrackUtils.h"
#include "platform/SoundOutputMixer.h"
#include "track/PlaybackState.h"
#include "track/VelTrack.h"

namespace {

constexpr uint32_t kFeederWaitMs = 2000;

// Scales every sample of the piece by `gain`, rounded half to even, stored with saturation.
void ApplyGain(uint8_t* data, int32_t bytes, bool is16, float gain) {
    const long double g = gain;
    if (is16) {
        for (int32_t i = 0; i + 1 < bytes; i += 2)
            StoreSample16(data + i,
                          RoundHalfEven(static_cast<long double>(LoadSample16(data + i)) * g));
    } else {
        for (int32_t i = 0; i < bytes; ++i)
            StoreSample8(data + i,
                         RoundHalfEven(static_cast<long double>(LoadSample8(data + i)) * g));
    }
}

// Measures the chunk's bytes (`out`, at `start` in the ring) part by part for the output meter.
// A part begins on a whole sample of the ring, so a sample is never read half.
void MeasureChunk(std::array<std::atomic<uint32_t>, TPlaybackState::kMeterParts>& peaks,
                  const uint8_t* out, uint32_t start, uint32_t size, bool is16) {
    constexpr uint64_t kParts = TPlaybackState::kMeterParts;
    const uint64_t sample = is16 ? 2 : 1;
    const auto boundary = [&](uint64_t j) -> uint32_t { // [bytes from out]
        uint64_t at = start + (j * size + kParts - 1) / kParts;
        at = (at + sample - 1) / sample * sample;
        return static_cast<uint32_t>(std::min<uint64_t>(at - start, size));
    };
    for (uint64_t j = 0; j < kParts; ++j) {
        const uint32_t from = boundary(j), to = boundary(j + 1);
        const TPeak peak = BlockPeak(out + from, static_cast<int32_t>(to - from), is16);
        peaks[j].store(PackPeak(peak), std::memory_order_relaxed);
    }
}

} // namespace

float TVelTrack::OutputGain() const {
    return dampen_ ? TSoundMixer::GainOf(kDampenedVolume) : 1.0f;
}

void TVelTrack::PostPassedPeaks(uint32_t from, uint32_t cursor) {
    const TPlaybackState& p = *playback_;
    const uint64_t chunkBytes = p.chunks[1].size;
    const uint32_t ringBytes = p.bufferSize;
    if (chunkBytes == 0 || ringBytes == 0) return;
    constexpr int kParts = TPlaybackState::kMeterParts;
    constexpr int kAll = TPlaybackState::kRingChunks * kParts;
    const auto partAt = [&](uint32_t offset) {
        const int chunk = static_cast<int>(
            std::min<uint64_t>(offset / chunkBytes, TPlaybackState::kRingChunks - 1));
        const uint64_t inChunk = offset - chunk * chunkBytes;
        const int part =
            static_cast<int>(std::min<uint64_t>(inChunk * kParts / chunkBytes, kParts - 1));
        return chunk * kParts + part;
    };
    // The bytes [from, cursor) have been heard; the part the cursor stands in is only begun.
    const int last = partAt((cursor % ringBytes + ringBytes - 1) % ringBytes);
    TPeak peak;
    for (int g = partAt(from);; g = (g + 1) % kAll) {
        const uint32_t packed =
            p.meterPeaks[g / kParts + 1][g % kParts].load(std::memory_order_relaxed);
        peak = Louder(peak, UnpackPeak(packed));
        if (g == last) break;
    }
    levelMeter_.Post(peak);
}

void TVelTrack::ReleasePlayback() {
    if (!playback_) return;
    std::unique_ptr<TSoundBuffer> buffer;
    {
        std::lock_guard lock(playback_->bufferMutex);
        buffer = std::move(playback_->buffer);
    }
    if (buffer) buffer->Stop();
    buffer.reset();
    playback_.reset();
}

void TVelTrack::ReleaseSoundBuffer() {
    if (!playback_) return;
    std::unique_ptr<TSoundBuffer> buffer;
    {
        std::lock_guard lock(playback_->bufferMutex);
        buffer = std::move(playback_->buffer);
    }
    if (buffer) buffer->Stop();
}

void TVelTrack::BuildChunkTable(int32_t dataLength) {
    // Made once and kept: the clock thread may look at it whenever the track plays.
    if (!playback_) playback_ = std::make_unique<TPlaybackState>();
    TPlaybackState& p = *playback_;
    DataLength = dataLength;
    p.chunks[0].start = 0;
    p.chunks[0].size = static_cast<uint32_t>(std::max(dataLength, 0));
    const uint32_t chunkBytes = working_.format.nAvgBytesPerSec / 2;
    uint32_t start = 0;
    for (int i = 1; i <= TPlaybackState::kRingChunks; ++i) {
        p.chunks[i].start = start;
        p.chunks[i].size = chunkBytes;
        start += chunkBytes;
    }
    for (TChunk& chunk : p.chunks)
        chunk.status = csUnfilled;
    p.bufferSize = start;
    fillPosition_ = StartOffset;
    chunkTableBuilt_ = true;
}

void TVelTrack::ApplyPanAndVolume() {
    SetPanValue(pan_);
    SetVolumeValue(Volume());
}

bool TVelTrack::CreatePlaybackBuffer() {
    TPlaybackState& p = *playback_;
    std::unique_ptr<TSoundBuffer> old;
    {
        std::lock_guard lock(p.bufferMutex);
        old = std::move(p.buffer);
    }
    old.reset();
    if (!soundDevice_ || p.bufferSize == 0) return false;
    std::unique_ptr<TSoundBuffer> created;
    const HRESULT hr = soundDevice_->CreateSoundBuffer(working_.format, p.bufferSize, created);
    if (hr != DS_OK || !created) {
        AddMessage(kMsgError,
                   "CreateSoundBuffer " + SoundErrorText(hr != DS_OK ? hr : DSERR_GENERIC));
        return false;
    }
    {
        std::lock_guard lock(p.bufferMutex);
        p.buffer = std::move(created);
    }
    SetDampen(dampen_);
    SetPanValue(pan_);
    return true;
}

void TVelTrack::Cue(int32_t position) {
    if (!chunkTableBuilt_ || !playback_) return;
    // While a job is in its work only the job itself cues: a cue from outside would move the
    // working file's position under its reads and writes.
    if (worker_.InWork() && !worker_.OnWorkerThread()) return;
    // A playing track is cued only by its own feeder, after it has set the track Ready.
    const uint8_t state = state_.load();
    if (state == tsPlaying || state == tsStopping) return;
    TPlaybackState& p = *playback_;
    if (position > 0 && position % 2 != 0) --position;
    // A failed creation is reported and leaves the track without a buffer; the positions are
    // still set so that the track stays usable and the next cue tries again.
    const bool haveBuffer = CreatePlaybackBuffer();
    for (TChunk& chunk : p.chunks)
        chunk.status = csUnfilled;
    // The ring holds whole frames from its offset 0: the fill starts on the frame of the data's
    // grid at or before the position, however the start offset or the position fall inside a
    // frame (they come from time text). The play position keeps the exact value.
    const int64_t align = std::max<int64_t>(working_.format.nBlockAlign, 1);
    const int64_t skew = ((static_cast<int64_t>(position) - StartOffset) % align + align) % align;
    const int64_t fillFrom = position - skew;
    // A position before the data plays silence first; one past its end has nothing to read.
    const int64_t inData = std::clamp<int64_t>(fillFrom - StartOffset, 0, working_.dataLength);
    if (!working_.handle || io_.SeekWaveData(working_, inData) < 0) {
        AddMessage(kMsgError, "MMIOSeek - bad wave data chunk.");
        return;
    }
    PlayPosition = position;
    fillPosition_ = static_cast<int32_t>(fillFrom);
    p.lastCursor = 0;
    p.playCursor = 0;
    PreviousBoundary();
    NextBoundary();
    // An output that is gone and cannot be reached again takes no bytes: the fill is left
    // undone rather than each chunk reporting the same loss, and the next Play says why it
    // cannot start.
    if (haveBuffer && p.buffer->Restore() != DSERR_BUFFERLOST) {
        for (int k = 1; k <= TPlaybackState::kRingChunks; ++k)
            FillChunk(k);
        std::lock_guard lock(p.bufferMutex);
        if (p.buffer) p.buffer->SetCurrentPosition(0);
    }
    SetState(tsReady);
    view_.RedrawMarkers();
}

bool TVelTrack::FillChunk(int k) {
    TPlaybackState& p = *playback_;
    TChunk& chunk = p.chunks[k];
    // Only the cueing thread or the feeder fills, and they never run together: the buffer
    // pointer does not change under us.
    TSoundBuffer* buffer = p.buffer.get();
    if (!buffer) return false;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    HRESULT hr = buffer->Lock(chunk.start, chunk.size, &p1, &n1, &p2, &n2, 0);
    if (hr == DSERR_BUFFERLOST) {
        buffer->Restore();
        hr = buffer->Lock(chunk.start, chunk.size, &p1, &n1, &p2, &n2, 0);
    }
    if (hr != DS_OK) {
        AddMessage(kMsgError, "SoundBuffer.Lock fails " + SoundErrorText(hr));
        return false;
    }
    const auto unlock = [&] {
        const HRESULT result = buffer->Unlock(p1, n1, p2, n2);
        if (result != DS_OK) AddMessage(kMsgError, "unlock fails " + SoundErrorText(result));
    };
    // A chunk never wraps past the ring's end, so the region is the first part alone.
    uint8_t* out = static_cast<uint8_t*>(p1);
    const int32_t size = static_cast<int32_t>(std::min(n1, chunk.size));
    const int64_t toEnd = std::max<int64_t>(0, static_cast<int64_t>(p.endPosition) - fillPosition_);
    const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(size, toEnd));
    const bool is16 = Is16Bit(working_.format);
    int32_t supplied = 0;
    while (supplied < wanted) {
        const int32_t n = std::min(wanted - supplied, kBlockBytes);
        const int64_t f = fillPosition_;
        int32_t silence = 0;
        if (f < StartOffset) silence = static_cast<int32_t>(std::min<int64_t>(n, StartOffset - f));
        io_.FillSilence(out + supplied, silence);
        fillPosition_ += silence;
        int32_t got = 0;
        if (n > silence) {
            // The locked piece is the work buffer of the read; the read advances the fill
            // position by the bytes it brought.
            io_.UseSoundBufferPiece(out + supplied + silence, n - silence);
            const bool ok = io_.ReadWaveData(working_, n - silence, &got);
            io_.ReleaseWorkBuffer();
            if (!ok) {
                unlock();
                return false;
            }
        }
        if (const TVolumeSetting v = volumeAndGain_.load(); v.volume != 0)
            ApplyGain(out + supplied, silence + got, is16, v.gain);
        supplied += silence + got;
        if (got < n - silence) break; // the file holds less than its header said
    }
    chunk.endPosition = fillPosition_;
    if (supplied < size) io_.FillSilence(out + supplied, size - supplied);
    if (LevelMetering())
        MeasureChunk(p.meterPeaks[k], out, chunk.start, static_cast<uint32_t>(size), is16);
    unlock();
    chunk.status = supplied > 0 || size == 0 ? csFilled : csSilenceOnly;
    return true;
}

bool TVelTrack::ServiceChunks() {
    TPlaybackState& p = *playback_;
    if (TrackState() != tsPlaying) return false;
    if (PlayPosition >= p.endPosition) {
        StopBuffer();
        return false;
    }
    const uint32_t cursor = p.playCursor;
    int playing = 0;
    for (int i = 1; i <= TPlaybackState::kRingChunks; ++i) {
        TChunk& chunk = p.chunks[i];
        if (chunk.start <= cursor && cursor <= chunk.start + chunk.size) {
            const uint8_t current = chunk.status;
            if (current == csUnfilled || current == csSilenceOnly) {
                AddMessage(kMsgStatus, "Stop Using Stop Chunk");
                StopBuffer();
                return false;
            }
            chunk.status = csPlaying;
            playing = i; // on a boundary the later chunk wins
        }
        // Only a chunk that holds data can have been played: an unfilled one (its lock failed)
        // must stay a stop chunk, or it would be refilled with a stretch out of order.
        const uint8_t status = chunk.status;
        if ((status == csFilled || status == csPlaying) && chunk.endPosition < PlayPosition)
            chunk.status = csPlayed;
    }
    if (playing == 0) return true;
    // The chunk just before the playing one is left alone: the cursor may sit on its end.
    for (int step = 1; step < TPlaybackState::kRingChunks; ++step) {
        const int k = (playing - 1 + step) % TPlaybackState::kRingChunks + 1;
        const int next = k % TPlaybackState::kRingChunks + 1;
        if (p.chunks[k].status == csPlayed && p.chunks[next].status != csPlaying) FillChunk(k);
    }
    return true;
}

void TVelTrack::RunFeeder() {
    TPlaybackState& p = *playback_;
    semaphore_.WaitForever();
    for (;;) {
        // A time-out only means no one woke us early. A stop that came before the feeder
        // took the count has its release swallowed: it must not wait for the time-out.
        if (TrackState() == tsPlaying) semaphore_.Wait(kFeederWaitMs);
        // A cancel (the track is closing) stops the sound as a stop does; left playing, the
        // feeder would go on for as long as the sound does, and its closer would wait for it.
        if (Cancelled()) StopBuffer();
        const bool goOn = ServiceChunks();
        p.serviceRounds.fetch_add(1);
        if (!goOn) break;
    }
    semaphore_.Release();
    state_.store(tsReady);
    const int32_t request = p.stopRequest;
    Cue(request != -1 ? request : p.returnPosition.load());
}

void TVelTrack::StartFeeder() {
    if (!playback_ || TrackState() != tsPlaying) return;
    SetState(tsPlaying);
    // A position exactly on a selection boundary belongs to the stretch after it.
    PlayPosition.fetch_add(1);
    PreviousBoundary();
    NextBoundary();
    if (!worker_.Start([this] { RunFeeder(); })) {
        // Nothing will ever refill or stop the buffer: silence it rather than loop four
        // seconds of stale sound.
        StopBuffer();
        SetState(tsReady);
        return;
    }
    owner_.SetHourglass(false);
}

void TVelTrack::Play() {
    if (StartBuffer()) StartFeeder();
}

std::string TVelTrack::StopAt(const std::string& positionText) {
    switch (TrackState()) {
    case tsPlaying: {
        TPlaybackState& p = *playback_;
        const int32_t request =
            positionText == "-1" ? PlayPosition.load() : TextPosition(positionText);
        p.stopRequest = request;
        StopBuffer();
        semaphore_.Release();
        return PositionText(request);
    }
    case tsRecording: {
        // The request is in place before the cancel, so the loop that sees the cancel also
        // sees where the take is to end.
        // The text is made before the cancel: once cancelled, the worker reopens the working
        // file and rewrites the format this reads.
        const int32_t request = TextPosition(positionText);
        std::string text = PositionText(request);
        if (playback_) playback_->stopRequest = request;
        worker_.Cancel();
        semaphore_.Release();
        return text;
    }
    case tsLoading:
    case tsBusy:
        worker_.Cancel();
        return positionText;
    default:
        return positionText;
    }
}

void TVelTrack::Stop() {
    StopAt("-1");
}

void TVelTrack::UpdatePlayPosition() {
    if (!playback_ || TrackState() != tsPlaying) return;
    TPlaybackState& p = *playback_;
    uint32_t cursor = 0;
    HRESULT hr = DS_OK;
    {
        std::lock_guard lock(p.bufferMutex);
        if (!p.buffer) return;
        hr = p.buffer->GetCurrentPosition(&cursor, nullptr);
    }
    if (hr == DSERR_BUFFERLOST) {
        // The output is gone (its sound server went away): nothing is heard any more and the
        // cursor will not move again, so the track stops where it was instead of playing
        // silence for ever. Stopping first makes this the only report.
        StopAt("-1");
        AddMessage(kMsgError, "GetCurrentPosition fails " + SoundErrorText(hr));
        return;
    }
    if (hr != DS_OK) {
        AddMessage(kMsgError, "GetCurrentPosition fails " + SoundErrorText(hr));
        return;
    }
    const int32_t now = static_cast<int32_t>(cursor);
    const int32_t last = p.lastCursor;
    const int32_t moved =
        last < 0 || now >= last ? now - last : static_cast<int32_t>(p.bufferSize) + now - last;
    if (moved > 0 && LevelMetering())
        PostPassedPeaks(static_cast<uint32_t>(std::max(last, 0)), cursor);
    p.playCursor = cursor;
    p.lastCursor = now;
    const int32_t position = PlayPosition.fetch_add(moved) + moved;
    const int32_t end = p.endPosition;
    if (end < position) PlayPosition = end + 1;
    view_.RedrawMarkers();
}

int32_t TVelTrack::NextBoundary() {
    const int32_t position = PlayPosition;
    const int32_t s = StartOffset + SelStart;
    const int32_t e = StartOffset + SelEnd;
    int32_t boundary = StartOffset + DataLength;
    if (HasSelection) {
        if (position < s)
            boundary = s;
        else if (position < e)
            boundary = e;
    }
    if (playback_) playback_->endPosition = boundary;
    return boundary;
}

int32_t TVelTrack::PreviousBoundary() {
    const int32_t position = PlayPosition;
    const int32_t s = HasSelection ? StartOffset + SelStart : StartOffset;
    const int32_t e = HasSelection ? StartOffset + SelEnd : StartOffset;
    int32_t boundary = StartOffset;
    if (e < position)
        boundary = e;
    else if (s < position)
        boundary = s;
    if (playback_) playback_->returnPosition = boundary;
    return boundary;
}
