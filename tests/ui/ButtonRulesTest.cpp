#include <gtest/gtest.h>

#include "ui/core/ButtonRules.h"

namespace {

constexpr uint32_t kHighlight = 0xFFF0F0F0;
constexpr uint32_t kShadow = 0xFF808080;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kTransparent = 0x00000000;

// An opaque pixel whose channels add up to `s`.
uint32_t PixelOfBrightness(int s) {
    const int r = std::min(s, 255);
    const int g = std::min(s - r, 255);
    const int b = s - r - g;
    return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

} // namespace

TEST(ButtonRules, CaptionSplitsIntoLabelAndHintAtTheFirstBar) {
    EXPECT_EQ(SplitCaption("Open|Open a Song").label, "Open");
    EXPECT_EQ(SplitCaption("Open|Open a Song").hint, "Open a Song");
    // No bar: the whole caption is the label and the hint.
    EXPECT_EQ(SplitCaption("Help").label, "Help");
    EXPECT_EQ(SplitCaption("Help").hint, "Help");
    // Only the first bar splits.
    EXPECT_EQ(SplitCaption("Save|Save|Track").label, "Save");
    EXPECT_EQ(SplitCaption("Save|Save|Track").hint, "Save|Track");
    // A picture-only button with a hint.
    EXPECT_EQ(SplitCaption("|Rewind to start").label, "");
    EXPECT_EQ(SplitCaption("|Rewind to start").hint, "Rewind to start");
    EXPECT_FALSE(HintShown(""));
    EXPECT_TRUE(HintShown("Ok|"));
}

TEST(ButtonRules, ButtonsFitInsideTheirPanelsAndOnlySizedButtonsFollowThePanel) {
    EXPECT_EQ(PanelHeight(bsBig), 45);
    EXPECT_EQ(PanelHeight(bsSmall), 35);
    EXPECT_EQ(ButtonSize(bsBig).width, 45);
    EXPECT_EQ(ButtonSize(bsBig).height, 40);
    EXPECT_EQ(ButtonSize(bsSmall).width, 30);
    EXPECT_EQ(ButtonSize(bsSmall).height, 25);
    EXPECT_LT(ButtonSize(bsBig).height, PanelHeight(bsBig));
    EXPECT_LT(ButtonSize(bsSmall).height, PanelHeight(bsSmall));
    EXPECT_LE(PictureSide(bsSmall), ButtonSize(bsSmall).height - 4);

    EXPECT_TRUE(PanelResizesButton(bsBig, bsSmall));
    EXPECT_TRUE(PanelResizesButton(bsSmall, bsBig));
    EXPECT_FALSE(PanelResizesButton(bsBig, bsBig));
    EXPECT_FALSE(PanelResizesButton(bsBig, bsNone)); // a button of its own size stays so
    EXPECT_FALSE(PanelResizesButton(bsNone, bsSmall));
}

TEST(ButtonRules, GreyVersionSwitchesAtEachThreshold) {
    struct Case {
        int s;
        uint32_t grey;
    };
    const Case cases[] = {{765, kWhite},  {554, kWhite}, {553, kHighlight}, {232, kHighlight},
                          {231, kShadow}, {58, kShadow}, {57, kBlack},      {0, kBlack}};
    for (const Case& c : cases)
        EXPECT_EQ(GreyPixel(PixelOfBrightness(c.s), kTransparent, kHighlight, kShadow), c.grey)
            << "s = " << c.s;

    // The transparent colour stays as it is, even when it is a dark colour.
    EXPECT_EQ(GreyPixel(0xFF102030, 0xFF102030, kHighlight, kShadow), 0xFF102030u);
    // An anti-aliased edge keeps its alpha.
    EXPECT_EQ(GreyPixel(0x80000000 | 0x203040, kTransparent, kHighlight, kShadow),
              0x80000000u | (kShadow & 0xFFFFFF));
}

TEST(ButtonRules, WholePicturesTakeTheirTopLeftPixelAsTransparent) {
    // A picture on a white background: white stays white, the rest turns grey.
    uint32_t picture[] = {kWhite, 0xFF33A844, 0xFF145A20, kWhite, 0xFF000000};
    GreyPicture(picture, 5, kHighlight, kShadow);
    EXPECT_EQ(picture[0], kWhite);
    EXPECT_EQ(picture[1], kHighlight); // green fill: s = 51 + 168 + 68 = 287
    EXPECT_EQ(picture[2], kShadow);    // dark outline: s = 20 + 90 + 32 = 142
    EXPECT_EQ(picture[3], kWhite);
    EXPECT_EQ(picture[4], kBlack);

    // The embossed mask keeps the shape and drops the transparent colour and white.
    uint32_t mask[] = {kTransparent, 0xFF33A844, kWhite, 0x40145A20};
    EmbossMask(mask, 4);
    EXPECT_EQ(mask[0], 0u);
    EXPECT_EQ(mask[1], 0xFF000000u);
    EXPECT_EQ(mask[2], 0u);
    EXPECT_EQ(mask[3], 0x40000000u);
}

TEST(ButtonRules, BigButtonPutsThePictureAboveTheLabelAtTheBottom) {
    const TBigButtonLayout layout = LayOutBigButton({45, 40}, {24, 24}, {31, 10});
    EXPECT_EQ(layout.background.left, 2);
    EXPECT_EQ(layout.background.top, 2);
    EXPECT_EQ(layout.background.width, 41);
    EXPECT_EQ(layout.background.height, 36);
    // Label top = 40 - 10 - 2, centred: (45 - 31) / 2.
    EXPECT_EQ(layout.label.top, 28);
    EXPECT_EQ(layout.label.left, 7);
    // Picture centred horizontally, in the 28 pixels above the label.
    EXPECT_EQ(layout.picture.left, 10);
    EXPECT_EQ(layout.picture.top, 2);
    EXPECT_LE(layout.picture.Bottom(), layout.label.top);

    const TRect lone = CentredIn({30, 25}, {20, 20});
    EXPECT_EQ(lone.left, 5);
    EXPECT_EQ(lone.top, 2);
}

TEST(ButtonRules, FrameRaisesOnEnterSinksOnPressAndClicksOnReleaseInside) {
    TMouseFrame frame;
    frame.Enter(true);
    EXPECT_EQ(frame.Look(), TFrameLook::Raised);
    frame.Press(true);
    EXPECT_EQ(frame.Look(), TFrameLook::Sunken);
    EXPECT_TRUE(frame.Release(true));
    EXPECT_EQ(frame.Look(), TFrameLook::Raised);
    frame.Leave();
    EXPECT_EQ(frame.Look(), TFrameLook::None);

    // Dragged out while held and released outside: no click; back in while held: sunken.
    frame.Enter(true);
    frame.Press(true);
    frame.Leave();
    EXPECT_EQ(frame.Look(), TFrameLook::None);
    frame.Enter(true);
    EXPECT_EQ(frame.Look(), TFrameLook::Sunken);
    frame.Leave();
    EXPECT_FALSE(frame.Release(false));
    EXPECT_EQ(frame.Look(), TFrameLook::None);

    // A control without a click handler or outline option shows no frame and never clicks.
    TMouseFrame idle;
    idle.Enter(false);
    idle.Press(false);
    EXPECT_EQ(idle.Look(), TFrameLook::None);
    EXPECT_FALSE(idle.Release(true));

    // Disabled while held: the pending click is dropped.
    TMouseFrame held;
    held.Enter(true);
    held.Press(true);
    held.Reset();
    EXPECT_FALSE(held.Release(true));
}

TEST(ButtonRules, ANarrowPanelHidesTheLeastKeptControlsLastFirst) {
    // The position row of a track window: nudge (keep 1), field (2 or 3 for the play
    // position), nudge, three times; 24-pixel nudges, 85-pixel fields, 2 pixels apart.
    std::vector<TPanelItem> row;
    for (int field : {2, 3, 2})
        row.insert(row.end(), {{24, 1}, {85, field}, {24, 1}});
    const int all = 6 * 24 + 3 * 85 + 8 * 2; // 415
    EXPECT_EQ(FitPanelItems(row, 2, all), std::vector<bool>(9, true));
    // One pixel short: the last nudge goes first.
    std::vector<bool> shown(9, true);
    shown[8] = false;
    EXPECT_EQ(FitPanelItems(row, 2, all - 1), shown);
    // Three fields alone: 255 + 4.
    const std::vector<bool> fields = {false, true, false, false, true, false, false, true, false};
    EXPECT_EQ(FitPanelItems(row, 2, 259), fields);
    // Then the end field, then the start field; the play position stays longest.
    EXPECT_EQ(FitPanelItems(row, 2, 258),
              (std::vector<bool>{false, true, false, false, true, false, false, false, false}));
    EXPECT_EQ(FitPanelItems(row, 2, 85),
              (std::vector<bool>{false, false, false, false, true, false, false, false, false}));
    EXPECT_EQ(FitPanelItems(row, 2, 84), std::vector<bool>(9, false));
    EXPECT_TRUE(FitPanelItems({}, 2, 0).empty());
}
