// "Arrange Tracks": the track windows that are not minimized laid out as a time chart, one
// row per track, each window's left edge and width proportional to where its track lies on
// the song's timeline. Qt-free; the window measures, the rules place.
//
// For each window s = round(start × 10), e = round(length × 10) + s [tenths of a second];
// earliest = the smallest s, latest = the largest e. Each row is
//   height = (client height - message panel - button panel - 20) div n, at least 180;
//   scale  = (main window width - 30) / (latest - earliest) [px per tenth of a second];
//   left   = round((start × 10 - earliest) × scale), width = round(length × 10 × scale);
// and the rows stack from top 0, each below the height its window really took. Rounding is to
// the nearest integer, halves to even. When latest equals earliest (every track of no length,
// all at one offset) there is nothing to chart: each row gets left 0 and the full width
// (main window width - 30). A window narrower than 30 pixels charts into no width.
#pragma once

#include <functional>
#include <vector>

// One window that is not minimized, in song order.
struct TArrangeTrack {
    long double startSeconds = 0;  // its start offset
    long double lengthSeconds = 0; // its track's length
};

struct TArrangeArea {
    int mainWidth = 0;          // [px] the main window's width
    int clientHeight = 0;       // [px] the main window's client height
    int messagePanelHeight = 0; // [px]
    int buttonPanelHeight = 0;  // [px]
};

struct TArrangeRect {
    int left = 0, top = 0, width = 0, height = 0; // [px] in the main window's client area
};

inline constexpr int kArrangeMinHeight = 180; // [px]

// Places each window in order through `place(index, rect)`, which answers the height the
// window took (a window may refuse to be as low as asked); the next row starts below it.
// Nothing when `tracks` is empty.
void ArrangeTracks(const std::vector<TArrangeTrack>& tracks, const TArrangeArea& area,
                   const std::function<int(std::size_t index, const TArrangeRect& rect)>& place);
