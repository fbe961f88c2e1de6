// Track view and clipboard for the command-line tool and the tests: nothing is drawn, but the
// picture files lie beside their state files exactly as the GUI's do.
#pragma once

#include <memory>
#include <mutex>

#include "track/TrackInterfaces.h"

class THeadlessTrackView : public TTrackView {
  public:
    // writePictures = false: no picture files at all (the command-line tool, which never
    // reopens a picture, leaves none beside the user's files).
    explicit THeadlessTrackView(bool writePictures = true) : writePictures_(writePictures) {}
    bool PaintWave(TVelTrack& track, int32_t from, int32_t to) override;
    bool SavePicture(const std::string& path) override;
    bool SaveEmptyPicture(const std::string& path) override { return SavePicture(path); }

  private:
    bool writePictures_;
};

// A clipboard private to this process.
class TMemoryClipboard : public TClipboardStore {
  public:
    bool HoldsWave() override;
    bool Open() override;
    void Close() override;
    bool SetWave(std::shared_ptr<TMemoryBlock> wave) override;
    std::shared_ptr<TMemoryBlock> GetWave() override;
    // Tests: make Open fail as a clipboard held by another program would.
    void SetUnavailable(bool on) { unavailable_ = on; }

  private:
    std::mutex mutex_;
    std::shared_ptr<TMemoryBlock> wave_;
    bool open_ = false;
    bool unavailable_ = false;
};
