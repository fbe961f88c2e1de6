#include "effects/DelayKernel.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "effects/KernelMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Nearest, halves to even, of a double: one cvtsd2si under the default MXCSR mode.
inline int64_t RoundD(double v) {
#if defined(__SSE2__)
    return _mm_cvtsd_si64(_mm_set_sd(v));
#else
    return std::llrint(v);
#endif
}

} // namespace

TDelayKernel::TDelayKernel(int32_t totalDelay, int32_t feedback, int32_t dry, int32_t wet,
                           int32_t type, int32_t modFrequency, int32_t modulatedDelay,
                           const WAVEFORMATEX& format)
    : wide_(Is16Bit(format)), sinusoidal_(type == 1), dryGain_(PercentGain(dry)),
      wetGain_(PercentGain(wet)) {
    const long double fs = format.nSamplesPerSec;
    const long double ch = format.nChannels;
    const long double pi = 3.14159265358979323846264338327950288L;
    fbGain_ = static_cast<float>(static_cast<long double>(feedback) * wetGain_ / 100.0L);
    d_ = RoundL(static_cast<long double>(totalDelay) / 10000.0L * fs) * format.nChannels;
    // A negative delay cannot be realised; it degrades to the shortest line.
    if (d_ < 0) d_ = 0;
    l_ = d_ + 1;
    a_ = (static_cast<int64_t>(
              std::trunc(static_cast<long double>(modulatedDelay) / 10000.0L * fs)) *
          format.nChannels) /
         2;
    centre_ = l_ - a_;
    if (fs > 0 && ch > 0)
        omega_ = static_cast<float>(static_cast<long double>(modFrequency) / 10.0L * 2.0L * pi /
                                    fs / ch);
    try {
        output_.assign(static_cast<size_t>(l_), 0);
        input_.assign(static_cast<size_t>(l_), 0);
        ready_ = true;
    } catch (const std::exception&) { // bad_alloc, or length_error for absurd rates
        output_ = {};
        input_ = {};
    }
}

int32_t TDelayKernel::PrerollBytes(int32_t selStart) const {
    if (selStart <= 0) return 0;
    const int64_t lineBytes = l_ * (wide_ ? 2 : 1);
    return static_cast<int32_t>(std::min<int64_t>(selStart, lineBytes));
}

void TDelayKernel::Prime(const uint8_t* preroll, int32_t bytes) {
    if (!ready_ || bytes <= 0) return;
    const int64_t sb = wide_ ? 2 : 1;
    const int64_t lineBytes = l_ * sb;
    const int64_t used = std::min<int64_t>(bytes, lineBytes);
    // The lines seen as bytes in the track's format: silent, ending with the last `used`
    // preroll bytes. An odd count in a 16-bit track leaves the first primed sample half
    // silent, as the bytes fall.
    const int64_t skip = lineBytes - used; // leading silent bytes
    const uint8_t* tail = preroll + (bytes - used);
    const auto byteAt = [&](int64_t k) -> uint8_t {
        return k < skip ? (wide_ ? 0 : 128) : tail[k - skip];
    };
    for (int64_t i = skip / sb; i < l_; ++i) {
        const int16_t v = wide_ ? static_cast<int16_t>(static_cast<uint16_t>(
                                      byteAt(2 * i) | (byteAt(2 * i + 1) << 8)))
                                : static_cast<int16_t>(byteAt(i) - 128);
        output_[i] = v;
        input_[i] = v;
    }
}

int64_t TDelayKernel::SweepAt(int64_t n) const {
    if (a_ == 0) return centre_;
    const long double phase = static_cast<long double>(n - 1) * omega_;
    // The double sine decides unless the product lies so near a half that the error of the
    // double path (argument, sine and product) could tip the rounding; then the extended
    // sine decides, exactly as the plain formula does.
    const long double amplitude = static_cast<long double>(a_);
    const double s = std::sin(static_cast<double>(phase));
    const double v = static_cast<double>(a_) * s;
    const double margin = std::fabs(static_cast<double>(a_)) *
                              (std::fabs(static_cast<double>(phase)) * 0x1p-50 + 0x1p-48) +
                          0x1p-40;
    const double frac = v - std::floor(v);
    if (std::fabs(frac - 0.5) > margin) return centre_ + RoundD(v);
    return centre_ + RoundL(amplitude * std::sin(phase));
}

template <bool Wide> void TDelayKernel::RunFixed(const uint8_t* in, uint8_t* out, int32_t count) {
    using Io = TSampleIo<Wide>;
    const double dry = dryGain_, wet = wetGain_, fb = fbGain_;
    int16_t* const line1 = output_.data();
    int16_t* const line2 = input_.data();
    int64_t w = w_;
    int32_t i = 0;
    while (i < count) {
        // A stretch in which neither the write slot w nor the read slot w + 1 wraps.
        const int64_t r = w + 1 == l_ ? 0 : w + 1;
        const int64_t run = std::min<int64_t>({count - i, l_ - w, r == 0 ? 1 : l_ - r});
        for (int64_t s = 0; s < run; ++s, ++i) {
            const int32_t x = Io::Load(in + i * Io::kBytes);
            // The products of a 16-bit value and a float are exact in double, so the
            // rounding of each equals the extended-precision one.
            const int64_t y =
                RoundD(line1[r + s] * fb) + RoundD(x * dry) + RoundD(line2[r + s] * wet);
            const int32_t stored = Io::Saturate(y);
            Io::Store(out + i * Io::kBytes, stored);
            line1[w + s] = static_cast<int16_t>(stored);
            line2[w + s] = static_cast<int16_t>(x);
        }
        w += run;
        if (w == l_) w = 0;
    }
    w_ = w;
}

template <bool Wide> void TDelayKernel::RunSwept(const uint8_t* in, uint8_t* out, int32_t count) {
    using Io = TSampleIo<Wide>;
    const double dry = dryGain_, wet = wetGain_, fb = fbGain_;
    int16_t* const line1 = output_.data();
    int16_t* const line2 = input_.data();
    for (int32_t i = 0; i < count; ++i) {
        const int64_t m = SweepAt(n_);
        int64_t slot = w_ - m;
        if (slot < 0) slot += l_;
        if (slot < 0 || slot >= l_) slot = ((slot % l_) + l_) % l_;
        const int32_t x = Io::Load(in + i * Io::kBytes);
        const int64_t y = RoundD(line1[slot] * fb) + RoundD(x * dry) + RoundD(line2[slot] * wet);
        const int32_t stored = Io::Saturate(y);
        Io::Store(out + i * Io::kBytes, stored);
        line1[w_] = static_cast<int16_t>(stored);
        line2[w_] = static_cast<int16_t>(x);
        if (++w_ == l_) w_ = 0;
        ++n_;
    }
}

void TDelayKernel::Process(const uint8_t* in, uint8_t* out, int32_t bytes) {
    if (!ready_ || bytes <= 0) return;
    const int32_t count = wide_ ? bytes / 2 : bytes;
    if (wide_ && (bytes & 1)) out[bytes - 1] = in[bytes - 1];
    if (sinusoidal_) {
        if (wide_)
            RunSwept<true>(in, out, count);
        else
            RunSwept<false>(in, out, count);
    } else {
        if (wide_)
            RunFixed<true>(in, out, count);
        else
            RunFixed<false>(in, out, count);
        n_ += count;
    }
}
