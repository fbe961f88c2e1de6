// The track's side of its waveform view: the work bar of its block reads.
#include "track/VelTrack.h"
#include "track/Waveform.h"

void TVelTrack::WorkBarAt(int32_t dataPosition) {
    view_.WorkBarAt(dataPosition);
    view_.ShowWorkBar(::WorkBarColumn(dataPosition, DataLength, view_.Width()));
}

void TVelTrack::WorkBarDone() {
    view_.WorkBarDone();
    view_.ShowWorkBar(-1);
    view_.RedrawMarkers();
}
