// The waveform picture of a track, computed on its worker from the working file and handed to
// the view column by column, or taken from the picture file that lies beside the working file
// when that is up to date.
#pragma once

#include <cstdint>
#include <string>

class TVelTrack;
class TTrackView;

// Worker: the picture of data [from, to) (to = -1: the end). The picture file, when not older
// than the working file, is loaded instead. Otherwise the previous undo entry's picture stands
// in (stretched) while the columns are computed, one block read per column. True only when
// the columns of the whole range were read and drawn without a cancellation: only such a
// picture may be saved and taken as up to date later.
bool PaintWave(TVelTrack& track, TTrackView& view, int32_t from, int32_t to);

// Whether `picture` exists and is not older than `workingFile`.
bool PictureUpToDate(const std::string& picture, const std::string& workingFile);
