#include "track/Waveform.h"

#include <algorithm>
#include <cmath>

#include "audio/Rounding.h"
#include "audio/VelTrackUtils.h"

TDrawingStep DrawingStep(int width, int32_t dataLength, bool is16Bit) {
    TDrawingStep step;
    if (width < 1 || dataLength <= 0) return step;
    int32_t samples = dataLength / width;
    if (is16Bit) samples /= 2;
    int32_t stride = 1;
    while (samples > 256) {
        stride *= 2;
        samples /= 2;
    }
    step.samplesPerColumn = samples;
    step.stride = stride;
    step.bytesPerColumn = samples * stride * (is16Bit ? 2 : 1);
    return step;
}

namespace {

// One step of a column's walk: `load(index)` answers the sample `index` samples from the
// column's start.
struct TSampleAt {
    bool more = true; // false: no samples from here on, the walk ends
    bool held = true; // false: pass over this one (it counts as examined)
    int32_t value = 0;
};

template <class Load> TColumnAverages WalkColumn(int32_t stride, int32_t count, Load load) {
    int64_t positiveSum = 0, negativeSum = 0;
    int32_t positiveCount = 0, negativeCount = 0;
    int64_t index = 0;
    bool shortStep = true; // the first advance is stride - 1
    for (int32_t k = 0; k < count; ++k) {
        const TSampleAt s = load(index);
        if (!s.more) break;
        if (s.held && s.value > 0) {
            positiveSum += s.value;
            ++positiveCount;
        } else if (s.held && s.value < 0) {
            negativeSum += s.value;
            ++negativeCount;
        }
        if (stride < 2) {
            index += 1;
        } else {
            index += shortStep ? stride - 1 : stride + 1;
            shortStep = !shortStep;
        }
    }
    TColumnAverages a;
    if (positiveCount) a.positive = static_cast<int32_t>(positiveSum / positiveCount);
    if (negativeCount) a.negative = static_cast<int32_t>(negativeSum / negativeCount);
    return a;
}

} // namespace

TColumnAverages ColumnAverages(const uint8_t* block, int32_t bytes, bool is16Bit, int32_t stride,
                               int32_t count) {
    const int32_t sampleBytes = is16Bit ? 2 : 1;
    const int64_t samplesInBlock = bytes / sampleBytes;
    return WalkColumn(stride, count, [&](int64_t index) {
        if (index >= samplesInBlock) return TSampleAt{false, false, 0};
        const uint8_t* p = block + index * sampleBytes;
        return TSampleAt{true, true, is16Bit ? LoadSample16(p) : LoadSample8(p)};
    });
}

TColumnAverages RingColumnAverages(const uint8_t* ring, int32_t ringBytes, int64_t from,
                                   int64_t heldFrom, int64_t heldTo, bool is16Bit, int32_t stride,
                                   int32_t count) {
    if (!ring || ringBytes <= 0) return {};
    const int32_t sampleBytes = is16Bit ? 2 : 1;
    return WalkColumn(stride, count, [&](int64_t index) {
        const int64_t at = from + index * sampleBytes; // [take bytes]
        if (at + sampleBytes > heldTo) return TSampleAt{false, false, 0};
        if (at < heldFrom) return TSampleAt{true, false, 0};
        const uint8_t low = ring[at % ringBytes];
        if (!is16Bit) return TSampleAt{true, true, low - 128};
        const uint8_t high = ring[(at + 1) % ringBytes];
        return TSampleAt{true, true, static_cast<int16_t>(low | high << 8)};
    });
}

TTakeColumnWalker::TTakeColumnWalker(const TDrawingStep& step, bool is16Bit, int32_t frameBytes)
    : step_(step), is16Bit_(is16Bit), frameBytes_(std::max(frameBytes, 1)) {}

TColumnAverages TTakeColumnWalker::Next(const uint8_t* ring, int32_t ringBytes, int64_t heldFrom,
                                        int64_t heldTo) {
    // Behind what the ring still holds: catch up on a whole frame, so that the walker's
    // alternation keeps meeting the channels in the same order.
    const int64_t firstHeld =
        (std::max<int64_t>(heldFrom, 0) + frameBytes_ - 1) / frameBytes_ * frameBytes_;
    const int64_t start = std::max(cursor_, firstHeld);
    const TColumnAverages a = RingColumnAverages(ring, ringBytes, start, heldFrom, heldTo, is16Bit_,
                                                 step_.stride, step_.samplesPerColumn);
    cursor_ = start + step_.bytesPerColumn;
    return a;
}

uint32_t TakeRedrawWaitMs(int32_t bytesPerColumn, uint32_t avgBytesPerSec) {
    constexpr int64_t kMinMs = 10, kMaxMs = 100;
    const double rate = std::max<uint32_t>(avgBytesPerSec, 1);
    const int64_t ms = std::llround(std::max(bytesPerColumn, 0) * 1000.0 / rate);
    return static_cast<uint32_t>(std::clamp(ms, kMinMs, kMaxMs));
}

TColumnValues ColumnValues(const TColumnAverages& averages, bool is16Bit, int height) {
    const long double fullScale = is16Bit ? 8000.0L : 32.0L;
    const int half = height / 2;
    const auto y = [&](int32_t average) {
        return static_cast<int>(half - RoundHalfEven(average / fullScale * half) + 1);
    };
    return {y(averages.positive), y(averages.negative)};
}

int32_t PositionToColumn(int32_t position, int32_t startOffset, int32_t dataLength, int width) {
    if (dataLength == 0) return 0;
    const long double ratio = (static_cast<long double>(position) - startOffset) / dataLength;
    return static_cast<int32_t>(std::trunc(ratio * (width - 2)));
}

int32_t ColumnToPosition(int32_t column, int32_t startOffset, int32_t dataLength, int width) {
    if (width - 2 == 0) return startOffset;
    const long double ratio = static_cast<long double>(column) / (width - 2);
    int64_t position = static_cast<int64_t>(std::trunc(ratio * dataLength)) + startOffset;
    if (position >= 0 && position % 2 != 0) --position;
    return static_cast<int32_t>(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX));
}

int32_t NudgeStep(int tick) {
    return (tick / 10) * 100 + 2;
}

void ApplyNudge(TNudgeButton button, int tick, int32_t startOffset, int32_t dataLength,
                TViewPositions& p) {
    const int64_t step = NudgeStep(tick);
    const auto clamp = [](int64_t v, int64_t low, int64_t high) {
        return static_cast<int32_t>(std::max(low, std::min(v, high)));
    };
    switch (button) {
    case TNudgeButton::StartRewind:
        p.selStart = clamp(p.selStart - step, 0, p.selStart);
        break;
    case TNudgeButton::StartForward:
        p.selStart = clamp(p.selStart + step, p.selStart, p.selEnd);
        break;
    case TNudgeButton::EndRewind:
        p.selEnd = clamp(p.selEnd - step, p.selStart, p.selEnd);
        break;
    case TNudgeButton::EndForward:
        p.selEnd = clamp(p.selEnd + step, p.selEnd, dataLength);
        break;
    case TNudgeButton::PlayRewind:
        p.playPosition = clamp(p.playPosition - step, startOffset, p.playPosition);
        break;
    case TNudgeButton::PlayForward:
        p.playPosition = clamp(p.playPosition + step, p.playPosition,
                               static_cast<int64_t>(startOffset) + dataLength);
        break;
    }
}

TPositionControls PositionControls(const TPositionFacts& f) {
    TPositionControls c;
    if (f.state != tsReady) return c;
    c.playTimeAsText = false;
    if (f.hasSelection) {
        c.startRewind = f.selStart > 0;
        c.startForward = f.selStart < f.selEnd;
        c.endRewind = f.selStart < f.selEnd;
        c.endForward = f.selEnd < f.dataLength;
        c.startTime = true;
        c.endTime = true;
    }
    const int64_t end = static_cast<int64_t>(f.startOffset) + f.dataLength;
    c.playForward = f.playPosition < end;
    c.playRewind = f.playPosition > f.startOffset;
    c.playTime = true;
    return c;
}

TMouseOutcome TWaveMouse::Press(bool leftButton, int column, const TMouseFacts& f,
                                TViewPositions& p) {
    if (!leftButton || f.state != tsReady) return {};
    pressed_ = true;
    if (!p.hasSelection || f.effectsDialogOpen) {
        armed_ = true;
    } else {
        p.selStart = 0;
        p.selEnd = 0;
        p.hasSelection = false;
    }
    p.playPosition = ColumnToPosition(column, f.startOffset, f.dataLength, f.width);
    return {true, false};
}

TMouseOutcome TWaveMouse::Move(int column, const TMouseFacts& f, TViewPositions& p) {
    if (!pressed_ || f.state != tsReady || f.effectsDialogOpen) return {};
    const int32_t marker = PositionToColumn(p.playPosition, f.startOffset, f.dataLength, f.width);
    if (armed_ && column > marker - 5 && column < marker + 5) return {};
    armed_ = false;
    const int pointer = std::clamp(column, 0, std::max(0, f.width - 2));
    const int32_t from = p.playPosition - f.startOffset;
    const int32_t to =
        ColumnToPosition(pointer, f.startOffset, f.dataLength, f.width) - f.startOffset;
    p.selStart = std::min(from, to);
    p.selEnd = std::max(from, to);
    p.hasSelection = true;
    return {true, false};
}

TMouseOutcome TWaveMouse::Release(bool leftButton, const TMouseFacts& f) {
    if (!leftButton || !pressed_) return {};
    pressed_ = false;
    armed_ = false;
    if (f.state != tsReady) return {};
    return {false, true};
}

TMarkerLayout MarkerLayout(const TViewPositions& p, int32_t startOffset, int32_t dataLength,
                           int width, int height, int workBarColumn) {
    TMarkerLayout m;
    const auto column = [&](int32_t position) {
        return PositionToColumn(position, startOffset, dataLength, width);
    };
    if (dataLength != 0) m.play = {column(p.playPosition), 0, 2, -1, true};
    const bool recording = p.recordingMarker >= 0;
    if (p.hasSelection || recording) {
        const int start = recording ? column(p.recordingMarker) : column(p.selStart + startOffset);
        m.selStart = {start, 0, 1, -1, true};
        if (p.hasSelection) {
            const int end = column(p.selEnd + startOffset);
            m.selEnd = {end, 0, 1, -1, true};
            const int bandWidth = std::max(0, end - (start + 1));
            m.topBand = {start + 1, 0, bandWidth, 2, true};
            m.bottomBand = {start + 1, std::max(0, height - 2), bandWidth, 2, true};
        }
    }
    if (workBarColumn >= 0) m.workBar = {workBarColumn, 0, 1, -1, true};
    return m;
}

int WorkBarColumn(int32_t dataPosition, int32_t total, int width) {
    return std::max(0, PositionToColumn(dataPosition, 0, total, width) - 1);
}
