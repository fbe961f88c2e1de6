// The part of playback the document needs before any sound device is involved: the chunk
// table's data length and fill position, and cueing the working file at a position.
#include <algorithm>

#include "track/PlaybackState.h"
#include "track/VelTrack.h"

void TVelTrack::ReleasePlayback() {
    playback_.reset();
}

void TVelTrack::BuildChunkTable(int32_t dataLength) {
    DataLength = dataLength;
    fillPosition_ = StartOffset;
    chunkTableBuilt_ = true;
}

void TVelTrack::ApplyPanAndVolume() {}

void TVelTrack::Cue(int32_t position) {
    if (!chunkTableBuilt_) return;
    if (position > 0 && position % 2 != 0) --position;
    // A position before the data plays silence first; one past its end has nothing to read.
    const int64_t inData =
        std::clamp<int64_t>(static_cast<int64_t>(position) - StartOffset, 0, working_.dataLength);
    if (!working_.handle || io_.SeekWaveData(working_, inData) < 0) {
        AddMessage(kMsgError, "MMIOSeek - bad wave data chunk.");
        return;
    }
    PlayPosition = position;
    fillPosition_ = position;
    SetState(tsReady);
    view_.RedrawMarkers();
}
