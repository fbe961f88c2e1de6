// The main window: the song's track windows as children of an MDI area, on the base frame
// (button panel, menus, child list, message panel). It carries the song-wide transport, the
// commands that make, combine, arrange and reorder tracks, the File and Options menus, the song
// lifecycle and the 100 ms clock; it owns the sound-output device every track plays through
// and is the host every track window reaches it by.
//
// Threads: every operation here runs on the user-interface thread. The clock's loop runs on its
// own thread and hands each poll to the user-interface thread through the window's gate, which
// the window releases before it waits for the loop.
#pragma once

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "studio/core/SongFile.h"
#include "studio/core/SoundOptions.h"
#include "studio/core/StudioMode.h"
#include "studio/core/StudioSettings.h"
#include "track/view/TrackWindowHost.h"
#include "ui/core/UiCallGate.h"
#include "ui/core/VelCriticalSection.h"
#include "ui/widgets/FormVelM.h"

class QAction;
class QMenu;
class TFormDefaults;
class TFormSound;
class TFormTrack;
class TLevelMeterWidget;
class TProfileFile;
class TSoundSetup;
class TStudioClock;
class TVELBtn2Bmp;
class TVelBtnBmp;
class TVelTrack;
struct TTransportTrack;

class TFormStudio : public TFormVelM, public TTrackWindowHost, public TSoundOptionsHost {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 1000;
    static constexpr int kClockInterval = 100; // [ms]

    explicit TFormStudio(QWidget* parent = nullptr);
    ~TFormStudio() override;

    // ---- components ----
    TVelBtnBmp* OpenBtn() const { return openBtn_; }
    TVelBtnBmp* SaveBtn() const { return saveBtn_; }
    TVelBtnBmp* RewindBtn() const { return rewindBtn_; }
    TVelBtnBmp* StopBtn() const { return stopBtn_; }
    TVelBtnBmp* PlayBtn() const { return playBtn_; }
    TVelBtnBmp* SyncBtn() const { return syncBtn_; }
    TVelBtnBmp* RecordBtn() const { return recordBtn_; }
    TVelBtnBmp* CombineBtn() const { return combineBtn_; }
    TVELBtn2Bmp* DampenBtn() const { return dampenBtn_; }
    // The output meter at the right end of the menu bar: the loudest playing track as it
    // reaches the output (see TickMeters).
    TLevelMeterWidget* OutputMeter() const { return outputMeter_; }
    QMenu* OptionsMenu() const { return optionsMenu_; }
    QMenu* PopupMenu() const { return popupMenu_; }
    // A merged menu item by its path, such as "File|Save|Track As"; null when none matches.
    QAction* MenuItem(const std::string& path) const;

    TStudioMode Mode() const { return mode_; }
    const std::string& SongPath() const { return songPath_; }
    TStudioSettings& Settings() override { return settings_; }
    TSoundSetup& Sound() { return *sound_; }
    // The track windows in the song's order (the effects dialogs left out).
    std::vector<TFormTrack*> TrackWindows() const;
    TFormTrack* CurrentTrackWindow() const;
    bool SongModifiedNow() const;

    // ---- commands ----
    void OpenClick();
    void OpenByName(const std::string& path);
    // The file opened by name once the sound device exists after the first show; the
    // command line's first argument unless replaced before then (empty: none).
    void SetStartFile(const std::string& path) { startFile_ = path; }
    bool SaveSong();
    bool SaveSongAs();
    void NewSong();
    void SaveTrackClick();
    void SaveTrackAsClick();
    TFormTrack* NewTrack(const WAVEFORMATEX& format, const std::string& lengthText,
                         const std::string& startText);
    void PlayAllClick();
    void StopAllClick();
    void RewindAllClick();
    void SyncClick();
    void RecordClick();
    void DampenClick();
    void CombineClick();
    void ArrangeTracks();
    void OrganizeTracks();
    void RefreshControls();
    // One poll of the clock (the user-interface thread's part of each tick).
    void Poll();
    // The meters' part of each tick, after the poll. Every track window's meter takes its
    // track's peaks; the output meter shows the loudest of the playing tracks' peaks after what
    // the output does to them (Damp). It is not the sum the output forms: tracks loud at the
    // same moment can add up past full scale without its clip mark.
    void TickMeters();

    // Replaceable boxes and dialogs, so that tests answer them; empty restores the default.
    using YesNoCancelBox =
        std::function<int(QWidget* parent, const QString& text)>; // QMessageBox codes
    using FileDialog = std::function<std::optional<std::string>(
        QWidget* parent, const std::string& folder, const std::string& fileName)>;
    using NamesDialog = std::function<std::optional<std::vector<std::string>>(
        QWidget* parent, const std::vector<std::string>& names)>;
    void SetYesNoCancelBox(YesNoCancelBox box);
    void SetOpenDialog(FileDialog dialog);
    void SetSaveSongDialog(FileDialog dialog);
    // The organize dialog of Combine and of Organize Tracks: the names in their new order, or
    // nullopt when cancelled.
    void SetCombineDialog(NamesDialog dialog);
    void SetOrganizeDialog(NamesDialog dialog);
    // Every new track window is handed here first (tests answer its boxes).
    void SetTrackWindowHook(std::function<void(TFormTrack&)> hook);
    // The option dialogs are handed here before they show (tests act on them).
    void SetSoundOptionsHook(std::function<void(TFormSound&)> hook);
    void SetDefaultsHook(std::function<void(TFormDefaults&)> hook);
    void SoundOptionsClick();
    void DefaultsClick();

    // ---- TSoundOptionsHost ----
    int TrackCount() override;
    void SetTrackInputDevice(int track, int32_t device) override;
    void ReleaseTrackSoundBuffer(int track) override;
    void RecreateSoundDevice(const TSoundDevice& chosen) override;
    void GiveTrackSoundDevice(int track) override;

    // ---- TTrackWindowHost ----
    void RefreshTransport() override { RefreshControls(); }
    void SetTransportIdle() override;
    bool PlayAllEnabled() override;
    void PlayAll() override { PlayAllClick(); }
    bool StopAllEnabled() override;
    void StopAll() override { StopAllClick(); }
    bool RecordEnabled() override;
    void Record() override { RecordClick(); }
    void EnableSongSave() override;
    std::string NormaliseTrackName(const std::string& path) override;
    void CloseWindowShowing(const std::string& caption, TFormTrack& except) override;
    bool IsFileOpenAsTrack(const std::string& path) override;
    std::string SongFolder() override;
    bool SongClosing() override { return mode_ == TStudioMode::Closing; }
    int32_t RecorderNumber() override { return settings_.recorder; }
    TVELCriticalSection* FileLock() override { return &fileLock_; }
    WAVEFORMATEX OutputFormat() override { return settings_.outputFormat; }
    bool Dampen() override { return dampen_; }
    std::string MainCaption() override;
    TMessageSink& MainPanel() override;
    TMainClientFacts ClientFacts() override;

  public slots:
    void AboutClick() override;
    void ExitClick() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildPanel();
    void BuildMenus();
    void UpdateFileMenu();
    void UpdateWindowMenu();
    void InitialiseSound();
    void ReadSong();
    bool WriteSong();
    bool AllAgreeToClose(); // close queries, then the song-changes prompt
    void CloseAllWindows();
    bool SongChangesPrompt();
    void SetCaptionFromSong();
    TFormTrack* FindOrCreateTrackWindow(const std::string& path, bool& created);
    // The track window of `caption`, made (not initialised) when there is none.
    TFormTrack* FindOrCreateTrackChild(const std::string& caption, bool& created);
    std::vector<std::string> ChildCaptions();
    // At start, before any song is read: the tracks a killed instance left unsaved are offered
    // back one by one ("Recover unsaved changes to <file>?"); Yes opens each in a window, so a
    // song read next that holds the file finds it there; No deletes its states.
    void OfferRecovery();
    std::vector<TTransportTrack> TransportTracks() const;
    void UpdateRecentFiles();
    void OpenRecentFile(const QString& caption);
    // The combine's window actions (StudioCombine.cpp drives them through the core's plan).
    void ConfirmCombineNow();
    void PollCombineNow();
    TVelTrack* CombineTargetTrack() const;
    std::vector<TVelTrack*> UnmutedTracks() const;
    bool MakeCombineTarget();
    void SetCombineTargetStart(const std::string& timeText);
    void SetCombineTargetCaption(const std::string& caption);
    void CloseCombineTarget();
    void SetMode(TStudioMode mode) { mode_ = mode; }
    friend class TStudioCombineHost;
    void StartClock();
    void StopClock();

    std::unique_ptr<TProfileFile> settingsFile_;
    TStudioSettings settings_;
    std::unique_ptr<TSoundSetup> sound_;
    TVELCriticalSection fileLock_;
    TUiCallGate gate_;
    std::unique_ptr<TStudioClock> clock_;
    QTimer bigTimer_;

    TVelBtnBmp* openBtn_ = nullptr;
    TVelBtnBmp* saveBtn_ = nullptr;
    TVelBtnBmp* rewindBtn_ = nullptr;
    TVelBtnBmp* stopBtn_ = nullptr;
    TVelBtnBmp* playBtn_ = nullptr;
    TVelBtnBmp* syncBtn_ = nullptr;
    TVelBtnBmp* recordBtn_ = nullptr;
    TVelBtnBmp* combineBtn_ = nullptr;
    TVELBtn2Bmp* dampenBtn_ = nullptr;
    TLevelMeterWidget* outputMeter_ = nullptr;
    std::chrono::steady_clock::time_point lastMeterTick_{};
    QMenu* newMenu_ = nullptr;
    QMenu* saveMenu_ = nullptr;
    QMenu* optionsMenu_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr; // before Exit, from the first recent file on
    QList<QAction*> recentActions_;

    TStudioMode mode_ = TStudioMode::Idle;
    std::string songPath_;
    std::string startFile_;
    std::vector<TTrack> savedTracks_;
    bool dampen_ = false;
    bool shownOnce_ = false;
    TFormTrack* combineTarget_ = nullptr;

    YesNoCancelBox yesNoCancelBox_;
    FileDialog openDialog_;
    FileDialog saveSongDialog_;
    NamesDialog combineDialog_;
    NamesDialog organizeDialog_;
    std::function<void(TFormTrack&)> trackWindowHook_;
    std::function<void(TFormSound&)> soundOptionsHook_;
    std::function<void(TFormDefaults&)> defaultsHook_;
};
