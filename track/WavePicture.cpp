#include "track/WavePicture.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/TempFiles.h"
#include "track/VelTrack.h"
#include "track/Waveform.h"

namespace {

bool ModifiedAt(const std::string& path, timespec& when) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    when = st.st_mtim;
    return true;
}

// Block reads of the picture are no edit's: they show no work bar. Restored on every return.
class TQuietReads {
  public:
    explicit TQuietReads(TWaveIO& io) : io_(io) { io_.SetReadsShowWorkBar(false); }
    ~TQuietReads() {
        io_.SetReadsShowWorkBar(true);
        io_.ReleaseWorkBuffer();
    }
    TQuietReads(const TQuietReads&) = delete;
    TQuietReads& operator=(const TQuietReads&) = delete;

  private:
    TWaveIO& io_;
};

} // namespace

bool PictureUpToDate(const std::string& picture, const std::string& workingFile) {
    timespec pictureTime{}, fileTime{};
    if (!ModifiedAt(picture, pictureTime) || !ModifiedAt(workingFile, fileTime)) return false;
    if (pictureTime.tv_sec != fileTime.tv_sec) return pictureTime.tv_sec > fileTime.tv_sec;
    return pictureTime.tv_nsec >= fileTime.tv_nsec;
}

bool PaintWave(TVelTrack& track, TTrackView& view, int32_t from, int32_t to) {
    int width = 0, height = 0;
    if (!view.BeginPictures(width, height) || width < 3) {
        if (track.Cancelled()) track.AddMessage(kMsgAppend, " ... Action Cancelled");
        return false;
    }
    const std::string picture = PictureFileName(track.FileName);
    if (PictureUpToDate(picture, track.FileName) && view.LoadPictureFile(picture)) {
        view.RedrawMarkers();
        return false;
    }
    if (track.UndoFiles.size() >= 2)
        view.DrawStandbyPicture(PictureFileName(track.UndoFiles[track.UndoFiles.size() - 2]));

    WaveFile& file = track.WorkingFile();
    const int32_t length = file.dataLength;
    if (to == -1) to = length;
    if (from == to) return false;

    // Whole columns: from the first position of from's column to the first of the column
    // after to's, never past the data.
    const int32_t firstColumn = PositionToColumn(from, 0, length, width);
    const int32_t endColumn = PositionToColumn(to, 0, length, width) + 1;
    from = std::clamp(ColumnToPosition(firstColumn, 0, length, width), 0, length);
    to = std::clamp(ColumnToPosition(endColumn, 0, length, width), from, length);

    const bool is16 = Is16Bit(file.format);
    const TDrawingStep step = DrawingStep(width, length, is16);
    // Every column reads one drawing step, the last one what is left up to `to`. The step
    // divides by the width while positions map onto width - 2 columns, so that remainder is
    // longer than a step (a few steps on a long track): the last column spreads its samples
    // over all of it by the step's own rule, and the picture reaches the data's end.
    const int64_t beforeLast =
        static_cast<int64_t>(std::max(endColumn - firstColumn - 1, 0)) * step.bytesPerColumn;
    const auto lastBlock = static_cast<int32_t>(std::max<int64_t>(to - from - beforeLast, 0));
    TWaveIO& io = track.WaveIO();
    TQuietReads quiet(io);
    if (!io.AllocWorkBuffer(std::max({step.bytesPerColumn, lastBlock, 1}))) return false;
    if (io.SeekWaveData(file, from) < 0) {
        track.AddMessage(kMsgError, "MMIOSeek - bad wave data chunk.");
        return false;
    }
    bool whole = true;
    int32_t position = from;
    for (int32_t column = firstColumn; column < endColumn; ++column) {
        if (track.Cancelled()) {
            whole = false;
            break;
        }
        const bool last = column == endColumn - 1;
        const int32_t n = last ? to - position : std::min(step.bytesPerColumn, to - position);
        int32_t got = 0;
        if (n > 0 && !io.ReadWaveData(file, n, &got)) {
            whole = false;
            break;
        }
        position += got;
        const TDrawingStep walk = got > step.bytesPerColumn ? DrawingStep(1, got, is16) : step;
        const TColumnAverages averages =
            ColumnAverages(io.Buffer().data, got, is16, walk.stride, walk.samplesPerColumn);
        const TColumnValues y = ColumnValues(averages, is16, height);
        if (!view.DrawColumn(column, y.yTop, y.yBottom))
            track.AddMessage(kMsgStatus, "DrawXi(" + std::to_string(column) + ")");
    }
    if (track.Cancelled()) {
        whole = false;
        track.AddMessage(kMsgAppend, " ... Action Cancelled");
    }
    if (!view.CommitPicture())
        track.AddMessage(kMsgStatus,
                         "PaintIt(" + std::to_string(from) + "," + std::to_string(to) + ")");
    return whole;
}
