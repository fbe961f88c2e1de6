// The system's colour values: integers 0x00BBGGRR as the settings file stores them (65535
// yellow, 32768 green, 255 red, 12632256 silver); -1 means no colour.
#pragma once

#include <QColor>

constexpr int kNoColor = -1;

inline QColor ColorFromValue(int value) {
    if (value < 0) return QColor(); // invalid: no colour
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline int ValueFromColor(const QColor& color) {
    if (!color.isValid()) return kNoColor;
    const QColor rgb = color.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}
