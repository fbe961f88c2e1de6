// The rules of the effects dialog without Qt: which controls the track's states enable, the
// sign modes of the signed sliders, the two invariants between sliders, what a parameter change
// does to a page, the pages' help and the stored page, and the geometry of the page pictures
// (the fade band, the signal-path connectors and their colours) as data the dialog paints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects/EffectPresets.h"

// ---- enabling, from the track's EffectState E and TrackState S ----

struct TMixerControls {
    bool apply = false;      // E = 1 and S = Ready
    bool undo = false;       // E = 2 and S = Ready
    bool cancel = false;     // E = 1, or E = 2 and S = Ready
    bool ok = true;          // always
    bool parameters = false; // every slider, the type list and every preset list: E = 1
    bool busyCursor = false; // E = 3
};
// `effectState` in TEffectState's numbers, `trackState` in TTrackState's (Ready is 2).
TMixerControls MixerControls(uint8_t effectState, uint8_t trackState);

// The effect state once an Undo asked for the track's newest undo state: back to 1 when the
// track took it (it reloads), left at 2 when it refused, so that Undo and Cancel stay usable.
uint8_t EffectStateAfterUndo(bool accepted);

// ---- sign modes of the signed sliders (feedback, dry, wet) ----

inline constexpr uint32_t kSignGreen = 32768; // 0x00BBGGRR: (0, 128, 0)
inline constexpr uint32_t kSignRed = 255;

struct TSignMode {
    bool positive = true;
    int32_t min = 0;   // 0 positive, -150 negative
    int32_t max = 150; // 150 positive, 0 negative
    int32_t value = 0; // the slider's signed position
    uint32_t colour = kSignGreen;
    std::string caption; // the caption with its last character "+" or "-"
};
// The mode `positive` with `value` in it (clamped to the mode's range), as loading sets it.
TSignMode SignMode(bool positive, int32_t value, const std::string& caption);
// A click on the slider: the other mode with the negated value.
TSignMode ToggledSign(bool positive, int32_t value, const std::string& caption);

// ---- invariants: modulated delay <= total delay, lower threshold <= upper threshold ----

// The slider that moved keeps its value; these give the other one's value after the move.
int32_t TotalDelayAfterModulatedMoved(int32_t modulated, int32_t total); // raised to modulated
int32_t ModulatedAfterTotalDelayMoved(int32_t total, int32_t modulated); // lowered to total
int32_t UpperAfterLowerThresholdMoved(int32_t lower, int32_t upper);     // raised to lower
int32_t LowerAfterUpperThresholdMoved(int32_t upper, int32_t lower);     // lowered to upper

// ---- pages ----

// "EQUALIZE", "DELAY", "FADE", "DISTORTION".
const char* EffectWordOfPage(TEffectPage page);
// 4030 Equalizer, 4040 Delay, 4060 Fade, 4070 Distortion.
int HelpContextOfPage(TEffectPage page);
// The page a stored "LASTPAGE" shows: itself when 0..3, the Delay page otherwise.
TEffectPage PageOfStoredIndex(int32_t stored);
// What a parameter change does to its page: the preset selection cleared and Delete disabled
// always; the picture repainted on the Delay and Distortion pages (the fade sliders repaint
// theirs themselves).
struct TParameterChange {
    bool clearSelection = true;
    bool disableDelete = true;
    bool repaintPicture = false;
};
TParameterChange ParameterChangeOf(TEffectPage page);
// The modulation controls ("Freq", "Delay (Modulated)") show exactly when the type list's text
// is not "(None)". An empty text (a stored type that names no item, so no item is chosen) is
// not "(None)": the controls show, although the delay then runs its fixed variant, so that the
// user sees a type is missing and the sweep's settings stay within reach once one is chosen.
bool ModulationVisible(const std::string& typeText);

// ---- picture geometry, in the page's pixels ----

struct TMixerPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TMixerPoint&) const = default;
};

struct TMixerRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    int CentreX() const { return left + width / 2; }
    int CentreY() const { return top + height / 2; }
    bool operator==(const TMixerRect&) const = default;
};

// The fade band: h = height of the left bar - 46; yL = top of the left bar + 12 + h -
// Round(left / 200 * h), yR likewise from the right bar's top with the same h (Round to the
// nearest, halves to even, worked exactly in integers);
// the corners (left bar's right edge, yL), (right bar's left edge - 1, yR), that point 5 lower,
// and (left bar's right edge, yL + 5), in this order.
std::vector<TMixerPoint> FadeBand(const TMixerRect& leftBar, const TMixerRect& rightBar,
                                  int32_t left, int32_t right);

enum class TLineColour : uint8_t { Green, Red, Background };
// A line that carries a gain: green in positive mode, red in negative mode, the dialog's
// background (unseen) when the gain is 0.
TLineColour GainColour(bool positive, int32_t value);

// A polyline 2 pixels wide.
struct TPictureLine {
    std::vector<TMixerPoint> points;
    TLineColour colour = TLineColour::Green;
    bool operator==(const TPictureLine&) const = default;
};
// From the centre of `a` horizontally to the horizontal centre of `b`, then vertically to the
// centre of `b`: three points.
TPictureLine Connector(const TMixerRect& a, const TMixerRect& b,
                       TLineColour colour = TLineColour::Green);
// From the centre of `g` horizontally to halfway between `a`'s right edge and `b`'s left edge,
// then vertically to `a`'s vertical centre: three points.
TPictureLine Branch(const TMixerRect& g, const TMixerRect& a, const TMixerRect& b,
                    TLineColour colour = TLineColour::Green);

// The Delay page's controls where they stand, and the values that colour its lines.
struct TDelayPictureFacts {
    TMixerRect feedbackBar, dryBar, wetBar, delayBar, modulatedBar, freqBar;
    TMixerRect tap1, tap2, input, output, typeList;
    bool modulationVisible = false;
    bool feedbackPositive = true, dryPositive = true, wetPositive = true;
    int32_t feedback = 0, dry = 0, wet = 0;
};
struct TDelayPicture {
    TMixerRect input;                // where `InputBmp` is moved before the lines are drawn
    std::vector<TPictureLine> lines; // in drawing order
};
// The gain lines (feedback to tap 1, dry to tap 2, tap 2 to wet) first, then the input moved
// (its vertical centre on the feedback slider's when the modulation shows, else level with the
// output) and the signal path from the moved input; every line but the gain lines is green.
TDelayPicture DelayPicture(const TDelayPictureFacts& facts);

struct TDistortionPictureFacts {
    TMixerRect input, clampBar, dryBar, wetBar, tap1, output;
    bool dryPositive = true, wetPositive = true;
    int32_t dry = 0, wet = 0;
};
// Input to wet, input to clamp with the dry branch, tap to output, then the dry (dry to tap)
// and wet (tap to wet) gain lines.
std::vector<TPictureLine> DistortionPicture(const TDistortionPictureFacts& facts);
