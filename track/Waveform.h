// The arithmetic of the waveform view, apart from its widgets: how many bytes a column reads
// and which samples it examines, the two y values of a column, the mapping between positions
// and columns, the nudge buttons' steps and limits, which position controls are enabled, the
// mouse gesture on the surface and where the markers go. Pure functions over plain facts and
// one small gesture object; any thread (the gesture: the user-interface thread). No Qt.
#pragma once

#include <cstdint>

#include "track/TrackInterfaces.h"

// ---- the drawing step ----

struct TDrawingStep {
    int32_t samplesPerColumn = 0; // samples examined per column, at most 256
    int32_t stride = 1;           // [samples] between examined samples, on average
    int32_t bytesPerColumn = 0;   // one column's block read
};

// Channels count as separate samples. A width below 1 gives an empty step.
TDrawingStep DrawingStep(int width, int32_t dataLength, bool is16Bit);

// ---- column values ----

struct TColumnAverages {
    int32_t positive = 0; // mean of the positive samples examined (0 when none)
    int32_t negative = 0; // mean of the negative samples examined (0 when none)
};

// Examines up to `count` samples of the block, the walker advancing alternately stride - 1 and
// stride + 1 samples (always 1 below stride 2); stops at the block's end.
TColumnAverages ColumnAverages(const uint8_t* block, int32_t bytes, bool is16Bit, int32_t stride,
                               int32_t count);

struct TColumnValues {
    int yTop = 0;    // from the positive average
    int yBottom = 0; // from the negative average
};

// half - round(average / full scale * half) + 1 for both averages, half = height / 2, full
// scale 32 (8-bit) or 8000 (16-bit); round is to the nearest, halves to the even neighbour.
// Values beyond full scale run off the surface.
TColumnValues ColumnValues(const TColumnAverages& averages, bool is16Bit, int height);

// ---- the take's columns while it records ----

// The recording memory read as a ring: the take's byte t (0 at the record start) lies at
// ring[t % ringBytes]. Only the take's bytes [heldFrom, heldTo) may be read: recorded, and not
// yet due to be overwritten by a later fill. From take byte `from` the walker examines up to
// `count` samples with ColumnAverages' advance, passing over the samples before heldFrom and
// stopping at heldTo. A sample may straddle the ring's end.
TColumnAverages RingColumnAverages(const uint8_t* ring, int32_t ringBytes, int64_t from,
                                   int64_t heldFrom, int64_t heldTo, bool is16Bit, int32_t stride,
                                   int32_t count);

// The take's columns one after another: each starts one drawing step after the last, as the
// picture's block reads do when the take is read again; a column whose start is no longer held
// starts at the first whole frame that is. No allocation. The take's worker.
class TTakeColumnWalker {
  public:
    TTakeColumnWalker(const TDrawingStep& step, bool is16Bit, int32_t frameBytes);
    // The next column's averages over the ring (see RingColumnAverages).
    TColumnAverages Next(const uint8_t* ring, int32_t ringBytes, int64_t heldFrom, int64_t heldTo);
    // The next column's first take byte, before any catching up with heldFrom.
    int64_t Cursor() const { return cursor_; }

  private:
    TDrawingStep step_;
    bool is16Bit_;
    int32_t frameBytes_;
    int64_t cursor_ = 0;
};

// The live display's wait [ms]: one drawing step's worth of audio to the nearest millisecond,
// at most 100, and at least 10: a shorter wait would wake the worker more often than a screen
// shows a new frame, for no column more.
uint32_t TakeRedrawWaitMs(int32_t bytesPerColumn, uint32_t avgBytesPerSec);

// ---- positions and columns (positions include the start offset) ----

// trunc((position - startOffset) / dataLength * (width - 2)); 0 when dataLength is 0.
int32_t PositionToColumn(int32_t position, int32_t startOffset, int32_t dataLength, int width);
// trunc(column / (width - 2) * dataLength) + startOffset, lowered by one when odd and not
// negative.
int32_t ColumnToPosition(int32_t column, int32_t startOffset, int32_t dataLength, int width);

// ---- the track's positions as the view changes them ----

struct TViewPositions {
    int32_t playPosition = 0; // [bytes, with the start offset]
    int32_t selStart = 0;     // [bytes, in the data]
    int32_t selEnd = 0;       // [bytes, in the data]
    bool hasSelection = false;
    // While a take records, the selection start marker serves as the recording marker and
    // stands here instead (TVelTrack::RecordingMarker); -1 otherwise. [bytes, with the start
    // offset]
    int32_t recordingMarker = -1;
};

// ---- nudge buttons ----

enum class TNudgeButton {
    StartRewind,
    StartForward,
    PlayRewind,
    PlayForward,
    EndRewind,
    EndForward
};

// The step of tick `tick` (1, 2, ...): (tick / 10) * 100 + 2 bytes.
int32_t NudgeStep(int tick);
// Moves the button's position by the tick's step within its limit.
void ApplyNudge(TNudgeButton button, int tick, int32_t startOffset, int32_t dataLength,
                TViewPositions& positions);

// ---- the position controls ----

struct TPositionFacts {
    TTrackState state = tsEmpty;
    bool hasSelection = false;
    int32_t selStart = 0;
    int32_t selEnd = 0;
    int32_t playPosition = 0;
    int32_t startOffset = 0;
    int32_t dataLength = 0;
};

struct TPositionControls {
    bool startRewind = false; // FSRewindBtn
    bool startTime = false;   // FSTime
    bool startForward = false;
    bool playRewind = false; // FPRewindBtn
    bool playTime = false;   // the play-time box
    bool playForward = false;
    bool endRewind = false; // FERewindBtn
    bool endTime = false;   // FETime
    bool endForward = false;
    bool playTimeAsText = true; // the play-time box shows plain text, its edit field hidden
};

TPositionControls PositionControls(const TPositionFacts& facts);

// ---- the mouse on the surface (user-interface thread) ----

struct TMouseFacts {
    TTrackState state = tsEmpty;
    bool effectsDialogOpen = false;
    int width = 0; // surface width
    int32_t startOffset = 0;
    int32_t dataLength = 0;
};

// What the view does after a mouse event.
struct TMouseOutcome {
    bool redrawMarkers = false;
    bool cueNow = false; // cue the track at the play position, then update the position controls
};

class TWaveMouse {
  public:
    // `column` is the pointer's x on the surface.
    TMouseOutcome Press(bool leftButton, int column, const TMouseFacts& facts,
                        TViewPositions& positions);
    TMouseOutcome Move(int column, const TMouseFacts& facts, TViewPositions& positions);
    TMouseOutcome Release(bool leftButton, const TMouseFacts& facts);
    bool Armed() const { return armed_; }

  private:
    bool pressed_ = false; // the left button went down in Ready
    bool armed_ = false;
};

// ---- markers (drawn on the surface only) ----

struct TMarkerRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = -1; // -1: the full height
    bool visible = false;
};

struct TMarkerLayout {
    TMarkerRect play;       // 2 px, LineColor
    TMarkerRect selStart;   // 1 px, SelectedColor
    TMarkerRect selEnd;     // 1 px, SelectedColor
    TMarkerRect topBand;    // 2 px high, SelectedColor
    TMarkerRect bottomBand; // 2 px high, SelectedColor
    TMarkerRect workBar;    // 1 px, WorkColor
};

// `workBarColumn` -1: no work bar. A recording marker is shown as the start marker with or
// without a selection; the bands then run from it to the end marker.
TMarkerLayout MarkerLayout(const TViewPositions& positions, int32_t startOffset, int32_t dataLength,
                           int width, int height, int workBarColumn);

// The work bar's column for a block read ending at `dataPosition` of `total` bytes: the column
// just before that position, never below 0.
int WorkBarColumn(int32_t dataPosition, int32_t total, int width);
