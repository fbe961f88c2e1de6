#include "studio/core/SongWindows.h"

#include "track/VelTrack.h"

namespace {

// A change (an edit, an effect, a take, or a closing that undoes one) rewrites FileName on the
// track's worker; in the other states only this thread does, so reading it is safe. Jobs start
// on this thread, so a state read here cannot turn into a change before the name is read.
bool ChangeRunning(TTrackState state) {
    return state == tsBusy || state == tsRecording || state == tsStopping || state == tsClosing;
}

} // namespace

TSongChild SongChildOf(const TVelTrack& track, bool muted, bool minimized, int32_t pan,
                       int32_t volume, const std::string& offsetText) {
    TSongChild child;
    child.isTrackWindow = true;
    child.emptyTrack = track.TrackState() == tsEmpty;
    child.waveFileName = track.WaveFileName();
    child.state.muted = muted;
    child.state.minimized = minimized;
    child.state.pan = pan;
    child.state.volume = volume;
    child.state.offset = offsetText;
    // A change under way makes the track differ from what the song file holds.
    const TTrackState state = track.TrackState();
    child.changing = ChangeRunning(state);
    if (!child.changing) child.state.fileName = UpperCasePath(track.FileName);
    return child;
}

std::vector<TSongTrackOut> SongTracksToWrite(const std::vector<TSongChild>& children) {
    std::vector<TSongTrackOut> tracks;
    for (const TSongChild& child : children) {
        if (!child.isTrackWindow) continue;
        TSongTrackOut out;
        out.waveFileName = child.waveFileName;
        out.fileNameForState = child.state.fileName;
        out.muted = child.state.muted;
        out.minimized = child.state.minimized;
        out.pan = child.state.pan;
        out.volume = child.state.volume;
        out.offsetText = child.state.offset;
        tracks.push_back(std::move(out));
    }
    return tracks;
}

bool SongModifiedNow(const std::vector<TTrack>& saved, const std::vector<TSongChild>& children) {
    std::vector<TTrack> current;
    std::vector<TTrack> against;
    std::size_t n = 0;
    for (const TSongChild& child : children) {
        if (!child.isTrackWindow) continue;
        if (n >= saved.size()) return true; // more track windows than saved states
        if (child.changing) return true;
        // An empty track's pair agrees whatever it holds: its file could not be read.
        if (!child.emptyTrack) {
            current.push_back(child.state);
            against.push_back(saved[n]);
        }
        ++n;
    }
    return n != saved.size() || SongModified(against, current);
}
