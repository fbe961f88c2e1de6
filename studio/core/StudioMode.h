// The Studio's mode: what the main window has in progress, and how each event moves it.
// Qt-free; user-interface thread (the clock's poll reaches it through the window's gate).
//
//   idle ──Play all──▶ playing all ──Stop all, a track's own Stop──▶ idle
//   idle ──New Song, open a song, Exit, close──▶ closing ──all closed, or cancelled──▶ idle
//   idle/closing ──a song read──▶ song loaded ──all its tracks Ready (arranged once)──▶ idle
//   idle ──Combine confirmed──▶ combine preparing ──target Ready──▶ combining
//   combine preparing ──no target could be made, or it failed to load──▶ idle
//   combining ──target Ready again, or Closing (cancelled)──▶ idle
//   Record ──▶ idle.   Stop all in combining leaves the mode as it is.
//
// While a combine is prepared or runs, every command that could start something else is
// disabled (StudioControls.h), so only the combine's own events and Stop all reach it: the
// other events leave those two modes unchanged rather than strand a target half made.
#pragma once

#include <cstdint>

enum class TStudioMode : uint8_t {
    Idle = 0,
    PlayingAll = 1,       // the clock starts Play all again whenever it can
    Closing = 2,          // windows close or the song is replaced: no control refresh
    SongLoaded = 3,       // a song was read: arrange once all its tracks are Ready
    CombinePreparing = 4, // the combine's target loads: the transport is held
    Combining = 5,        // the combine runs on the target's worker: no control refresh
};

enum class TStudioEvent : uint8_t {
    PlayAll,          // Play all ran (the button, the keypad or the clock's repeat)
    StopAll,          // Stop all
    TrackStop,        // a track window's own Stop: only ends Play all's repeat
    Record,           // Record started a take
    BeginClosing,     // New Song, opening a song, Exit, the window's close message
    ClosingEnded,     // every window closed, or a question was cancelled
    SongRead,         // a song file was read into windows
    AllTracksReady,   // a control refresh found every participating track Ready
    CombineConfirmed, // the combine's dialog answered OK
    TargetFailed,     // no target could be made, or it ended Empty or Closing while loading
    TargetReady,      // the target finished loading: the mix starts
    CombineEnded,     // the target is Ready again, or Closing after a cancel, or gone
};

// The mode after `event` in `mode`; an event that does not apply leaves the mode as it is.
TStudioMode NextStudioMode(TStudioMode mode, TStudioEvent event);

// Whether the song may start closing now (New Song, Open, Exit, the close message): not while a
// combine is prepared or runs, whose target and sources the closing would pull away.
bool ClosingAllowed(TStudioMode mode);
