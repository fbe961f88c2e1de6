#include "studio/core/TrackCaptions.h"

#include <algorithm>

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<std::string> NewTrackCaption(const std::vector<std::string>& childCaptions) {
    for (int n = 0; n <= kLastNewTrackNumber; ++n) {
        const std::string caption =
            n == 0 ? std::string(kNewTrackCaption) : kNewTrackCaption + std::to_string(n);
        const bool taken =
            std::any_of(childCaptions.begin(), childCaptions.end(),
                        [&](const std::string& c) { return SameIgnoringCase(c, caption); });
        if (!taken) return caption;
    }
    return std::nullopt;
}
