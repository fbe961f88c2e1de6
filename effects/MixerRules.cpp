#include "effects/MixerRules.h"

#include <algorithm>

namespace {

// The track's TTrackState tsReady and the TEffectState values; the track layer sits above this
// one, so its enums cannot be named here (the tests check that the numbers agree).
constexpr uint8_t kTrackReady = 2;
constexpr uint8_t kEffectReady = 1;
constexpr uint8_t kEffectApplied = 2;
constexpr uint8_t kEffectRunning = 3;

// n / d rounded to the nearest integer, halves to the even neighbour, for d > 0. Exact: the
// fade band's halves (a 50 % level over an odd height) must not depend on how a float rounds.
int64_t RoundRatio(int64_t n, int64_t d) {
    int64_t q = n / d;
    int64_t r = n % d;
    if (r < 0) { // floor division
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && q % 2 != 0)) ++q;
    return q;
}

TMixerPoint Centre(const TMixerRect& r) {
    return {r.CentreX(), r.CentreY()};
}

} // namespace

TMixerControls MixerControls(uint8_t effectState, uint8_t trackState) {
    const bool ready = trackState == kTrackReady;
    TMixerControls c;
    c.apply = effectState == kEffectReady && ready;
    c.undo = effectState == kEffectApplied && ready;
    c.cancel = effectState == kEffectReady || (effectState == kEffectApplied && ready);
    c.ok = true;
    c.parameters = effectState == kEffectReady;
    c.busyCursor = effectState == kEffectRunning;
    return c;
}

uint8_t EffectStateAfterUndo(bool accepted) {
    return accepted ? kEffectReady : kEffectApplied;
}

TSignMode SignMode(bool positive, int32_t value, const std::string& caption) {
    const TParamRange range = positive ? kPositiveRange : kNegativeRange;
    TSignMode m;
    m.positive = positive;
    m.min = range.min;
    m.max = range.max;
    m.value = range.Clamp(value);
    m.colour = positive ? kSignGreen : kSignRed;
    m.caption = caption;
    if (!m.caption.empty()) m.caption.back() = positive ? '+' : '-';
    return m;
}

TSignMode ToggledSign(bool positive, int32_t value, const std::string& caption) {
    return SignMode(!positive, -value, caption);
}

int32_t TotalDelayAfterModulatedMoved(int32_t modulated, int32_t total) {
    return std::max(total, modulated);
}

int32_t ModulatedAfterTotalDelayMoved(int32_t total, int32_t modulated) {
    return std::min(modulated, total);
}

int32_t UpperAfterLowerThresholdMoved(int32_t lower, int32_t upper) {
    return std::max(upper, lower);
}

int32_t LowerAfterUpperThresholdMoved(int32_t upper, int32_t lower) {
    return std::min(lower, upper);
}

const char* EffectWordOfPage(TEffectPage page) {
    switch (page) {
    case kPageEqualizer:
        return TEqualizerParams::kWord;
    case kPageFade:
        return TFadeParams::kWord;
    case kPageDistortion:
        return TDistortionParams::kWord;
    case kPageDelay:
        break;
    }
    return TDelayParams::kWord;
}

int HelpContextOfPage(TEffectPage page) {
    switch (page) {
    case kPageEqualizer:
        return 4030;
    case kPageFade:
        return 4060;
    case kPageDistortion:
        return 4070;
    case kPageDelay:
        break;
    }
    return 4040;
}

TEffectPage PageOfStoredIndex(int32_t stored) {
    // Only an edited file holds another number; the Delay page is also the first start's page.
    return stored >= kPageEqualizer && stored <= kPageDistortion ? static_cast<TEffectPage>(stored)
                                                                 : kPageDelay;
}

TParameterChange ParameterChangeOf(TEffectPage page) {
    TParameterChange change;
    change.repaintPicture = page == kPageDelay || page == kPageDistortion;
    return change;
}

bool ModulationVisible(const std::string& typeText) {
    return typeText != kDelayTypeNone;
}

std::vector<TMixerPoint> FadeBand(const TMixerRect& leftBar, const TMixerRect& rightBar,
                                  int32_t left, int32_t right) {
    const int64_t h = leftBar.height - 46;
    const int yL = static_cast<int>(leftBar.top + 12 + h - RoundRatio(left * h, 200));
    const int yR = static_cast<int>(rightBar.top + 12 + h - RoundRatio(right * h, 200));
    const int x0 = leftBar.Right();
    const int x1 = rightBar.left - 1;
    return {{x0, yL}, {x1, yR}, {x1, yR + 5}, {x0, yL + 5}};
}

TLineColour GainColour(bool positive, int32_t value) {
    if (value == 0) return TLineColour::Background;
    return positive ? TLineColour::Green : TLineColour::Red;
}

TPictureLine Connector(const TMixerRect& a, const TMixerRect& b, TLineColour colour) {
    return {{Centre(a), {b.CentreX(), a.CentreY()}, Centre(b)}, colour};
}

TPictureLine Branch(const TMixerRect& g, const TMixerRect& a, const TMixerRect& b,
                    TLineColour colour) {
    const int x = (a.Right() + b.left) / 2;
    return {{Centre(g), {x, g.CentreY()}, {x, a.CentreY()}}, colour};
}

TDelayPicture DelayPicture(const TDelayPictureFacts& f) {
    TDelayPicture picture;
    auto& lines = picture.lines;
    lines.push_back(Connector(f.feedbackBar, f.tap1, GainColour(f.feedbackPositive, f.feedback)));
    lines.push_back(Connector(f.dryBar, f.tap2, GainColour(f.dryPositive, f.dry)));
    lines.push_back(Connector(f.tap2, f.wetBar, GainColour(f.wetPositive, f.wet)));
    // The input moves before the lines that start at it are drawn.
    picture.input = f.input;
    if (f.modulationVisible) {
        picture.input.top = f.feedbackBar.CentreY() - f.input.height / 2;
        lines.push_back(Connector(f.modulatedBar, f.freqBar));
    } else {
        picture.input.top = f.output.top;
    }
    const TMixerRect& input = picture.input;
    lines.push_back(Connector(f.tap1, f.delayBar));
    lines.push_back(Connector(f.tap2, f.output));
    lines.push_back(Connector(input, f.tap1));
    lines.push_back(Branch(f.dryBar, input, f.tap1));
    lines.push_back(Connector(f.delayBar, f.wetBar));
    lines.push_back(Branch(f.feedbackBar, f.delayBar, f.wetBar));
    if (f.modulationVisible) lines.push_back(Connector(f.modulatedBar, f.freqBar));
    lines.push_back(Connector(f.typeList, f.delayBar));
    return picture;
}

std::vector<TPictureLine> DistortionPicture(const TDistortionPictureFacts& f) {
    return {
        Connector(f.input, f.wetBar),
        Connector(f.input, f.clampBar),
        Branch(f.dryBar, f.input, f.clampBar),
        Connector(f.tap1, f.output),
        Connector(f.dryBar, f.tap1, GainColour(f.dryPositive, f.dry)),
        Connector(f.tap1, f.wetBar, GainColour(f.wetPositive, f.wet)),
    };
}
