#include "effects/EffectParams.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

} // namespace

int32_t LoadSigned(int32_t stored, bool positive) {
    return positive ? kPositiveRange.Clamp(stored) : kNegativeRange.Clamp(stored);
}

int32_t TDelayParams::Type() const {
    return function == kDelayTypeSinusoidal ? 1 : 0;
}

std::string MatchDelayType(const std::string& text) {
    if (SameText(text, kDelayTypeNone)) return kDelayTypeNone;
    if (SameText(text, kDelayTypeSinusoidal)) return kDelayTypeSinusoidal;
    return "";
}

void Settle(TDelayParams& p) {
    p.delay = TDelayParams::kDelayRange.Clamp(p.delay);
    p.feedback = LoadSigned(p.feedback, p.feedbackPositive);
    p.dry = LoadSigned(p.dry, p.dryPositive);
    p.wet = LoadSigned(p.wet, p.wetPositive);
    p.function = MatchDelayType(p.function);
    p.functionFrequency = TDelayParams::kFrequencyRange.Clamp(p.functionFrequency);
    p.functionDelay = TDelayParams::kModulatedDelayRange.Clamp(p.functionDelay);
    // The total is set first, so the modulated delay, set after it, wins and pushes it up.
    if (p.functionDelay > p.delay) p.delay = p.functionDelay;
}

void Settle(TFadeParams& p) {
    p.left = TFadeParams::kRange.Clamp(p.left);
    p.right = TFadeParams::kRange.Clamp(p.right);
}

void Settle(TEqualizerParams& p) {
    p.dry = TEqualizerParams::kRange.Clamp(p.dry);
    for (int32_t& band : p.bands)
        band = TEqualizerParams::kRange.Clamp(band);
}

void Settle(TDistortionParams& p) {
    p.upperThreshold = TDistortionParams::kRange.Clamp(p.upperThreshold);
    p.lowerThreshold = TDistortionParams::kRange.Clamp(p.lowerThreshold);
    p.clamp = TDistortionParams::kRange.Clamp(p.clamp);
    p.dry = LoadSigned(p.dry, p.dryPositive);
    p.wet = LoadSigned(p.wet, p.wetPositive);
    // The upper threshold is set first, so a lower one above it raises it.
    if (p.lowerThreshold > p.upperThreshold) p.upperThreshold = p.lowerThreshold;
}
