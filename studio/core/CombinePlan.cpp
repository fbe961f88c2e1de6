#include "studio/core/CombinePlan.h"

#include <algorithm>
#include <cstdio>

#include "audio/Rounding.h"
#include "audio/VelTrackUtils.h"
#include "track/VelTrack.h"

std::optional<std::string> CombineTimeText(long double seconds) {
    const int64_t units = RoundHalfEven(seconds * 100000.0L);
    if (units < 0 || units >= 100LL * 60 * 100000) return std::nullopt;
    char text[32];
    std::snprintf(
        text, sizeof text, "%02lld:%02lld.%05lld", static_cast<long long>(units / 6000000),
        static_cast<long long>(units / 100000 % 60), static_cast<long long>(units % 100000));
    return std::string(text);
}

TCombinePlan PlanCombine(const std::vector<TVelTrack*>& unmuted, const TVelTrack* target) {
    TCombinePlan plan;
    for (TVelTrack* track : unmuted) {
        if (!track || track == target) continue;
        const long double start = TimeTextToSeconds(track->StartOffsetText);
        const long double rate = track->Format().nAvgBytesPerSec;
        const long double length = rate > 0 ? track->DataLength / rate : 0;
        plan.earliestSeconds = std::min(plan.earliestSeconds, start);
        plan.latestSeconds = std::max(plan.latestSeconds, start + length);
        plan.sources.push_back(track);
    }
    if (plan.sources.empty()) return plan;
    const auto start = CombineTimeText(plan.earliestSeconds);
    const auto length = CombineTimeText(plan.latestSeconds - plan.earliestSeconds);
    if (start && length) {
        plan.startText = *start;
        plan.lengthText = *length;
    }
    return plan;
}

bool ConfirmCombine(TCombineHost& host, TMessageSink& messages) {
    host.SetMode(TStudioMode::CombinePreparing);
    host.RefreshControls();
    messages.AddMessage(kMsgStatus, kMakingNewTrack);
    if (host.MakeTarget()) return true;
    // Every command that could end the preparing mode is disabled in it: leave it at once.
    messages.AddMessage(kMsgAppend, kActionCancelled);
    host.SetMode(TStudioMode::Idle);
    host.RefreshControls();
    return false;
}

namespace {

// The target goes the way a cancelled combine's does: its window closes without questions.
void CloseTarget(TCombineHost& host) {
    host.SetMode(TStudioMode::Idle);
    host.SetTargetCaption(kClosingCaption);
    host.ShowPreviousWindow();
    host.CloseTarget();
    host.ForgetTarget();
}

void EndCancelled(TCombineHost& host, TMessageSink& messages) {
    messages.AddMessage(kMsgDone, kAddingTracks);
    messages.AddMessage(kMsgAppend, kActionCancelled);
    CloseTarget(host);
}

void Begin(TVelTrack& target, const std::vector<TVelTrack*>& unmuted, TCombineHost& host,
           TMessageSink& messages) {
    host.EnableStop();
    host.SetMode(TStudioMode::Combining);
    messages.AddMessage(kMsgStart, kAddingTracks);
    const TCombinePlan plan = PlanCombine(unmuted, &target);
    if (!plan.Valid()) {
        // Nothing left to mix (every other track muted meanwhile) or a span time text cannot
        // hold: the new track has no use.
        EndCancelled(host, messages);
        return;
    }
    host.SetTargetStart(plan.startText);
    target.StartCombine(plan.startText, plan.lengthText, plan.sources);
}

} // namespace

void PollCombine(TStudioMode mode, TVelTrack* target, const std::vector<TVelTrack*>& unmuted,
                 TCombineHost& host, TMessageSink& messages) {
    if (mode != TStudioMode::CombinePreparing && mode != TStudioMode::Combining) return;
    if (!target) {
        host.SetMode(TStudioMode::Idle);
        host.ForgetTarget();
        host.RefreshControls();
        return;
    }
    const TTrackState state = target->TrackState();
    if (mode == TStudioMode::CombinePreparing) {
        if (state == tsReady) {
            Begin(*target, unmuted, host, messages);
        } else if (state == tsEmpty || state == tsClosing) {
            // The new track's working file could not be made or read: it will never be Ready.
            messages.AddMessage(kMsgAppend, kActionCancelled);
            CloseTarget(host);
        }
        return;
    }
    if (state == tsReady) {
        host.SetMode(TStudioMode::Idle);
        host.ForgetTarget();
        messages.AddMessage(kMsgDone, kAddingTracks);
        host.RefreshControls();
    } else if (state == tsClosing || state == tsEmpty) {
        EndCancelled(host, messages);
    }
}
