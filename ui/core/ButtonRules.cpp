#include "ui/core/ButtonRules.h"

#include <algorithm>

TCaptionParts SplitCaption(const std::string& caption) {
    const size_t bar = caption.find('|');
    if (bar == std::string::npos) return {caption, caption};
    return {caption.substr(0, bar), caption.substr(bar + 1)};
}

int PanelHeight(TBtnSize size) {
    switch (size) {
    case bsBig:
        return 45;
    case bsSmall:
        return 35;
    case bsNone:
        break;
    }
    return 0;
}

TSize ButtonSize(TBtnSize size) {
    switch (size) {
    case bsBig:
        return {45, 40};
    case bsSmall:
        return {30, 25};
    case bsNone:
        break;
    }
    return {};
}

int PictureSide(TBtnSize size) {
    // Small buttons keep a pixel of frame and a pixel of air around the picture.
    return size == bsSmall ? 20 : 24;
}

bool PanelResizesButton(TBtnSize panelSize, TBtnSize buttonSize) {
    return panelSize != bsNone && buttonSize != bsNone && buttonSize != panelSize;
}

namespace {

int Brightness(uint32_t pixel) {
    return static_cast<int>(((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF));
}

} // namespace

uint32_t GreyPixel(uint32_t pixel, uint32_t transparent, uint32_t highlight, uint32_t shadow) {
    if (pixel == transparent) return pixel;
    const int s = Brightness(pixel);
    uint32_t rgb;
    if (s > kGreyWhiteAbove)
        rgb = 0xFFFFFF;
    else if (s > kGreyHighlightAbove)
        rgb = highlight & 0xFFFFFF;
    else if (s < kGreyBlackBelow)
        rgb = 0;
    else
        rgb = shadow & 0xFFFFFF;
    return (pixel & 0xFF000000u) | rgb;
}

void GreyPicture(uint32_t* pixels, size_t count, uint32_t highlight, uint32_t shadow) {
    if (count == 0) return;
    const uint32_t transparent = pixels[0];
    std::transform(pixels, pixels + count, pixels,
                   [&](uint32_t p) { return GreyPixel(p, transparent, highlight, shadow); });
}

void EmbossMask(uint32_t* pixels, size_t count) {
    if (count == 0) return;
    const uint32_t transparent = pixels[0];
    std::transform(pixels, pixels + count, pixels, [&](uint32_t p) -> uint32_t {
        if (p == transparent || Brightness(p) > kGreyWhiteAbove) return 0;
        return p & 0xFF000000u;
    });
}

TBigButtonLayout LayOutBigButton(TSize button, TSize picture, TSize text) {
    TBigButtonLayout layout;
    layout.background = {2, 2, std::max(0, button.width - 4), std::max(0, button.height - 4)};
    const int labelTop = button.height - text.height - 2;
    layout.label = {(button.width - text.width) / 2, labelTop, text.width, text.height};
    layout.picture = {(button.width - picture.width) / 2, (labelTop - picture.height) / 2,
                      picture.width, picture.height};
    return layout;
}

TRect CentredIn(TSize button, TSize item) {
    return {(button.width - item.width) / 2, (button.height - item.height) / 2, item.width,
            item.height};
}

void TMouseFrame::Enter(bool active) {
    inside_ = true;
    active_ = active;
    if (!active)
        look_ = TFrameLook::None;
    else
        look_ = pressed_ ? TFrameLook::Sunken : TFrameLook::Raised;
}

void TMouseFrame::Press(bool active) {
    active_ = active;
    if (!active || !inside_) return;
    pressed_ = true;
    look_ = TFrameLook::Sunken;
}

bool TMouseFrame::Release(bool inside) {
    const bool click = pressed_ && inside && active_;
    pressed_ = false;
    inside_ = inside;
    look_ = inside && active_ ? TFrameLook::Raised : TFrameLook::None;
    return click;
}

void TMouseFrame::Leave() {
    inside_ = false;
    look_ = TFrameLook::None;
}

void TMouseFrame::Reset() {
    pressed_ = false;
    active_ = false;
    look_ = TFrameLook::None;
}

TPictureMode PictureModeFor(bool enabled, bool mouseOver, int coOptions) {
    if (!enabled) return TPictureMode::Embossed;
    if (mouseOver || (coOptions & coAlwaysColor) != 0) return TPictureMode::Colour;
    return TPictureMode::Grey;
}

std::vector<bool> FitPanelItems(const std::vector<TPanelItem>& items, int spacing, int available) {
    std::vector<bool> shown(items.size(), true);
    int count = static_cast<int>(items.size());
    int total = 0;
    for (const TPanelItem& item : items)
        total += item.width;
    auto width = [&] { return count > 0 ? total + spacing * (count - 1) : 0; };
    while (count > 0 && width() > available) {
        std::size_t drop = items.size();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (shown[i] && (drop == items.size() || items[i].keep <= items[drop].keep)) drop = i;
        shown[drop] = false;
        total -= items[drop].width;
        --count;
    }
    return shown;
}
