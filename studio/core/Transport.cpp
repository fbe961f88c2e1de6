#include "studio/core/Transport.h"

#include "track/VelTrack.h"

bool Participates(bool muted, TTrackState state) {
    return !muted && state != tsEmpty && state != tsClosing;
}

bool Participating(const TTransportTrack& entry) {
    return entry.track && Participates(entry.muted, entry.track->TrackState());
}

void PlayAll(const std::vector<TTransportTrack>& tracks) {
    for (const TTransportTrack& entry : tracks)
        if (Participating(entry)) entry.track->StartBuffer();
    // StartFeeder acts only on the tracks StartBuffer made Playing.
    for (const TTransportTrack& entry : tracks)
        if (entry.track && !entry.muted) entry.track->StartFeeder();
}

std::string StopAll(const std::vector<TTransportTrack>& tracks) {
    std::string position = "-1";
    for (const TTransportTrack& entry : tracks) {
        if (!entry.track) continue;
        const TTrackState state = entry.track->TrackState();
        if (state == tsPlaying)
            position = entry.track->StopAt(position);
        else if (state == tsLoading || state == tsBusy)
            entry.track->Stop();
    }
    // Recording ends where the playing tracks stopped (the recorder cuts its data there).
    for (const TTransportTrack& entry : tracks)
        if (entry.track && entry.track->TrackState() == tsRecording) entry.track->StopAt(position);
    return position;
}

void RewindAll(const std::vector<TTransportTrack>& tracks) {
    for (const TTransportTrack& entry : tracks)
        if (entry.track) entry.track->Cue(0);
}

void SyncTracks(const std::vector<TTransportTrack>& tracks, const TVelTrack& current) {
    // A track in an edit, a load or a take may have its format rewritten by its worker at any
    // moment, so its position text is neither read nor made; a playing one keeps its format.
    const auto settled = [](const TVelTrack& t) {
        return !t.InWork() || t.TrackState() == tsPlaying;
    };
    if (!settled(current)) return;
    // Between formats a position travels only as time text.
    const std::string time = current.PositionText(current.PlayPosition);
    for (const TTransportTrack& entry : tracks)
        if (entry.track && !entry.track->InWork())
            entry.track->Cue(entry.track->TextPosition(time));
}

bool RecordAll(const std::vector<TTransportTrack>& tracks, TVelTrack& recorder, bool sync) {
    if (recorder.Worker().InWork()) return false;
    if (sync) SyncTracks(tracks, recorder);
    if (!recorder.PrepareRecording()) return false;
    // The other buffers start before the input, so the take lines up with what they play.
    for (const TTransportTrack& entry : tracks)
        if (entry.track != &recorder && Participating(entry)) entry.track->StartBuffer();
    recorder.StartPreparedRecording();
    for (const TTransportTrack& entry : tracks)
        if (entry.track && entry.track != &recorder && !entry.muted) entry.track->StartFeeder();
    return true;
}

void UpdatePlayingTracks(const std::vector<TTransportTrack>& tracks) {
    for (const TTransportTrack& entry : tracks)
        if (entry.track && entry.track->TrackState() == tsPlaying)
            entry.track->UpdatePlayPosition();
}
