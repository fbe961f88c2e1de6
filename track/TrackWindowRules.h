// The rules of the track window, apart from its widgets: which controls a track's state
// enables, the window icon, the Mute button's look, the keypad keys, the Length questions and
// size label, the close query, Save against Save As, where the effects dialog goes and when an
// activation refreshes the Studio. Pure functions over plain facts; UI thread only. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/WaveFormat.h"
#include "track/TrackInterfaces.h"

// ---- button enabling and the icon ----

enum class TTrackIcon {
    Keep,  // the state changes no icon (CombineSource, Stopping, Closing)
    MWave, // muted, empty, loading or busy
    GWave, // playing or recording
    RWave, // ready and not muted
};
// The icon resource's name: "MWAVE", "GWAVE", "RWAVE"; empty for Keep.
std::string TrackIconName(TTrackIcon icon);

// What the window knows of its track when the track announces a state change.
struct TTrackWindowFacts {
    TTrackState state = tsEmpty;
    bool effectsDialogOpen = false; // the track's EffectState is not esNoDialog
    bool hasSelection = false;
    int32_t playPosition = 0; // [bytes, on the song timeline]
    int32_t startOffset = 0;  // [bytes, on the song timeline]
    int32_t dataLength = 0;   // [bytes]
    bool muted = false;
    bool modified = false;
};

// Every control the state decides, as the window applies it.
struct TTrackWindowControls {
    bool ok = false;
    bool cancel = false;
    bool save = false;
    bool rewind = false;
    bool stop = false;
    bool play = false;
    bool forward = false; // Fast Forward
    bool record = false;
    bool effects = false; // MixBtn
    bool mute = false;
    bool saveAs = false;
    bool waveBtn = false;
    bool length = false;
    bool startsAt = false;
    bool closeCommand = false;         // the close box and the system menu's Close
    bool propertiesBusyPointer = true; // the Properties page's pointer
    TTrackIcon icon = TTrackIcon::Keep;
};

TTrackWindowControls TrackWindowControls(const TTrackWindowFacts& facts);

// DefaultBtn: there is something to reset.
inline bool DefaultsEnabled(int panPercent, int volumePercent) {
    return panPercent != 0 || volumePercent != 0;
}

// ---- Mute ----

struct TMuteLook {
    bool secondPicture = false; // the button's muted picture
    std::string caption;        // "UnMute" while muted, "Mute" otherwise
    TTrackIcon icon = TTrackIcon::RWave;
};
// SetMuted(wanted) on a window whose flag is `current`: the new look, or nullopt when the
// flag does not change (nothing to do).
std::optional<TMuteLook> MuteChange(bool current, bool wanted);
TMuteLook MuteLook(bool muted);

// ---- the keypad ----

enum class TKeypadKey { Four, Six, Zero, Plus };
enum class TKeypadTarget {
    WindowRewind,  // this window's Rewind
    StudioPlayAll, // the Studio's Play-all
    StudioStopAll, // the Studio's Stop-all
    StudioRecord,  // the Studio's Record
};
// Shown in the Studio's message panel, with a beep, when the target is disabled.
inline constexpr int kKeypadMessageKind = 3;

struct TKeypadCommand {
    TKeypadTarget target;
    std::string disabledMessage; // "Rewind button not enabled", ...
};
TKeypadCommand KeypadCommand(TKeypadKey key);

// ---- Properties: file size, length and the length questions ----

// "File Size is " + bytes in MiB with thousands separators and two decimals (halves away from
// zero) + " M": 10584000 bytes -> "File Size is 10.09 M".
std::string FileSizeLabel(int64_t bytes);
// The label while the user types a length: the text's byte count in the track's format.
std::string LengthTextSizeLabel(const std::string& lengthText, const WAVEFORMATEX& format);

// What TrackStateChanged shows on the Properties page.
struct TTrackProperties {
    std::string fileName; // the window caption
    std::string waveDesc; // "16 bit Stereo @44100Hz"
    std::string lengthText;
    std::string sizeLabel;
};
TTrackProperties TrackProperties(const std::string& caption, const WAVEFORMATEX& format,
                                 int32_t dataLength);

// Unfilled places of a time field read as "0".
std::string BlanksToZeros(std::string text);

enum class TLengthChangeKind { None, Truncate, Extend };
struct TLengthChange {
    TLengthChangeKind kind = TLengthChangeKind::None;
    std::string newText;  // the typed text with blanks turned into "0"
    std::string question; // OK/Cancel; empty for None
};
// Leaving Length: the typed text against the current length text. Time texts have a fixed
// width, so comparing them character by character compares the times.
TLengthChange LengthChange(const std::string& typedText, const std::string& currentText,
                           const std::string& shortName);

// ---- closing ----

// The caption of a window that is being closed without questions.
inline constexpr const char* kClosingCaption = "Closing...";

enum class TYesNoCancel { Yes, No, Cancel };

// The questions of the close query and the save a Yes asks for; the window answers with its
// message boxes and its Save.
class TCloseQueryHost {
  public:
    virtual ~TCloseQueryHost() = default;
    virtual bool ConfirmOkCancel(const std::string& question) = 0;
    virtual TYesNoCancel AskYesNoCancel(const std::string& question) = 0;
    // True when the track was saved; a Save As the user cancels answers false.
    virtual bool SaveTrack() = 0;
};

struct TCloseQueryFacts {
    std::string caption; // the window's
    TTrackState state = tsEmpty;
    bool songClosing = false; // the Studio closes the whole song: no removal question
    bool modified = false;
    std::string shortName;   // the track's short file name
    std::string mainCaption; // the main window's caption
};
// Whether the window may close; asks `host` what the facts call for, in order.
bool CloseQuery(const TCloseQueryFacts& facts, TCloseQueryHost& host);

// ---- saving ----

// A track never saved yet lives in its ".TMP" working file: Save becomes Save As.
bool SaveNeedsSaveAs(const std::string& shortName);

// Where the save dialog opens.
struct TSaveAsStart {
    std::string folder;
    std::string fileName;
};
// A saved track: the folder of its file, with its short name. A ".TMP" track: the song's
// folder, with the window caption as the name.
TSaveAsStart SaveAsStart(const std::string& trackFilePath, const std::string& windowCaption,
                         const std::string& songFolder);

// ---- the effects dialog ----

std::string EffectsCaption(const std::string& windowCaption);

struct TDialogPos {
    int x = 0;
    int y = 0;
    bool operator==(const TDialogPos&) const = default;
};
struct TFrameRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
// Facts of the main window and the track window, in the main window's client coordinates.
struct TEffectsPlacementFacts {
    bool anyChildMaximised = false;
    int clientHeight = 0;       // [px] of the main window's client area
    int messagePanelHeight = 0; // [px]
    int buttonPanelHeight = 0;  // [px]
    TFrameRect trackWindow;     // the track window's frame
};
// The dialog's new top-left corner (the track window's bottom-left), or nullopt to leave it.
std::optional<TDialogPos> EffectsDialogPlace(const TEffectsPlacementFacts& facts);

// ---- activation ----

// The first activation only marks the window; each later one means the current track changed.
class TTrackActivation {
  public:
    // True when the Studio should refresh its transport.
    bool Activate();

  private:
    bool activatedOnce_ = false;
};
