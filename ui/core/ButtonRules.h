// The rules of the system's bitmap buttons and button panels: captions, sizes, the grey and
// embossed versions of a picture, the big-button layout, the frame a mouse control shows and
// which version of its picture a button paints. No Qt; pure functions and one small state
// machine, UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum TBtnSize : int { bsBig = 0, bsSmall = 1, bsNone = 2 };
enum TCoOption : int { coAlwaysColor = 1 };   // bit 0 of coOptions
enum TMoOption : int { moAlwaysOutline = 1 }; // bit 0 of MoOptions

// "label|hint": the label is the text before the first "|"; the hint the text after it, or
// the whole caption when there is none.
struct TCaptionParts {
    std::string label;
    std::string hint;
};
TCaptionParts SplitCaption(const std::string& caption);
// Hints are shown while the caption is not empty.
inline bool HintShown(const std::string& caption) {
    return !caption.empty();
}

struct TSize {
    int width = 0;
    int height = 0;
};

// [px] Height of a button panel holding buttons of this size; 0 for bsNone (left alone).
int PanelHeight(TBtnSize size);
// [px] Big buttons are 45 wide and 40 high, small ones 30 wide and 25 high: the height is the
// smaller figure so that a button fits inside its panel's lowered bevel (45 and 35 high).
// bsNone: {0, 0}, the button keeps whatever size it has.
TSize ButtonSize(TBtnSize size);
// [px] Side of the square picture on a button of this size (logical pixels).
int PictureSide(TBtnSize size);
// Whether a panel changing to `panelSize` resizes a button whose own size is `buttonSize`:
// only big or small buttons whose size differs, and never for bsNone.
bool PanelResizesButton(TBtnSize panelSize, TBtnSize buttonSize);

// Pixels are 0xAARRGGBB, not premultiplied (Qt's ARGB32).
constexpr int kGreyWhiteAbove = 553;     // s = R + G + B above this: white
constexpr int kGreyHighlightAbove = 231; // above this: the highlight colour
constexpr int kGreyBlackBelow = 58;      // below this: black; otherwise the shadow colour

// The grey version of one pixel: a pixel equal to `transparent` is kept as it is; any other
// takes white, the highlight colour, black or the shadow colour by its brightness, keeping
// its own alpha.
uint32_t GreyPixel(uint32_t pixel, uint32_t transparent, uint32_t highlight, uint32_t shadow);
// The grey version of a whole picture in place; the transparent colour is its first
// (top-left) pixel.
void GreyPicture(uint32_t* pixels, size_t count, uint32_t highlight, uint32_t shadow);
// The monochrome mask an embossed picture is drawn through, in place: every pixel that is not
// the transparent colour (the first pixel) and not white in the grey version becomes opaque
// black with its own alpha; every other pixel becomes fully transparent.
void EmbossMask(uint32_t* pixels, size_t count);

struct TRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }  // one past the last column
    int Bottom() const { return top + height; } // one past the last row
};

// A big button with a label: the area inset by 2 is filled with the background colour, the
// picture is centred horizontally in the space above the label, the label centred
// horizontally at the bottom with its top at height - text height - 2.
struct TBigButtonLayout {
    TRect background;
    TRect picture;
    TRect label;
};
TBigButtonLayout LayOutBigButton(TSize button, TSize picture, TSize text);
// Anything drawn centred in the button (a lone picture, a label without a picture).
TRect CentredIn(TSize button, TSize item);

// The frame of a mouse control: none, raised while the mouse is over it, sunken while the left
// button is held on it. Only an enabled control with a click handler or moAlwaysOutline shows
// one, and only such a control clicks.
enum class TFrameLook { None, Raised, Sunken };
class TMouseFrame {
  public:
    // `active`: the control is enabled and has a click handler or moAlwaysOutline.
    void Enter(bool active);
    void Press(bool active);
    // Answers whether the control clicks: released over the control after a press on it.
    bool Release(bool inside);
    void Leave();
    // The control was disabled or lost its handler: no frame, no pending click.
    void Reset();
    TFrameLook Look() const { return look_; }
    bool Inside() const { return inside_; }

  private:
    TFrameLook look_ = TFrameLook::None;
    bool inside_ = false;
    bool pressed_ = false;
    bool active_ = false;
};

enum class TPictureMode { Colour, Grey, Embossed };
// Embossed when disabled; in colour when under the mouse or with coAlwaysColor; else grey.
TPictureMode PictureModeFor(bool enabled, bool mouseOver, int coOptions);

// A panel narrower than its row of controls shows fewer of them rather than letting them
// overlap: controls are hidden lowest `keep` first and, among equal ones, the last first,
// until the rest with their spacing fit in `available` pixels. Answers which stay visible.
struct TPanelItem {
    int width = 0;
    int keep = 0; // higher stays longer
};
std::vector<bool> FitPanelItems(const std::vector<TPanelItem>& items, int spacing, int available);
