#include "studio/core/StudioMode.h"

namespace {

bool CombineMode(TStudioMode mode) {
    return mode == TStudioMode::CombinePreparing || mode == TStudioMode::Combining;
}

// The modes in which the transport's commands may start something.
bool Settled(TStudioMode mode) {
    return mode == TStudioMode::Idle || mode == TStudioMode::PlayingAll ||
           mode == TStudioMode::SongLoaded;
}

} // namespace

bool ClosingAllowed(TStudioMode mode) {
    return !CombineMode(mode);
}

TStudioMode NextStudioMode(TStudioMode mode, TStudioEvent event) {
    using M = TStudioMode;
    switch (event) {
    case TStudioEvent::PlayAll:
        return Settled(mode) ? M::PlayingAll : mode;
    case TStudioEvent::StopAll:
        // The combine's own clock ends it; a Stop all only cancels the target's worker.
        return mode == M::Combining ? mode : M::Idle;
    case TStudioEvent::TrackStop:
        return mode == M::PlayingAll ? M::Idle : mode;
    case TStudioEvent::Record:
        return Settled(mode) ? M::Idle : mode;
    case TStudioEvent::BeginClosing:
        return ClosingAllowed(mode) ? M::Closing : mode;
    case TStudioEvent::ClosingEnded:
        return mode == M::Closing ? M::Idle : mode;
    case TStudioEvent::SongRead:
        return CombineMode(mode) ? mode : M::SongLoaded;
    case TStudioEvent::AllTracksReady:
        return mode == M::SongLoaded ? M::Idle : mode;
    case TStudioEvent::CombineConfirmed:
        return Settled(mode) ? M::CombinePreparing : mode;
    case TStudioEvent::TargetFailed:
        return mode == M::CombinePreparing ? M::Idle : mode;
    case TStudioEvent::TargetReady:
        return mode == M::CombinePreparing ? M::Combining : mode;
    case TStudioEvent::CombineEnded:
        return CombineMode(mode) ? M::Idle : mode;
    }
    return mode;
}
