// Plain per-sample versions of the four effects, written from the formulas with the sample
// walker and nothing hoisted, for checking the product kernels byte for byte. Each works on
// a whole selection in one piece.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/Rounding.h"
#include "audio/VelTrackUtils.h"
#include "audio/WaveFormat.h"
#include "effects/EqualizerKernel.h"

namespace ref {

inline long double FullScale(bool wide) {
    return wide ? 32767.0L : 127.0L;
}
inline float Gain(int32_t percent) {
    return ToSingle(static_cast<long double>(percent) / 100.0L);
}

inline void Distortion(std::vector<uint8_t>& data, bool wide, int32_t upperT, int32_t lowerT,
                       int32_t clamp, int32_t dry, int32_t wet) {
    const float dryGain = Gain(dry);
    const float wetGain = Gain(wet);
    const int64_t upper = RoundHalfEven(upperT / 100.0L * FullScale(wide));
    const int64_t lower = RoundHalfEven(lowerT / 100.0L * FullScale(wide));
    const int64_t clampLevel = RoundHalfEven(clamp / 100.0L * FullScale(wide) * wetGain);
    TSamples w(data.data(), static_cast<int32_t>(data.size()), wide);
    w.PlaceCursor(w.readCursor, 0);
    w.PlaceCursor(w.writeCursor, 0);
    for (int32_t i = 0; i < w.Count(); ++i) {
        const int16_t x = w.ReadNext(w.readCursor);
        const int64_t m = std::abs(static_cast<int64_t>(x));
        int64_t y;
        if (lower <= m && m <= upper)
            y = x >= 0 ? clampLevel : -clampLevel;
        else
            y = RoundHalfEven(static_cast<long double>(x) * dryGain);
        w.Store(w.writeCursor, y);
        w.writeCursor += wide ? 2 : 1;
    }
}

inline void Fade(std::vector<uint8_t>& data, bool wide, int32_t left, int32_t right) {
    TSamples w(data.data(), static_cast<int32_t>(data.size()), wide);
    const int64_t n = w.Count();
    if (n == 0) return;
    const float step = ToSingle((static_cast<long double>(right) - left) / n / 100.0L);
    const float base = ToSingle(static_cast<long double>(left) / 100.0L);
    w.PlaceCursor(w.readCursor, 0);
    w.PlaceCursor(w.writeCursor, 0);
    for (int64_t k = 1; k <= n; ++k) {
        const int16_t x = w.ReadNext(w.readCursor);
        const long double gain = static_cast<long double>(k) * step + base;
        w.Store(w.writeCursor, RoundHalfEven(x * gain));
        w.writeCursor += wide ? 2 : 1;
    }
}

inline void Equalizer(std::vector<uint8_t>& data, bool wide, int32_t dry,
                      const std::array<float, kEqBands>& gains) {
    const TEqBandTable& h = EqualizerBands();
    std::array<double, kEqTaps> H{};
    for (int k = 0; k < kEqBands; ++k)
        for (int j = 0; j < kEqTaps; ++j)
            H[j] += h[k][j] * static_cast<double>(gains[k]);
    const float dryGain = Gain(dry);
    std::array<double, kEqTaps> X{};
    TSamples w(data.data(), static_cast<int32_t>(data.size()), wide);
    w.PlaceCursor(w.readCursor, 0);
    w.PlaceCursor(w.writeCursor, 0);
    for (int32_t i = 0; i < w.Count(); ++i) {
        X[0] = w.ReadNext(w.readCursor);
        float acc = 0.0f;
        for (int j = 0; j < kEqTaps; ++j)
            acc = ToSingle(static_cast<long double>(acc) +
                           static_cast<long double>(X[j]) * static_cast<long double>(H[j]));
        w.Store(w.writeCursor, RoundHalfEven(static_cast<long double>(X[0]) * dryGain + acc));
        w.writeCursor += wide ? 2 : 1;
        for (int j = 30; j >= 0; --j)
            X[j + 1] = X[j];
    }
}

struct DelaySettings {
    int32_t total, feedback, dry, wet, type, freq, modulated;
};

// `track` is the whole track's data; the selection is [selStart, selEnd). Returns the
// selection's new bytes. The lines are primed with the min(S, L * sb) bytes before S.
inline std::vector<uint8_t> Delay(const std::vector<uint8_t>& track, int32_t selStart,
                                  int32_t selEnd, const WAVEFORMATEX& format,
                                  const DelaySettings& p) {
    const bool wide = Is16Bit(format);
    const int64_t sb = wide ? 2 : 1;
    const long double fs = format.nSamplesPerSec, ch = format.nChannels;
    const int64_t D = RoundHalfEven(p.total / 10000.0L * fs) * format.nChannels;
    const int64_t L = D + 1;
    const int64_t A =
        static_cast<int64_t>(std::trunc(p.modulated / 10000.0L * fs)) * format.nChannels / 2;
    const int64_t centre = L - A;
    const float omega =
        ToSingle(p.freq / 10.0L * 2.0L * 3.14159265358979323846264338327950288L / fs / ch);
    const float dryGain = Gain(p.dry), wetGain = Gain(p.wet);
    const float fbGain = ToSingle(static_cast<long double>(p.feedback) * wetGain / 100.0L);

    std::vector<uint8_t> line1(L * sb, wide ? 0 : 128), line2(L * sb, wide ? 0 : 128);
    const int64_t P = std::min<int64_t>(selStart, L * sb);
    for (int64_t i = 0; i < P; ++i) {
        line1[L * sb - P + i] = track[selStart - P + i];
        line2[L * sb - P + i] = track[selStart - P + i];
    }
    TSamples l1(line1.data(), static_cast<int32_t>(line1.size()), wide);
    TSamples l2(line2.data(), static_cast<int32_t>(line2.size()), wide);

    std::vector<uint8_t> sel(track.begin() + selStart, track.begin() + selEnd);
    std::vector<uint8_t> out = sel;
    TSamples in(sel.data(), static_cast<int32_t>(sel.size()), wide);
    TSamples o(out.data(), static_cast<int32_t>(out.size()), wide);
    in.PlaceCursor(in.readCursor, 0);
    int64_t w = 0, r = 1 % L;
    for (int64_t n = 1; n <= in.Count(); ++n) {
        const int16_t x = in.ReadNext(in.readCursor);
        int64_t slot = r;
        if (p.type == 1) {
            const int64_t m =
                centre + RoundHalfEven(static_cast<long double>(A) *
                                       std::sin(static_cast<long double>(n - 1) * omega));
            slot = (((w - m) % L) + L) % L;
        }
        const int16_t a = l1.ReadBack(l1.Start() + slot * sb, 0);
        const int16_t b = l2.ReadBack(l2.Start() + slot * sb, 0);
        const int64_t y = RoundHalfEven(static_cast<long double>(a) * fbGain) +
                          RoundHalfEven(static_cast<long double>(x) * dryGain) +
                          RoundHalfEven(static_cast<long double>(b) * wetGain);
        uint8_t* at = o.Start() + (n - 1) * sb;
        o.Store(at, y);
        const int16_t stored = o.ReadBack(at, 0);
        l1.Store(l1.Start() + w * sb, stored);
        // The input goes into its line as read, -32768 included: only outputs saturate.
        uint8_t* inAt = l2.Start() + w * sb;
        if (wide) {
            inAt[0] = static_cast<uint8_t>(static_cast<uint16_t>(x));
            inAt[1] = static_cast<uint8_t>(static_cast<uint16_t>(x) >> 8);
        } else {
            inAt[0] = static_cast<uint8_t>(x + 128);
        }
        w = (w + 1) % L;
        r = (r + 1) % L;
    }
    return out;
}

} // namespace ref
