// The song-wide transport over the tracks of a song, in the song's order. Called on the
// user-interface thread, except UpdatePlayingTracks, which is the clock's tick. Qt-free.
#pragma once

#include <string>
#include <vector>

#include "track/TrackInterfaces.h"

class TVelTrack;

struct TTransportTrack {
    TVelTrack* track;
    bool muted;
};

// Not muted, and its track neither Empty nor Closing.
bool Participating(const TTransportTrack& entry);
// The same rule on a window's mute flag and its track's state: who takes part in Play all,
// Record and Combine and whom the control refresh counts.
bool Participates(bool muted, TTrackState state);

// Every participating track's buffer first, then every unmuted track's feeder, so that the
// tracks start as close together as possible.
void PlayAll(const std::vector<TTransportTrack>& tracks);
// The first playing track stops where it is; every further one at that same song position;
// Loading and Busy tracks are asked to cancel; recording tracks end at that position too.
// Answers the position text ("-1" when nothing played).
std::string StopAll(const std::vector<TTransportTrack>& tracks);
// Every track cued at 0, muted and empty ones included.
void RewindAll(const std::vector<TTransportTrack>& tracks);
// Every track cued at the time `current` plays at, each in its own format.
void SyncTracks(const std::vector<TTransportTrack>& tracks, const TVelTrack& current);
// The Record command. Nothing while `recorder`'s worker is inside its work; Sync first when
// `sync`; `recorder` prepared (a refusal ends it here); then every other participating
// track's buffer, the recording, and every other unmuted track's feeder. True when the
// recording was started.
bool RecordAll(const std::vector<TTransportTrack>& tracks, TVelTrack& recorder, bool sync);
// The clock's tick: the play position of every playing track follows its buffer.
void UpdatePlayingTracks(const std::vector<TTransportTrack>& tracks);
