// Peak level meters: the measurement of sample blocks, the lock-free post and take, and the
// bar, hold and clip rules.
#include "ui/core/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kFullScale = 32768;
constexpr uint32_t kClipBit = 1u << 16;

std::atomic<bool> metering{true};

int16_t Sample16(uint8_t low, uint8_t high) {
    return static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
}

TPeak PeakOf16(int32_t least, int32_t most) {
    const auto magnitude = static_cast<uint32_t>(std::max(most, -least));
    return {magnitude, most == 32767 || least == -32768};
}

TPeak PeakOf8(int32_t least, int32_t most) {
    const auto magnitude = static_cast<uint32_t>(std::max(most - 128, 128 - least)) * 256;
    return {magnitude, most == 255 || least == 0};
}

} // namespace

TPeak Louder(TPeak a, TPeak b) {
    return {std::max(a.magnitude, b.magnitude), a.clipped || b.clipped};
}

TPeak ScaledPeak(TPeak peak, float gain) {
    const double scaled = std::max(static_cast<double>(peak.magnitude) * gain, 0.0);
    const auto magnitude = static_cast<uint32_t>(
        std::min<double>(std::lround(scaled), static_cast<double>(kFullScale)));
    // A full-scale sample stays one when nothing lowers it; a louder stage saturates what
    // it lifts to full scale.
    return {magnitude, (peak.clipped && gain >= 1.0f) || scaled >= 32767.0};
}

uint32_t PackPeak(TPeak peak) {
    return std::min(peak.magnitude, kFullScale) | (peak.clipped ? kClipBit : 0u);
}

TPeak UnpackPeak(uint32_t packed) {
    return {packed & (kClipBit - 1), (packed & kClipBit) != 0};
}

TPeak BlockPeak(const uint8_t* data, int32_t bytes, bool is16Bit) {
    if (!data || bytes <= 0) return {};
    if (is16Bit) {
        if (bytes < 2) return {};
        int32_t least = 0, most = 0;
        for (int32_t i = 0; i + 1 < bytes; i += 2) {
            const int32_t v = Sample16(data[i], data[i + 1]);
            least = std::min(least, v);
            most = std::max(most, v);
        }
        return PeakOf16(least, most);
    }
    int32_t least = 128, most = 128;
    for (int32_t i = 0; i < bytes; ++i) {
        least = std::min<int32_t>(least, data[i]);
        most = std::max<int32_t>(most, data[i]);
    }
    return PeakOf8(least, most);
}

TPeak RingPeak(const uint8_t* ring, int32_t ringBytes, int64_t from, int64_t to, bool is16Bit) {
    if (!ring || ringBytes <= 0 || from < 0 || to <= from) return {};
    const int64_t sampleBytes = is16Bit ? 2 : 1;
    if (is16Bit) {
        int32_t least = 0, most = 0;
        for (int64_t t = from; t + sampleBytes <= to; t += sampleBytes) {
            const int32_t v = Sample16(ring[t % ringBytes], ring[(t + 1) % ringBytes]);
            least = std::min(least, v);
            most = std::max(most, v);
        }
        return PeakOf16(least, most);
    }
    int32_t least = 128, most = 128;
    for (int64_t t = from; t < to; ++t) {
        least = std::min<int32_t>(least, ring[t % ringBytes]);
        most = std::max<int32_t>(most, ring[t % ringBytes]);
    }
    return PeakOf8(least, most);
}

bool LevelMetering() {
    return metering.load(std::memory_order_relaxed);
}

void SetLevelMetering(bool on) {
    metering.store(on, std::memory_order_relaxed);
}

void TLevelMeter::Post(TPeak peak) {
    uint32_t old = packed_.load(std::memory_order_relaxed);
    for (;;) {
        const uint32_t next = PackPeak(Louder(UnpackPeak(old), peak));
        if (next == old || packed_.compare_exchange_weak(old, next, std::memory_order_relaxed))
            return;
    }
}

TPeak TLevelMeter::Take() {
    return UnpackPeak(packed_.exchange(0, std::memory_order_relaxed));
}

float TMeterBallistics::PeakDb(uint32_t magnitude) {
    if (magnitude == 0) return kFloorDb;
    const float db = 20.0f * std::log10(static_cast<float>(magnitude) / kFullScale);
    return std::max(db, kFloorDb);
}

void TMeterBallistics::Tick(TPeak peak, int elapsedMs) {
    elapsedMs = std::max(elapsedMs, 0);
    const float fall = kFallDbPerSecond * static_cast<float>(elapsedMs) / 1000.0f;
    const float db = PeakDb(peak.magnitude);
    level_ = std::max({db, level_ - fall, kFloorDb});
    if (db >= hold_) {
        hold_ = db;
        holdAgeMs_ = 0;
    } else {
        holdAgeMs_ = std::min(holdAgeMs_ + elapsedMs, kHoldMs + 1);
        if (holdAgeMs_ > kHoldMs) hold_ = std::max(level_, hold_ - fall);
    }
    if (peak.clipped) clipped_ = true;
}

void TMeterBallistics::Clear() {
    *this = TMeterBallistics{};
}
