// The parameter records of the four effects as the effects dialog holds them: plain structs
// with their start values, the ranges of their sliders, and the rules that bring stored
// values into those ranges. No I/O; see EffectPresets.h for the files.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// A slider's range; stored values outside it are clamped, as the slider clamps positions.
struct TParamRange {
    int32_t min;
    int32_t max;
    int32_t Clamp(int32_t v) const { return v < min ? min : (v > max ? max : v); }
};

// Signed parameters (feedback, dry, wet) live in a slider with two sign modes: 0..150 when
// positive, -150..0 when negative. The value is the slider's signed position.
inline constexpr TParamRange kPositiveRange{0, 150};
inline constexpr TParamRange kNegativeRange{-150, 0};
// The position a signed slider takes for a stored value in the stored mode: a positive mode
// with a negative value gives 0, the low end of the positive range, and so on.
int32_t LoadSigned(int32_t stored, bool positive);

inline constexpr const char* kDelayTypeNone = "(None)";
inline constexpr const char* kDelayTypeSinusoidal = "Sinusoidal";

struct TDelayParams {
    static constexpr const char* kWord = "DELAY";
    static constexpr TParamRange kDelayRange{1, 2500};          // [1/10000 s]
    static constexpr TParamRange kFrequencyRange{1, 200};       // [1/10 Hz]
    static constexpr TParamRange kModulatedDelayRange{0, 2500}; // [1/10000 s]

    int32_t delay = 250;   // total delay [1/10000 s]
    int32_t feedback = 50; // [percent, signed]
    bool feedbackPositive = true;
    int32_t dry = 50; // [percent, signed]
    bool dryPositive = true;
    int32_t wet = 50; // [percent, signed]
    bool wetPositive = true;
    // The type list's text: "(None)", "Sinusoidal", or empty when no item is chosen.
    std::string function = kDelayTypeNone;
    int32_t functionFrequency = 10; // [1/10 Hz]
    int32_t functionDelay = 125;    // modulated delay [1/10000 s], never above `delay`

    // The processor's type number: 1 for "Sinusoidal", 0 (fixed) for anything else.
    int32_t Type() const;
};

struct TFadeParams {
    static constexpr const char* kWord = "FADE";
    static constexpr TParamRange kRange{0, 200}; // [percent]

    int32_t left = 100;
    int32_t right = 0;
};

struct TEqualizerParams {
    static constexpr const char* kWord = "EQUALIZE";
    static constexpr TParamRange kRange{0, 200}; // [percent], dry and every band

    int32_t dry = 50;
    std::array<int32_t, 10> bands = {50, 50, 50, 50, 50, 50, 50, 50, 50, 50}; // "32Hz" first
};

struct TDistortionParams {
    static constexpr const char* kWord = "DISTORTION";
    static constexpr TParamRange kRange{0, 100}; // [percent of full scale]

    int32_t upperThreshold = 20;
    int32_t lowerThreshold = 20; // never above upperThreshold
    int32_t clamp = 20;
    int32_t dry = 50; // [percent, signed]
    bool dryPositive = true;
    int32_t wet = 50; // [percent, signed]
    bool wetPositive = true;
};

// Values as they come out of a file, before the sliders see them. Each record's Settle
// clamps every value to its slider and then applies the dialog's invariants in the order
// the controls are loaded: the total delay before the modulated one (a modulated delay
// above the total raises the total), the upper threshold before the lower one (a lower
// threshold above the upper raises the upper).
void Settle(TDelayParams& p);
void Settle(TFadeParams& p);
void Settle(TEqualizerParams& p);
void Settle(TDistortionParams& p);

// The type list's item whose text equals `text` without regard to case, or "" for none.
std::string MatchDelayType(const std::string& text);
