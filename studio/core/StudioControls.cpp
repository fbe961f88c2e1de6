#include "studio/core/StudioControls.h"

#include "studio/core/Transport.h"
#include "track/VelTrack.h"

TChildFacts TrackWindowFacts(const TVelTrack* track, bool muted, bool minimized,
                             bool recordButtonEnabled) {
    TChildFacts facts;
    facts.isTrackWindow = true;
    facts.muted = muted;
    facts.minimized = minimized;
    facts.recordButtonEnabled = recordButtonEnabled;
    if (!track) return facts; // a window still without its track: Empty
    facts.state = track->TrackState();
    facts.playPosition = track->PlayPosition;
    if (facts.state == tsReady || facts.state == tsPlaying)
        facts.playPositionText = track->PositionText(facts.playPosition);
    return facts;
}

bool ParticipatingChild(const TChildFacts& child) {
    return child.isTrackWindow && Participates(child.muted, child.state);
}

TStudioControls RefreshControls(const TStudioFacts& facts) {
    TStudioControls c;
    if (facts.mode == TStudioMode::Closing || facts.mode == TStudioMode::Combining) return c;
    if (facts.mode == TStudioMode::CombinePreparing) {
        // Nothing may start while the target loads; the Options menu changes nothing that a
        // combine reads, so it is left as it stands.
        c.open = c.closeCommand = c.fileMenu = false;
        c.stop = c.rewind = c.play = c.sync = c.record = c.combine = c.save = false;
        return c;
    }

    bool allReady = !facts.children.empty();
    bool noneActive = true;
    bool atStart = true;
    bool samePosition = true;
    bool haveReference = false;
    std::string reference;
    bool currentCanRecord = false;
    if (facts.current >= 0 && facts.current < static_cast<int>(facts.children.size())) {
        const TChildFacts& current = facts.children[static_cast<std::size_t>(facts.current)];
        if (current.isTrackWindow && !current.minimized && current.state == tsReady) {
            haveReference = true;
            reference = current.playPositionText;
            currentCanRecord = current.recordButtonEnabled;
        }
    }
    for (const TChildFacts& child : facts.children) {
        if (!ParticipatingChild(child)) continue;
        noneActive = false;
        if (child.state != tsReady) allReady = false;
        if (child.playPosition > 0) atStart = false;
        if (!haveReference) {
            haveReference = true;
            reference = child.playPositionText;
        }
        if (child.playPositionText != reference) samePosition = false;
    }

    const bool idleOrNone = allReady || noneActive;
    c.open = c.fileMenu = c.optionsMenu = c.closeCommand = idleOrNone;
    c.stop = !idleOrNone;
    c.rewind = allReady && !atStart && !noneActive;
    c.play = allReady && !noneActive;
    c.sync = allReady && !samePosition && !noneActive;
    c.record = allReady && currentCanRecord;
    c.combine = allReady && !noneActive && facts.children.size() > 1;
    c.save = allReady && facts.songModified;
    c.arrangeNow = facts.mode == TStudioMode::SongLoaded && allReady;
    return c;
}
