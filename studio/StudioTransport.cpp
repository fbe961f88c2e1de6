// The song-wide transport of the main window: Play all, Stop all, Rewind all, Sync, Record,
// Dampen, and the clock's poll that moves the markers, repeats Play all and drives a combine.
#include <QMdiArea>
#include <QMdiSubWindow>

#include "studio/StudioWindow.h"
#include "studio/core/Transport.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelButtons.h"

std::vector<TFormTrack*> TFormStudio::TrackWindows() const {
    std::vector<TFormTrack*> windows;
    for (int i = 0; i < ChildCount(); ++i)
        if (auto* window = qobject_cast<TFormTrack*>(Child(i))) windows.push_back(window);
    return windows;
}

TFormTrack* TFormStudio::CurrentTrackWindow() const {
    return qobject_cast<TFormTrack*>(CurrentChild());
}

std::vector<TTransportTrack> TFormStudio::TransportTracks() const {
    std::vector<TTransportTrack> tracks;
    for (TFormTrack* window : TrackWindows())
        if (window->Track()) tracks.push_back({window->Track(), window->Muted()});
    return tracks;
}

void TFormStudio::PlayAllClick() {
    if (syncBtn_->isEnabled()) SyncClick();
    // A muted window's Mute waits until its track window enables it again.
    for (TFormTrack* window : TrackWindows())
        if (window->Muted()) window->MuteBtn()->setEnabled(false);
    ::PlayAll(TransportTracks());
    mode_ = NextStudioMode(mode_, TStudioEvent::PlayAll);
}

void TFormStudio::StopAllClick() {
    mode_ = NextStudioMode(mode_, TStudioEvent::StopAll);
    ::StopAll(TransportTracks());
}

void TFormStudio::RewindAllClick() {
    ::RewindAll(TransportTracks());
    RefreshControls();
}

void TFormStudio::SyncClick() {
    TFormTrack* current = CurrentTrackWindow();
    if (!current || !current->Track()) return;
    SyncTracks(TransportTracks(), *current->Track());
    RefreshControls();
}

void TFormStudio::RecordClick() {
    TFormTrack* current = CurrentTrackWindow();
    if (!current || !current->Track() || current->Track()->Worker().InWork()) return;
    recordBtn_->setEnabled(false);
    if (RecordAll(TransportTracks(), *current->Track(), syncBtn_->isEnabled()))
        mode_ = NextStudioMode(mode_, TStudioEvent::Record);
}

void TFormStudio::DampenClick() {
    dampen_ = !dampen_;
    dampenBtn_->SetUseBmp2(dampen_);
    dampenBtn_->SetCaption(dampen_ ? QStringLiteral("UnDamp|Play Tracks Normally")
                                   : QStringLiteral("Damp|Play Tracks Quietly"));
    for (TFormTrack* window : TrackWindows())
        window->SetDampen(dampen_);
}

void TFormStudio::Poll() {
    const std::vector<TTransportTrack> tracks = TransportTracks();
    UpdatePlayingTracks(tracks); // each track moves its own marker
    if (playBtn_->isEnabled() && mode_ == TStudioMode::PlayingAll) PlayAllClick();
    PollCombineNow();
}
