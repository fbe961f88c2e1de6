// The effects dialog's rules, against values worked out by hand.
#include <gtest/gtest.h>

#include "effects/MixerRules.h"
#include "track/TrackInterfaces.h"

namespace {

using C = TLineColour;

std::vector<C> Colours(const std::vector<TPictureLine>& lines) {
    std::vector<C> out;
    for (const TPictureLine& l : lines)
        out.push_back(l.colour);
    return out;
}

} // namespace

TEST(MixerRules, EnablingFollowsEffectAndTrackState) {
    // Per E: the controls enabled (Apply, Undo, Cancel, Parameters, Busy cursor) when the track
    // is Ready, and when it is in any other state.
    const char* ready[] = {"", "ACP", "UC", "B"};
    const char* other[] = {"", "CP", "", "B"};
    for (uint8_t e = esNoDialog; e <= esRunning; ++e)
        for (uint8_t s : {tsEmpty, tsPlaying, tsReady, tsLoading, tsBusy, tsStopping}) {
            const TMixerControls c = MixerControls(e, s);
            std::string got;
            for (auto [on, letter] : {std::pair{c.apply, 'A'},
                                      {c.undo, 'U'},
                                      {c.cancel, 'C'},
                                      {c.parameters, 'P'},
                                      {c.busyCursor, 'B'}})
                if (on) got += letter;
            EXPECT_EQ(got, s == tsReady ? ready[e] : other[e]) << int(e) << " " << int(s);
            EXPECT_TRUE(c.ok);
        }
    EXPECT_EQ(EffectStateAfterUndo(true), esReady);
    EXPECT_EQ(EffectStateAfterUndo(false), esApplied);
}

TEST(MixerRules, SignModesToggleAndClamp) {
    const TSignMode neg = ToggledSign(true, 40, "Wet+");
    EXPECT_EQ(neg.positive, false);
    EXPECT_EQ(neg.min, -150);
    EXPECT_EQ(neg.max, 0);
    EXPECT_EQ(neg.value, -40);
    EXPECT_EQ(neg.colour, 255u);
    EXPECT_EQ(neg.caption, "Wet-");
    const TSignMode pos = ToggledSign(false, -150, "Dry-");
    EXPECT_EQ(pos.positive, true);
    EXPECT_EQ(pos.min, 0);
    EXPECT_EQ(pos.max, 150);
    EXPECT_EQ(pos.value, 150);
    EXPECT_EQ(pos.colour, 32768u);
    EXPECT_EQ(pos.caption, "Dry+");
    // A stored "FEEDBACKPOSITIVE" 1 with "FEEDBACK" -40 loads at 0, and the reverse likewise.
    EXPECT_EQ(SignMode(true, -40, "Feedback-").value, 0);
    EXPECT_EQ(SignMode(true, -40, "Feedback-").caption, "Feedback+");
    EXPECT_EQ(SignMode(false, 70, "Dry+").value, 0);
    EXPECT_EQ(SignMode(false, -3, "").caption, "");
}

TEST(MixerRules, InvariantsPagesAndModulation) {
    EXPECT_EQ(TotalDelayAfterModulatedMoved(300, 250), 300);
    EXPECT_EQ(TotalDelayAfterModulatedMoved(100, 250), 250);
    EXPECT_EQ(ModulatedAfterTotalDelayMoved(100, 125), 100);
    EXPECT_EQ(ModulatedAfterTotalDelayMoved(200, 125), 125);
    EXPECT_EQ(UpperAfterLowerThresholdMoved(30, 20), 30);
    EXPECT_EQ(UpperAfterLowerThresholdMoved(10, 20), 20);
    EXPECT_EQ(LowerAfterUpperThresholdMoved(15, 20), 15);
    EXPECT_EQ(LowerAfterUpperThresholdMoved(25, 20), 20);

    const struct {
        TEffectPage page;
        std::string word;
        int help;
        bool repaint;
    } pages[] = {{kPageEqualizer, "EQUALIZE", 4030, false},
                 {kPageDelay, "DELAY", 4040, true},
                 {kPageFade, "FADE", 4060, false},
                 {kPageDistortion, "DISTORTION", 4070, true}};
    for (const auto& p : pages) {
        EXPECT_EQ(PageOfStoredIndex(p.page), p.page);
        EXPECT_EQ(EffectWordOfPage(p.page), p.word);
        EXPECT_EQ(HelpContextOfPage(p.page), p.help);
        const TParameterChange change = ParameterChangeOf(p.page);
        EXPECT_TRUE(change.clearSelection && change.disableDelete);
        EXPECT_EQ(change.repaintPicture, p.repaint) << p.word;
    }
    for (int32_t stored : {-1, 4, 1000})
        EXPECT_EQ(PageOfStoredIndex(stored), kPageDelay) << stored;

    EXPECT_FALSE(ModulationVisible("(None)"));
    EXPECT_TRUE(ModulationVisible("Sinusoidal"));
    EXPECT_TRUE(ModulationVisible("")); // no type chosen is not "(None)"
}

TEST(MixerRules, FadeBandRoundsHalvesToEven) {
    // h = 100 - 46 = 54 from the left bar, for both ends; the base line is top + 12 + 54.
    const TMixerRect leftBar{10, 20, 30, 100}, rightBar{100, 30, 30, 80};
    // 100 % of 54 is 27 exactly: yL = 86 - 27; 0 %: yR = 96.
    EXPECT_EQ(FadeBand(leftBar, rightBar, 100, 0),
              (std::vector<TMixerPoint>{{40, 59}, {99, 96}, {99, 101}, {40, 64}}));
    // 50 % of 54 is 13.5 -> 14 (up to even); 150 % is 40.5 -> 40 (down to even).
    EXPECT_EQ(FadeBand(leftBar, rightBar, 50, 150),
              (std::vector<TMixerPoint>{{40, 72}, {99, 56}, {99, 61}, {40, 77}}));
}

TEST(MixerRules, ConnectorsBranchesAndColours) {
    const TMixerRect a{10, 20, 30, 40}, b{100, 200, 20, 10}, g{50, 300, 10, 20};
    EXPECT_EQ(Connector(a, b).points, (std::vector<TMixerPoint>{{25, 40}, {110, 40}, {110, 205}}));
    // Halfway between a's right edge 40 and b's left edge 100.
    EXPECT_EQ(Branch(g, a, b, C::Red), (TPictureLine{{{55, 310}, {70, 310}, {70, 40}}, C::Red}));
    EXPECT_EQ(GainColour(true, 0), C::Background);
    EXPECT_EQ(GainColour(false, 0), C::Background);
    EXPECT_EQ(GainColour(true, 1), C::Green);
    EXPECT_EQ(GainColour(false, -1), C::Red);
}

TEST(MixerRules, DelayPictureOrderColoursAndMovedInput) {
    TDelayPictureFacts f;
    f.feedbackBar = {0, 100, 20, 60}; // vertical centre 130
    f.dryBar = {30, 200, 20, 60};     // centre (40, 230)
    f.input = {0, 0, 16, 10};
    f.output = {300, 250, 16, 10};
    f.tap1 = {100, 120, 10, 10}; // centre (105, 125)
    f.tap2 = {200, 240, 10, 10};
    f.wetBar = {250, 100, 20, 60};
    f.delayBar = {150, 20, 20, 60};
    f.modulatedBar = {150, 300, 20, 60};
    f.freqBar = {200, 300, 20, 60};
    f.typeList = {150, 0, 60, 16};
    f.feedback = 0;
    f.dry = 50;
    f.wet = -30;
    f.wetPositive = false;

    const TDelayPicture none = DelayPicture(f);
    EXPECT_EQ(none.input, (TMixerRect{0, 250, 16, 10})); // level with the output
    const std::vector<C> fixedColours{C::Background, C::Green, C::Red,   C::Green, C::Green,
                                      C::Green,      C::Green, C::Green, C::Green, C::Green};
    EXPECT_EQ(Colours(none.lines), fixedColours);
    // Input to tap 1 from the moved input, then the dry branch halfway between 16 and 100.
    EXPECT_EQ(none.lines[5].points, (std::vector<TMixerPoint>{{8, 255}, {105, 255}, {105, 125}}));
    EXPECT_EQ(none.lines[6].points, (std::vector<TMixerPoint>{{40, 230}, {58, 230}, {58, 255}}));
    EXPECT_EQ(none.lines.back(), Connector(f.typeList, f.delayBar));

    f.modulationVisible = true;
    const TDelayPicture sweep = DelayPicture(f);
    EXPECT_EQ(sweep.input, (TMixerRect{0, 125, 16, 10})); // centred on the feedback slider
    ASSERT_EQ(sweep.lines.size(), 12u);
    EXPECT_EQ(sweep.lines[3], Connector(f.modulatedBar, f.freqBar));
    EXPECT_EQ(sweep.lines[10], Connector(f.modulatedBar, f.freqBar));
    EXPECT_EQ(sweep.lines[6].points, (std::vector<TMixerPoint>{{8, 130}, {105, 130}, {105, 125}}));
    EXPECT_EQ(sweep.lines[7].points, (std::vector<TMixerPoint>{{40, 230}, {58, 230}, {58, 130}}));
}

TEST(MixerRules, DistortionPictureColoursItsGainLines) {
    TDistortionPictureFacts f;
    f.input = {0, 0, 16, 16};
    f.clampBar = {100, 0, 20, 60};
    f.dryBar = {50, 100, 20, 60};
    f.wetBar = {150, 100, 20, 60};
    f.tap1 = {200, 0, 10, 10};
    f.output = {250, 0, 16, 16};
    f.dry = 0;
    f.wet = 20;
    std::vector<TPictureLine> lines = DistortionPicture(f);
    EXPECT_EQ(Colours(lines),
              (std::vector<C>{C::Green, C::Green, C::Green, C::Green, C::Background, C::Green}));
    // The tap to the wet slider: from (205, 5) across to x 160, down to its centre 130.
    EXPECT_EQ(lines[5].points, (std::vector<TMixerPoint>{{205, 5}, {160, 5}, {160, 130}}));
    f.dry = -10;
    f.dryPositive = false;
    f.wet = 0;
    lines = DistortionPicture(f);
    EXPECT_EQ(lines[4].colour, C::Red);
    EXPECT_EQ(lines[5].colour, C::Background);
}
