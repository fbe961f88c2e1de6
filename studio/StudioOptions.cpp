// The Options menu of the main window: the sound options' OK carried out over the song's
// tracks, and the defaults for new tracks.
#include "studio/FormDefaults.h"
#include "studio/FormSound.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelMpnl.h"

void TFormStudio::SetSoundOptionsHook(std::function<void(TFormSound&)> hook) {
    soundOptionsHook_ = std::move(hook);
}

void TFormStudio::SetDefaultsHook(std::function<void(TFormDefaults&)> hook) {
    defaultsHook_ = std::move(hook);
}

void TFormStudio::SoundOptionsClick() {
    RunSoundOptions(this, *this, {}, soundOptionsHook_);
}

void TFormStudio::DefaultsClick() {
    RunDefaultsOptions(this, settings_, *MPanel(), defaultsHook_);
}

int TFormStudio::TrackCount() {
    return static_cast<int>(TrackWindows().size());
}

void TFormStudio::SetTrackInputDevice(int track, int32_t device) {
    if (TVelTrack* t = TrackWindows().at(track)->Track()) t->SetInputDevice(device);
}

void TFormStudio::ReleaseTrackSoundBuffer(int track) {
    if (TVelTrack* t = TrackWindows().at(track)->Track()) {
        // A Play all repeat may have started the tracks under the open dialog.
        t->StopAndWait();
        t->ReleaseSoundBuffer();
    }
}

void TFormStudio::RecreateSoundDevice(const TSoundDevice& /*chosen*/) {
    // Settings().device names the chosen device by now.
    sound_->Release();
    InitialiseSound();
}

void TFormStudio::GiveTrackSoundDevice(int track) {
    TVelTrack* t = TrackWindows().at(track)->Track();
    if (!t) return;
    t->SetSoundDevice(sound_->Device(), settings_.outputFormat);
    t->Cue(t->PlayPosition);
}
