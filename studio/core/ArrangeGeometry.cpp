#include "studio/core/ArrangeGeometry.h"

#include <algorithm>
#include <limits>

#include "audio/Rounding.h"

namespace {

int ToPixels(long double x) {
    const int64_t v = RoundHalfEven(x);
    return static_cast<int>(
        std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

void ArrangeTracks(const std::vector<TArrangeTrack>& tracks, const TArrangeArea& area,
                   const std::function<int(std::size_t index, const TArrangeRect& rect)>& place) {
    if (tracks.empty()) return;
    int64_t earliest = std::numeric_limits<int64_t>::max();
    int64_t latest = std::numeric_limits<int64_t>::min();
    for (const TArrangeTrack& t : tracks) {
        const int64_t s = RoundHalfEven(t.startSeconds * 10);
        const int64_t e = RoundHalfEven(t.lengthSeconds * 10) + s;
        earliest = std::min(earliest, s);
        latest = std::max(latest, e);
    }
    const int n = static_cast<int>(tracks.size());
    const int height =
        std::max(kArrangeMinHeight,
                 (area.clientHeight - area.messagePanelHeight - area.buttonPanelHeight - 20) / n);
    const int chartWidth = std::max(0, area.mainWidth - 30);
    // No span to chart: one full-width row each, rather than a division by zero.
    const bool flat = latest <= earliest;
    const long double scale =
        flat ? 0
             : static_cast<long double>(chartWidth) / static_cast<long double>(latest - earliest);

    int top = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TArrangeRect rect;
        rect.top = top;
        rect.height = height;
        if (flat) {
            rect.left = 0;
            rect.width = chartWidth;
        } else {
            rect.left = ToPixels((tracks[i].startSeconds * 10 - earliest) * scale);
            rect.width = ToPixels(tracks[i].lengthSeconds * 10 * scale);
        }
        top += place(i, rect);
    }
}
