// The song's lifecycle in the main window: Open and open by name, reading and writing the song
// file, Save and Save As, New Song, the song-changes prompt, closing every window, and the
// File menu's Save Track commands.
#include <QFileDialog>
#include <QMdiSubWindow>
#include <QMessageBox>

#include <filesystem>

#include "platform/ProfileFile.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

std::string UpperExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension;
}

} // namespace

// ---- the dialogs

void TFormStudio::SetOpenDialog(FileDialog dialog) {
    openDialog_ = dialog ? std::move(dialog)
                         : [](QWidget* parent, const std::string& folder, const std::string&) {
                               // "Sudio" is how the filter has always been spelt.
                               const QString chosen = QFileDialog::getOpenFileName(
                                   parent, QString(), QString::fromStdString(folder),
                                   QStringLiteral("All Sudio Files (*.Sng *.Wav *.sng *.wav "
                                                  "*.SNG *.WAV);;Song Files (*.Sng *.sng "
                                                  "*.SNG);;All Track Files (*.Wav *.wav "
                                                  "*.WAV);;Wave Files ( *.Wav *.wav *.WAV)"));
                               if (chosen.isEmpty()) return std::optional<std::string>();
                               return std::optional<std::string>(chosen.toStdString());
                           };
}

void TFormStudio::SetSaveSongDialog(FileDialog dialog) {
    saveSongDialog_ =
        dialog ? std::move(dialog)
               : [](QWidget* parent, const std::string&, const std::string& name) {
                     QFileDialog box(parent, QString(), QString::fromStdString(name),
                                     QStringLiteral("Song File (*.Sng *.sng *.SNG)"));
                     box.setAcceptMode(QFileDialog::AcceptSave);
                     if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
                         return std::optional<std::string>();
                     return std::optional<std::string>(box.selectedFiles().first().toStdString());
                 };
}

// ---- Open

void TFormStudio::OpenClick() {
    const std::optional<std::string> chosen =
        openDialog_(this, ReadOpenFolder(*settingsFile_), std::string());
    if (!chosen) return;
    WriteOpenFolder(*settingsFile_, *chosen);
    OpenByName(*chosen);
    if (settings_.recentFiles.Remember(*chosen)) UpdateRecentFiles();
}

void TFormStudio::OpenByName(const std::string& path) {
    const std::string extension = UpperExtension(path);
    if (extension == ".WAV") {
        bool created = false;
        FindOrCreateTrackWindow(path, created);
        return;
    }
    if (extension != ".SNG") return;
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    if (!AllAgreeToClose()) {
        mode_ = NextStudioMode(mode_, TStudioEvent::ClosingEnded);
        RefreshControls();
        return;
    }
    CloseAllWindows();
    songPath_ = path;
    ReadSong();
}

TFormTrack* TFormStudio::FindOrCreateTrackWindow(const std::string& path, bool& created) {
    TFormTrack* window = FindOrCreateTrackChild(NormaliseTrackName(path), created);
    if (window && created)
        window->InitialiseTrack(sound_->Device(), path, settings_.outputFormat,
                                settings_.trackFormat, settings_.trackLength, "00:00.00000");
    return window;
}

// ---- reading and writing the song

void TFormStudio::ReadSong() {
    StopClock();
    stopBtn_->setEnabled(true);
    MPanel()->AddMessage(kMsgStatus, ReadingReport(songPath_));
    int32_t numTracks = 0;
    const std::vector<TSongEntry> entries = ::ReadSong(songPath_, numTracks, nullptr);
    savedTracks_.clear();
    for (const TSongEntry& entry : entries) {
        bool created = false;
        TFormTrack* window = FindOrCreateTrackWindow(entry.path, created);
        if (!window || !created) continue; // listed twice: one window
        window->SetMuted(entry.muted);
        window->SetMinimized(entry.minimized);
        window->SetPanPosition(entry.pan);
        window->SetVolumePosition(entry.volume);
        window->SetStartsAt(entry.offset);
        savedTracks_.push_back(TrackStateOf(entry));
    }
    mode_ = NextStudioMode(mode_, TStudioEvent::SongRead);
    StartClock();
    SetCaptionFromSong();
    MPanel()->AddMessage(kMsgStatus, SongReadReport(songPath_, numTracks));
    RefreshControls();
}

bool TFormStudio::WriteSong() {
    std::vector<TSongTrackOut> tracks;
    for (TFormTrack* window : TrackWindows()) {
        TVelTrack* track = window->Track();
        if (!track) continue;
        TSongTrackOut out;
        out.waveFileName = track->WaveFileName();
        out.fileNameForState = track->FileName;
        out.muted = window->Muted();
        out.minimized = window->Minimized();
        out.pan = track->Pan();
        out.volume = window->VolumeValue();
        out.offsetText = window->StartsAtText();
        tracks.push_back(std::move(out));
    }
    std::string error;
    if (!::WriteSong(songPath_, tracks, savedTracks_, error)) {
        MPanel()->AddMessage(kMsgError, error);
        return false;
    }
    MPanel()->AddMessage(kMsgStatus, SavedReport(songPath_));
    return true;
}

void TFormStudio::SetCaptionFromSong() {
    setWindowTitle(QString::fromStdString(SongCaption(songPath_)));
}

bool TFormStudio::SaveSong() {
    bool saved = false;
    if (!songPath_.empty())
        saved = WriteSong();
    else
        saved = SaveSongAs();
    if (!songPath_.empty() && saved) saveBtn_->setEnabled(false);
    RefreshControls();
    return saved;
}

bool TFormStudio::SaveSongAs() {
    const std::string preset =
        songPath_.empty() ? SongFolder() + MainCaption() + ".Sng" : songPath_;
    std::optional<std::string> chosen = saveSongDialog_(this, std::string(), preset);
    if (!chosen) return false;
    if (std::filesystem::path(*chosen).extension().empty()) *chosen += ".Sng";
    songPath_ = *chosen;
    SetCaptionFromSong();
    const bool written = WriteSong();
    if (written) saveBtn_->setEnabled(false);
    RefreshControls();
    return written;
}

void TFormStudio::NewSong() {
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    if (AllAgreeToClose()) {
        CloseAllWindows();
        setWindowTitle(QStringLiteral("New Song"));
        songPath_.clear();
        savedTracks_.clear();
    }
    mode_ = NextStudioMode(mode_, TStudioEvent::ClosingEnded);
    RefreshControls();
}

bool TFormStudio::SongChangesPrompt() {
    if (!saveBtn_->isEnabled()) return true;
    const QString question = QStringLiteral("Save changes to Song: %1 ?").arg(windowTitle());
    switch (yesNoCancelBox_(this, question)) {
    case QMessageBox::Yes:
        SaveSong();
        return true;
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

bool TFormStudio::AllAgreeToClose() {
    return AllChildrenAgreeToClose() && SongChangesPrompt();
}

void TFormStudio::CloseAllWindows() {
    mode_ = NextStudioMode(mode_, TStudioEvent::BeginClosing);
    // The effects dialogs first: each belongs to a track window about to go.
    for (int i = ChildCount() - 1; i >= 0; --i)
        if (TFormVelMc* child = Child(i); child && !qobject_cast<TFormTrack*>(child))
            child->CancelBtnClick();
    const int count = ChildCount();
    for (int i = 0; i < count && ChildCount() > 0; ++i) {
        TFormVelMc* first = Child(0);
        first->setWindowTitle(QStringLiteral("Closing..."));
        if (auto* window = qobject_cast<TFormTrack*>(first))
            window->CloseWithoutQuestions();
        else
            first->CancelBtnClick();
    }
    combineTarget_ = nullptr;
    mode_ = NextStudioMode(mode_, TStudioEvent::ClosingEnded);
}

// ---- Save Track from the File menu

void TFormStudio::SaveTrackClick() {
    if (TFormTrack* window = CurrentTrackWindow()) window->SaveBtnClick();
}

void TFormStudio::SaveTrackAsClick() {
    if (TFormTrack* window = CurrentTrackWindow()) window->SaveTrackAs();
}
