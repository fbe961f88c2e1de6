// FadeBand for files that see the rules through MixerRulesView.h (which see also the shared
// controls' TRect and TPoint); this file sees only the rules.
#include <array>

#include "effects/MixerRules.h"

std::array<int, 8> MixerFadeBand(const std::array<int, 4>& leftBar,
                                 const std::array<int, 4>& rightBar, int32_t left, int32_t right);

std::array<int, 8> MixerFadeBand(const std::array<int, 4>& leftBar,
                                 const std::array<int, 4>& rightBar, int32_t left, int32_t right) {
    const TRect l{leftBar[0], leftBar[1], leftBar[2], leftBar[3]};
    const TRect r{rightBar[0], rightBar[1], rightBar[2], rightBar[3]};
    std::array<int, 8> corners{};
    const std::vector<TPoint> band = FadeBand(l, r, left, right);
    for (std::size_t i = 0; i < band.size() && i < 4; ++i) {
        corners[2 * i] = band[i].x;
        corners[2 * i + 1] = band[i].y;
    }
    return corners;
}
