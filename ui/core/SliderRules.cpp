#include "ui/core/SliderRules.h"

#include <algorithm>
#include <cstdio>

int SliderInvert(bool inverted, int max, int min, int position) {
    if (!inverted) return position;
    return static_cast<int>(static_cast<long long>(max) + min - position);
}

TSliderFormat BuildSliderFormat(int decimals, int max, int min, const std::string& previousFormat) {
    TSliderFormat result;
    if (decimals <= 0) {
        result.format = previousFormat;
        return result;
    }
    const int len =
        static_cast<int>(std::max(std::to_string(max).size(), std::to_string(min).size()));
    result.decimals = decimals;
    result.signAllowed = max < 0 || min < 0;
    const int leading = std::max(0, len - decimals - 1);
    result.integerDigits = 1 + leading; // the "#" or "9" after "!", then the leading "9"s
    result.mask = std::string(result.signAllowed ? "!#" : "!9") + std::string(leading, '9') + "." +
                  std::string(decimals, '9') + ";0;0";
    result.format = "%" + std::to_string(len == decimals ? decimals + 1 : decimals) + "d";
    return result;
}

namespace {

std::string Formatted(const std::string& format, int value) {
    // The format is built here ("%<n>d" or "%d"), never taken from the user.
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
    std::string text(buffer, n < 0 ? 0 : std::min<size_t>(n, sizeof buffer - 1));
    std::replace(text.begin(), text.end(), ' ', '0');
    return text;
}

std::string Refusal(int max, int min) {
    return "Entry must be between " + std::to_string(min) + " and " + std::to_string(max);
}

} // namespace

std::string SliderText(const TSliderFormat& format, int value) {
    std::string text = Formatted(format.format, value);
    if (format.mask.empty()) return text;
    // The mask takes digits only; the sign shows in front whatever the padding did.
    const bool negative = text.find('-') != std::string::npos;
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits),
                 [](char c) { return c >= '0' && c <= '9'; });
    if (digits.size() < static_cast<size_t>(format.decimals) + 1)
        digits.insert(0, format.decimals + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - format.decimals);
    const std::string fraction = digits.substr(whole.size());
    const size_t firstSignificant = whole.find_first_not_of('0');
    whole = firstSignificant == std::string::npos ? "0" : whole.substr(firstSignificant);
    return (negative ? "-" : "") + whole + "." + fraction;
}

TSliderEntry ReadSliderEntry(const TSliderFormat& format, const std::string& text, int max,
                             int min) {
    TSliderEntry entry;
    std::string s = text;
    std::replace(s.begin(), s.end(), ' ', '0');
    bool negative = false;
    if (!s.empty() && s.front() == '-') {
        negative = true;
        s.erase(0, 1);
    }
    std::string digits;
    bool number = !(negative && s.empty());
    if (format.mask.empty()) {
        digits = s;
    } else {
        const size_t point = s.find('.');
        std::string whole = s.substr(0, point);
        std::string fraction = point == std::string::npos ? "" : s.substr(point + 1);
        if (fraction.size() > static_cast<size_t>(format.decimals)) number = false;
        fraction.resize(format.decimals, '0');
        digits = whole + fraction;
        if (negative && !format.signAllowed) number = false;
    }
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        number = false;
    const size_t significant = std::min(digits.find_first_not_of('0'), digits.size());
    if (digits.size() - significant > 12) // far outside any 32-bit range
        number = false;
    long long value = 0;
    if (number)
        for (char c : digits)
            value = value * 10 + (c - '0');
    if (negative) value = -value;
    if (!number || value < min || value > max) {
        entry.refusal = Refusal(max, min);
        return entry;
    }
    entry.value = static_cast<int>(value);
    return entry;
}

int SliderBoxWidth(int pointWidth, int maxTextWidth, int minTextWidth) {
    return pointWidth + std::max(maxTextWidth, minTextWidth) + 10;
}

int SliderBarThickness(bool vertical, bool tickBoth) {
    return (vertical ? 35 : 30) + (tickBoth ? 10 : 0);
}

TSliderLayout LayOutSlider(TSize control, bool tickBoth, TSize box, TSize label) {
    TSliderLayout layout;
    layout.vertical = control.width < control.height;
    const int thickness = SliderBarThickness(layout.vertical, tickBoth);
    if (layout.vertical) {
        layout.bar = {0, 0, thickness, std::max(0, control.height - box.height)};
        layout.box = {0, layout.bar.height, box.width, box.height};
        layout.label = {box.width, layout.box.top, label.width, label.height};
    } else {
        const int top = control.height - thickness - 1;
        layout.bar = {0, top, std::max(0, control.width - box.width - label.width), thickness};
        layout.box = {layout.bar.width, top, box.width, box.height};
        layout.label = {layout.box.Right(), top, label.width, label.height};
    }
    return layout;
}

TRect SliderCaptionRect(const TSliderLayout& layout, TSize control, TSize text) {
    if (layout.vertical) {
        const int spaceLeft = layout.bar.Right();
        return {spaceLeft + (control.width - spaceLeft - text.width) / 2,
                layout.box.top / 2 - text.height / 2, text.width, text.height};
    }
    return {(layout.bar.width - text.width) / 2, 2, text.width, text.height};
}

std::vector<TPoint> SliderDecoration(TTrackBarAlign align, const TSliderLayout& layout,
                                     TSize control) {
    if (layout.vertical) {
        // The caption's space: right of the bar, above the box.
        const int left = layout.bar.width, right = control.width;
        const int bottom = layout.box.top - 1, middle = layout.box.top / 2;
        switch (align) {
        case tbCenter:
            return {{left + 1, 1}, {right - 1, 1}, {right - 1, bottom}, {left + 1, bottom}};
        case tbRight:
            return {{left, 1}, {right, middle}, {left, bottom}};
        case tbLeft:
            return {{right, 1}, {left, middle}, {right, bottom}};
        case tbNone:
            break;
        }
        return {};
    }
    // The caption's space: over the bar.
    const int right = layout.bar.width - 1;
    const int bottom = layout.bar.top - 1, middle = layout.bar.top / 2;
    switch (align) {
    case tbCenter:
        return {{1, 1}, {right, 1}, {right, bottom}, {1, bottom}};
    case tbRight:
        return {{1, 1}, {right, middle}, {1, bottom}};
    case tbLeft:
        return {{right, 1}, {1, middle}, {right, bottom}};
    case tbNone:
        break;
    }
    return {};
}
