#include "audio/VelTrackUtils.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "audio/Rounding.h"

namespace {

// M, S and F laid out as "%2d:%2d.%5d" with every blank turned into "0". A fraction that
// rounds up to a whole second is carried, so 0.999996 s reads "00:01.00000", not ".100000".
std::string LayOut(int64_t minutes, int64_t seconds, int64_t fraction) {
    if (fraction >= 100000) {
        fraction -= 100000;
        if (++seconds >= 60) {
            seconds -= 60;
            ++minutes;
        }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2lld:%2lld.%5lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds), static_cast<long long>(fraction));
    std::string text(buf);
    for (char& c : text)
        if (c == ' ') c = '0';
    return text;
}

// A decimal field of the time text: the characters from 1-based `first`, at most `count`
// of them; empty or any non-digit fails.
std::optional<int64_t> Field(const std::string& text, std::size_t first, std::size_t count) {
    if (text.size() < first) return std::nullopt;
    const std::string part = text.substr(first - 1, count);
    if (part.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

struct TimeFields {
    int64_t minutes, seconds, fraction;
};

std::optional<TimeFields> ParseTimeText(std::string text) {
    for (char& c : text)
        if (c == ' ') c = '0';
    auto m = Field(text, 1, 2);
    auto s = Field(text, 4, 2);
    auto f = Field(text, 7, 5);
    if (!m || !s || !f) return std::nullopt;
    return TimeFields{*m, *s, *f};
}

} // namespace

std::string BytesToTimeText(int32_t bytes, const WAVEFORMATEX& format) {
    const int64_t a = format.nAvgBytesPerSec;
    if (a == 0) return {};
    const int64_t b = bytes;
    const int64_t m = (b / a) / 60;
    const int64_t r = b - m * 60 * a;
    const int64_t s = r / a;
    const int64_t f = RoundHalfEven(static_cast<long double>(r % a) / a * 100000.0L);
    return LayOut(m, s, f);
}

int32_t TimeTextToBytes(const std::string& text, const WAVEFORMATEX& format) {
    const int64_t a = format.nAvgBytesPerSec;
    if (a == 0) return 0;
    const auto t = ParseTimeText(text);
    if (!t) return 0;
    // The whole minutes and seconds are 32-bit products in the original arithmetic; keep
    // the same wrap-around rather than inventing a wider result.
    const auto whole =
        static_cast<uint32_t>(t->minutes * 60 * a) + static_cast<uint32_t>(t->seconds * a);
    const int64_t part = RoundHalfEven(static_cast<long double>(t->fraction) / 100000.0L * a);
    return static_cast<int32_t>(whole + static_cast<uint32_t>(part));
}

std::string SecondsToTimeText(float seconds) {
    const long double x = seconds;
    if (!std::isfinite(x) || std::fabs(x) > 9.2e18L) return "00:00.00000";
    const auto t = static_cast<int64_t>(x); // toward zero
    const int64_t m = t / 60;
    const int64_t s = t - 60 * m;
    const int64_t f = RoundHalfEven((x - 60.0L * m - s) * 100000.0L);
    return LayOut(m, s, f);
}

long double TimeTextToSeconds(const std::string& text) {
    if (text.empty()) return 0;
    const auto t = ParseTimeText(text);
    if (!t) return 0;
    return t->minutes * 60.0L + t->seconds + t->fraction / 100000.0L;
}

std::string FormatDescription(const WAVEFORMATEX& format) {
    return std::to_string(format.wBitsPerSample) + " bit " +
           (format.nChannels == 1 ? "Mono @" : "Stereo @") +
           std::to_string(format.nSamplesPerSec) + "Hz";
}

std::string PositionToText(int32_t position, const WAVEFORMATEX& format) {
    if (position == -1) return "-1";
    return BytesToTimeText(position, format);
}

int32_t TextToPosition(const std::string& text, const WAVEFORMATEX& format) {
    if (text == "-1") return -1;
    return TimeTextToBytes(text, format);
}

// ---- TSamples ----

namespace {

using Cursor = TSamples::Cursor;

int16_t ReadNext16(Cursor& p) {
    const int16_t v = LoadSample16(p);
    p += 2;
    return v;
}
int16_t ReadNext8(Cursor& p) {
    const int16_t v = LoadSample8(p);
    p += 1;
    return v;
}

template <int Width> int16_t ReadNextWrapT(const TSamples& w, Cursor& p) {
    const int16_t v = Width == 2 ? LoadSample16(p) : LoadSample8(p);
    p += Width;
    if (p >= w.End()) p = w.Start();
    return v;
}

template <int Width> int16_t ReadStrideWrapT(const TSamples& w, Cursor& p, int32_t n) {
    const int16_t v = Width == 2 ? LoadSample16(p) : LoadSample8(p);
    p += static_cast<std::ptrdiff_t>(Width) * n;
    if (p >= w.End()) p = w.Start();
    return v;
}

template <int Width> int16_t ReadBackT(const TSamples& w, Cursor p, int32_t n) {
    // Done in offsets: a pointer before the block would be undefined even to compute.
    std::ptrdiff_t at = (p - w.Start()) - static_cast<std::ptrdiff_t>(Width) * n;
    if (at < 0) at += (w.End() - w.Start());
    const uint8_t* q = w.Start() + at;
    return Width == 2 ? LoadSample16(q) : LoadSample8(q);
}

} // namespace

TSamples::TSamples(void* block, int32_t sizeBytes, bool is16Bit)
    : start_(static_cast<uint8_t*>(block)), end_(start_ + sizeBytes),
      count_(is16Bit ? sizeBytes / 2 : sizeBytes), is16_(is16Bit) {
    readCursor = start_ + (is16Bit ? 2 : 1);
    writeCursor = start_;
    if (is16Bit) {
        readNext_ = ReadNext16;
        readNextWrap_ = ReadNextWrapT<2>;
        readStrideWrap_ = ReadStrideWrapT<2>;
        readBack_ = ReadBackT<2>;
        store_ = StoreSample16;
    } else {
        readNext_ = ReadNext8;
        readNextWrap_ = ReadNextWrapT<1>;
        readStrideWrap_ = ReadStrideWrapT<1>;
        readBack_ = ReadBackT<1>;
        store_ = StoreSample8;
    }
}

void TSamples::FillSilence() const {
    if (is16_)
        std::memset(start_, 0, static_cast<std::size_t>(count_) * 2);
    else
        std::memset(start_, 128, static_cast<std::size_t>(count_));
}
