// "Refresh controls": which of the main window's controls are enabled, worked out from plain
// facts about its child windows, so that the rules are tested as tables and the window only
// applies the answer. Qt-free; user-interface thread.
//
// The table (allReady: at least one child window and every participating track Ready;
// noneActive: no participating track; atStart: every participating track at position 0;
// samePosition: every participating track at the reference position as time text):
//   Open, File menu, Options menu, the window's Close   allReady or noneActive
//   Stop                                                neither allReady nor noneActive
//   Rewind                                              allReady, not atStart, not noneActive
//   Play                                                allReady, not noneActive
//   Sync                                                allReady, not samePosition, not noneActive
//   Record                                              allReady and the current window may record
//   Combine                                             allReady, not noneActive, > 1 child window
//   Save                                                allReady and the song is modified
// The reference position is the current child's when it is a track window, not minimized and
// Ready; otherwise the first participating track's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "studio/core/StudioMode.h"
#include "track/TrackInterfaces.h"

class TVelTrack;

// One child window of the main window, in the frame's list order.
struct TChildFacts {
    bool isTrackWindow = false; // false: the effects dialog, never a participating track
    bool muted = false;
    bool minimized = false;
    TTrackState state = tsEmpty;
    int32_t playPosition = 0;         // [bytes, with the start offset]
    std::string playPositionText;     // the same as time text
    bool recordButtonEnabled = false; // the window's own Record button
};

// A track window's facts read from its track. Any state is safe to read: the position text
// is made only while the track is Ready or Playing (no worker may be rewriting its format);
// in the other states the table never looks at it.
TChildFacts TrackWindowFacts(const TVelTrack* track, bool muted, bool minimized,
                             bool recordButtonEnabled);

struct TStudioFacts {
    TStudioMode mode = TStudioMode::Idle;
    std::vector<TChildFacts> children;
    int current = -1; // index of the frame's current child; -1 when there is none
    bool songModified = false;
};

// Each control's new enabled state; nullopt: leave it as it is.
struct TStudioControls {
    std::optional<bool> open, fileMenu, optionsMenu, closeCommand;
    std::optional<bool> stop, rewind, play, sync, record, combine, save;
    // The mode was song loaded and every track is Ready: the window sets the mode to idle
    // (NextStudioMode with AllTracksReady) and arranges the tracks, once.
    bool arrangeNow = false;
};

// A track window whose mute is off and whose track is neither Empty nor Closing.
bool ParticipatingChild(const TChildFacts& child);

// Closing and combining: nothing changes. Combine preparing: Open, Close, the File menu and
// every transport control but Dampen disabled, the Options menu left alone.
TStudioControls RefreshControls(const TStudioFacts& facts);
