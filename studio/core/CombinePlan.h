// Combining the song's unmuted tracks into a new track, from the confirmed dialog to its end:
// the one sequence that both the main window and the command-line tool run. The mix itself is
// the target track's (TVelTrack::StartCombine); this file decides when it starts, over what
// span, and how it ends. The window actions it needs go through TCombineHost.
//
// Qt-free; user-interface thread. The main window calls ConfirmCombine on OK and PollCombine
// from every clock poll; the command-line tool calls the same two and waits for the target's
// worker in between.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "studio/core/StudioMode.h"
#include "ui/core/MessageSink.h"

class TVelTrack;

// The name of the combine's timed pair in the message panel.
inline constexpr const char* kAddingTracks = "Adding Tracks";
inline constexpr const char* kMakingNewTrack = "Making New Track";
inline constexpr const char* kActionCancelled = " ... Action Cancelled";
inline constexpr const char* kClosingCaption = "Closing...";

// The span of one combine over its sources.
struct TCombinePlan {
    std::vector<TVelTrack*> sources;     // the unmuted tracks but the target, in song order
    long double earliestSeconds = 10000; // the smallest start offset
    long double latestSeconds = 0;       // the largest start offset + length
    std::string startText;               // earliest as time text; "" when there is no plan
    std::string lengthText;              // latest - earliest as time text; "" when there is no plan
    bool Valid() const { return !startText.empty() && !lengthText.empty(); }
};

// Time text of a time [s] to the nearest hundred-thousandth; nullopt when negative or beyond
// "99:59.99999", which time text cannot hold.
std::optional<std::string> CombineTimeText(long double seconds);

// The plan over `unmuted` (the tracks of the unmuted track windows in song order; `target`
// and null entries are skipped). Each source's length is its data length over its average
// bytes per second. Invalid (empty texts) when there is no source or the span does not fit
// time text.
TCombinePlan PlanCombine(const std::vector<TVelTrack*>& unmuted, const TVelTrack* target);

// What the combine needs of the window that shows it. The command-line tool implements it with
// nothing but MakeTarget and SetTargetStart.
class TCombineHost {
  public:
    virtual ~TCombineHost() = default;
    virtual void SetMode(TStudioMode mode) = 0;
    // Refresh controls (which does nothing in combining mode).
    virtual void RefreshControls() = 0;
    // Makes the target: a new track in the output format, length and start "00:00.00000",
    // which becomes the combine's target. False when none could be made (every new-track
    // caption in use).
    virtual bool MakeTarget() = 0;
    // The target's Stop: enabled once the target is Ready, so that the user can cancel.
    virtual void EnableStop() = 0;
    // The target window's start offset (its SetStartsAt), before the mix starts.
    virtual void SetTargetStart(const std::string& timeText) = 0;
    virtual void SetTargetCaption(const std::string& caption) = 0;
    // The frame's Back: the window before the target comes forward.
    virtual void ShowPreviousWindow() = 0;
    virtual void CloseTarget() = 0;
    // The combine is over: the Studio has no target any more.
    virtual void ForgetTarget() = 0;
};

// On the dialog's OK: mode combine preparing, refresh, "Making New Track" (kind 2), the target
// made. When none can be made: " ... Action Cancelled" (kind 5), mode idle, refresh, so that
// no command stays disabled. True when a target was made.
bool ConfirmCombine(TCombineHost& host, TMessageSink& messages);

// The clock's part in a combine, each poll; nothing outside the two combine modes.
// `target` is the target's track (null once its window is gone); `unmuted` the tracks of the
// unmuted track windows in song order.
//   Combine preparing, target Ready: Stop enabled, mode combining, "Adding Tracks" (kind 6),
//     the plan, the target's start offset, StartCombine. Without a valid plan the combine
//     ends at once as a cancelled one.
//   Combine preparing, target Empty or Closing (it could not be loaded): " ... Action
//     Cancelled", then the target closed as after a cancel.
//   Combining, target Ready: mode idle, target forgotten, "Adding Tracks" (kind 7), refresh.
//   Combining, target Closing (cancelled): "Adding Tracks" (kind 7), " ... Action Cancelled"
//     (kind 5), mode idle, caption "Closing...", the frame's Back, the target closed and
//     forgotten.
//   Either mode without a target: mode idle, target forgotten, refresh.
void PollCombine(TStudioMode mode, TVelTrack* target, const std::vector<TVelTrack*>& unmuted,
                 TCombineHost& host, TMessageSink& messages);
