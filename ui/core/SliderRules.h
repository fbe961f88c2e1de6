// The rules of the system's slider: the inversion of the bar, the box's display format and
// mask, the value shown in the box and the entry read back from it, the box width, the two
// layouts and the caption with its decoration. No Qt; pure functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/core/ButtonRules.h" // TRect, TSize

// With inversion the value is max + min - raw and a value v sets raw = max + min - v (the
// same arithmetic both ways); without it both are the raw position.
int SliderInvert(bool inverted, int max, int min, int position);

// The box's format: Decimals 0 keeps the previous format ("%d" at creation) and no mask.
// Decimals > 0: len = the longer of Max and Min written in decimal (the sign counts); the
// mask is "!#" (a sign may be typed) or "!9", then len - Decimals - 1 times "9", ".",
// Decimals times "9", ";0;0"; the format "%" + (Decimals + 1) + "d" when len equals
// Decimals, else "%" + Decimals + "d".
struct TSliderFormat {
    std::string format = "%d";
    std::string mask; // empty: no mask
    int decimals = 0;
    bool signAllowed = false; // the mask begins with "!#"
    int integerDigits = 0;    // digit places before the point (at least 1 when masked)
};
TSliderFormat BuildSliderFormat(int decimals, int max, int min,
                                const std::string& previousFormat = "%d");

// The box's text for a value: the value in the display format with every blank made "0",
// then placed right-aligned into the mask's digit places with the point between; blank
// places before the point are dropped except the one before it. So 2000 with 4 decimals
// shows "0.2000", 11 with 1 decimal "1.1", -5 with 1 decimal "-0.5".
std::string SliderText(const TSliderFormat& format, int value);

// Reading the box back. With a mask, the text is the number with its implied point: the
// digits before the point and the Decimals digits after it (missing or blank ones count as
// "0") make the integer. Without a mask it is the integer itself. Empty is 0.
struct TSliderEntry {
    std::optional<int> value; // set when accepted
    std::string refusal;      // "Entry must be between " + min + " and " + max otherwise
};
TSliderEntry ReadSliderEntry(const TSliderFormat& format, const std::string& text, int max,
                             int min);

// [px] Box width: the text width of "." plus that of the wider of Max and Min, plus 10.
int SliderBoxWidth(int pointWidth, int maxTextWidth, int minTextWidth);

// [px] Thickness of the bar across its direction: 35 vertical, 30 horizontal; 10 more with
// tick marks on both sides.
int SliderBarThickness(bool vertical, bool tickBoth);

struct TSliderLayout {
    bool vertical = false;
    TRect bar, box, label;
};
// Vertical when narrower than high: the bar at the left, as high as the control minus the
// box, the box below it at the left edge, the label right of the box. Horizontal otherwise:
// the bar at the bottom (top at height - thickness - 1), as wide as the control minus box
// and label; the box after the bar and the label after the box, both at the bar's top.
TSliderLayout LayOutSlider(TSize control, bool tickBoth, TSize box, TSize label);

// Where the caption goes: vertical, centred in the space right of the bar and halfway down
// to the box; horizontal, centred over the bar, 2 pixels from the top.
TRect SliderCaptionRect(const TSliderLayout& layout, TSize control, TSize text);

enum TTrackBarAlign : int { tbNone = 0, tbLeft = 1, tbRight = 2, tbCenter = 3 };
struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint&) const = default;
};
// The filled shape drawn behind the caption; empty for tbNone. tbCenter: the rectangle over
// the bar. tbRight and tbLeft: a wedge pointing right or left across the caption's space.
std::vector<TPoint> SliderDecoration(TTrackBarAlign align, const TSliderLayout& layout,
                                     TSize control);
