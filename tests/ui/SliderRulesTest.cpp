#include <gtest/gtest.h>

#include "ui/core/SliderRules.h"

TEST(SliderRules, FormatAndMaskFollowTheRangeAndDecimals) {
    struct Case {
        int decimals, max, min;
        const char* mask;
        const char* format;
    };
    const Case cases[] = {
        {0, 100, -100, "", "%d"},            // no decimals: no mask
        {4, 2500, 1, "!9.9999;0;0", "%5d"},  // len 4 = decimals
        {1, 200, 1, "!99.9;0;0", "%1d"},     // len 3: one more place before the point
        {1, 100, -100, "!#99.9;0;0", "%1d"}, // the sign counts and may be typed
        {2, 10, 0, "!9.99;0;0", "%3d"},      // len 2 = decimals
        {3, 99999, 0, "!99.999;0;0", "%3d"}, // len 5
        {1, 0, -5, "!#.9;0;0", "%1d"},       // len 2: no place left between "#" and "."
    };
    for (const Case& c : cases) {
        const TSliderFormat f = BuildSliderFormat(c.decimals, c.max, c.min);
        EXPECT_EQ(f.mask, c.mask) << c.decimals << " " << c.max << " " << c.min;
        EXPECT_EQ(f.format, c.format) << c.decimals << " " << c.max << " " << c.min;
    }
    // Back to no decimals: the last format stays.
    EXPECT_EQ(BuildSliderFormat(0, 2500, 1, "%5d").format, "%5d");
    EXPECT_EQ(BuildSliderFormat(0, 2500, 1, "%5d").mask, "");
}

TEST(SliderRules, BoxShowsTheValueWithItsImpliedPoint) {
    const TSliderFormat delay = BuildSliderFormat(4, 2500, 1);
    EXPECT_EQ(SliderText(delay, 2000), "0.2000");
    EXPECT_EQ(SliderText(delay, 2500), "0.2500");
    EXPECT_EQ(SliderText(delay, 1), "0.0001");
    const TSliderFormat freq = BuildSliderFormat(1, 200, 1);
    EXPECT_EQ(SliderText(freq, 11), "1.1");
    EXPECT_EQ(SliderText(freq, 5), "0.5");
    EXPECT_EQ(SliderText(freq, 200), "20.0");
    const TSliderFormat pan = BuildSliderFormat(0, 100, -100);
    EXPECT_EQ(SliderText(pan, -100), "-100");
    EXPECT_EQ(SliderText(pan, 100), "100");
    EXPECT_EQ(SliderText(pan, 0), "0");
    const TSliderFormat signedTenths = BuildSliderFormat(1, 100, -100);
    EXPECT_EQ(SliderText(signedTenths, -5), "-0.5");
    EXPECT_EQ(SliderText(signedTenths, -100), "-10.0");
    EXPECT_EQ(SliderText(BuildSliderFormat(2, 10, 0), 10), "0.10");
}

TEST(SliderRules, EntriesOutsideTheRangeOrNotNumbersAreRefused) {
    const TSliderFormat pan = BuildSliderFormat(0, 100, -100);
    const std::string panRefusal = "Entry must be between -100 and 100";
    EXPECT_EQ(ReadSliderEntry(pan, "150", 100, -100).refusal, panRefusal);
    EXPECT_FALSE(ReadSliderEntry(pan, "150", 100, -100).value);
    EXPECT_EQ(ReadSliderEntry(pan, "-101", 100, -100).refusal, panRefusal);
    EXPECT_EQ(ReadSliderEntry(pan, "abc", 100, -100).refusal, panRefusal);
    EXPECT_EQ(ReadSliderEntry(pan, "-", 100, -100).refusal, panRefusal);
    EXPECT_EQ(ReadSliderEntry(pan, "99999999999999999999", 100, -100).refusal, panRefusal);
    EXPECT_EQ(ReadSliderEntry(pan, "-100", 100, -100).value, -100);
    EXPECT_EQ(ReadSliderEntry(pan, "", 100, -100).value, 0);      // empty is 0
    EXPECT_EQ(ReadSliderEntry(pan, "1 0", 100, -100).value, 100); // a blank counts as "0"

    const TSliderFormat delay = BuildSliderFormat(4, 2500, 1);
    EXPECT_EQ(ReadSliderEntry(delay, "0.0000", 2500, 1).refusal,
              "Entry must be between 1 and 2500");
    EXPECT_EQ(ReadSliderEntry(delay, "0.2500", 2500, 1).value, 2500);
    EXPECT_EQ(ReadSliderEntry(delay, "0.25", 2500, 1).value, 2500); // missing places are "0"
    EXPECT_EQ(ReadSliderEntry(delay, ".0001", 2500, 1).value, 1);
    EXPECT_FALSE(ReadSliderEntry(delay, "1", 2500, 1).value);       // 1.0000 is 10000
    EXPECT_FALSE(ReadSliderEntry(delay, "0.00001", 2500, 1).value); // more places than shown
    EXPECT_FALSE(ReadSliderEntry(delay, "-0.1", 2500, 1).value);    // no sign in this box
    EXPECT_FALSE(ReadSliderEntry(delay, "0,1", 2500, 1).value);

    // Whatever the box shows reads back as the same value.
    const TSliderFormat tenths = BuildSliderFormat(1, 100, -100);
    for (int v = -100; v <= 100; ++v)
        EXPECT_EQ(ReadSliderEntry(tenths, SliderText(tenths, v), 100, -100).value, v);
    for (int v : {1, 9, 10, 99, 1000, 2000, 2500})
        EXPECT_EQ(ReadSliderEntry(delay, SliderText(delay, v), 2500, 1).value, v);
}

TEST(SliderRules, InversionSwapsTheEndsBothWays) {
    EXPECT_EQ(SliderInvert(true, 200, 0, 50), 150);
    EXPECT_EQ(SliderInvert(true, 200, 0, 150), 50);
    EXPECT_EQ(SliderInvert(true, 100, -100, 30), -30);
    EXPECT_EQ(SliderInvert(true, 2500, 1, 1), 2500);
    EXPECT_EQ(SliderInvert(false, 200, 0, 50), 50);
}

TEST(SliderRules, LayoutIsVerticalOnlyWhenNarrowerThanHigh) {
    const TSliderLayout v = LayOutSlider({80, 300}, false, {40, 20}, {20, 20});
    ASSERT_TRUE(v.vertical);
    EXPECT_EQ(v.bar.left, 0);
    EXPECT_EQ(v.bar.width, 35);
    EXPECT_EQ(v.bar.height, 280);
    EXPECT_EQ(v.box.left, 0);
    EXPECT_EQ(v.box.top, 280);
    EXPECT_EQ(v.label.left, 40);
    EXPECT_EQ(v.label.top, 280);
    EXPECT_EQ(LayOutSlider({80, 300}, true, {40, 20}, {20, 20}).bar.width, 45);

    const TSliderLayout h = LayOutSlider({300, 60}, false, {40, 20}, {20, 20});
    ASSERT_FALSE(h.vertical);
    EXPECT_EQ(h.bar.top, 29); // 60 - 30 - 1
    EXPECT_EQ(h.bar.height, 30);
    EXPECT_EQ(h.bar.width, 240);
    EXPECT_EQ(h.box.left, 240);
    EXPECT_EQ(h.box.top, 29);
    EXPECT_EQ(h.label.left, 280);
    EXPECT_EQ(LayOutSlider({300, 60}, true, {40, 20}, {20, 20}).bar.top, 19);
    EXPECT_FALSE(LayOutSlider({100, 100}, false, {40, 20}, {0, 20}).vertical);

    EXPECT_EQ(SliderBoxWidth(3, 20, 25), 38);
}

TEST(SliderRules, CaptionAndDecorationSitInTheCaptionSpace) {
    const TSliderLayout v = LayOutSlider({100, 300}, false, {40, 20}, {20, 20});
    const TRect vc = SliderCaptionRect(v, {100, 300}, {30, 10});
    EXPECT_EQ(vc.left, 52); // 35 + (100 - 35 - 30) / 2
    EXPECT_EQ(vc.top, 135); // halfway down to the box at 280, centred
    const std::vector<TPoint> right = {{35, 1}, {100, 140}, {35, 279}};
    EXPECT_EQ(SliderDecoration(tbRight, v, {100, 300}), right);

    const TSliderLayout h = LayOutSlider({300, 60}, false, {40, 20}, {20, 20});
    const TRect hc = SliderCaptionRect(h, {300, 60}, {30, 10});
    EXPECT_EQ(hc.left, 105); // (240 - 30) / 2
    EXPECT_EQ(hc.top, 2);
    const std::vector<TPoint> centre = {{1, 1}, {239, 1}, {239, 28}, {1, 28}};
    EXPECT_EQ(SliderDecoration(tbCenter, h, {300, 60}), centre);
    EXPECT_TRUE(SliderDecoration(tbNone, h, {300, 60}).empty());
    // The wedges point the way their name says.
    EXPECT_EQ(SliderDecoration(tbRight, h, {300, 60})[1].x, 239);
    EXPECT_EQ(SliderDecoration(tbLeft, h, {300, 60})[1].x, 1);
}
