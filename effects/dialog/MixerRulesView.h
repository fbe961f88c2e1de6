// The effects dialog's rules as the dialog's own files see them. effects/MixerRules.h and the
// shared controls' rules (ui/core/ButtonRules.h, ui/core/SliderRules.h, which every widget
// header brings in) each define a TRect and a TPoint of their own in the global namespace, so
// no file can include both as they are. Here the rules' two geometry types are renamed
// TMixerRect and TMixerPoint for the including file; they keep their members and layout, so
// the rules' facts and lines pass unchanged. The one rule this dialog calls with such a type
// in its signature, FadeBand, is reached through MixerFadeBand (MixerFadeBand.cpp includes the
// rules as they are). Remove this header once the two pairs of types are one.
#pragma once

#include <array>
#include <cstdint>

#include "effects/EffectPresets.h"

#define TRect TMixerRect
#define TPoint TMixerPoint
#include "effects/MixerRules.h"
#undef TRect
#undef TPoint

// FadeBand's four corners as x0, y0, ... x3, y3; the bars as left, top, width, height.
std::array<int, 8> MixerFadeBand(const std::array<int, 4>& leftBar,
                                 const std::array<int, 4>& rightBar, int32_t left, int32_t right);
