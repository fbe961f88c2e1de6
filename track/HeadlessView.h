// Track view and clipboard for the command-line tool and the tests. The view draws into
// memory: one record per column, so that tests can read what was drawn. Its picture file is a
// small raw dump of those records, lying beside its state file exactly as the GUI's does.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "track/TrackInterfaces.h"

// One column as drawn: the wave from yTop to yBottom; drawn = false before any draw.
struct THeadlessColumn {
    int yTop = 0;
    int yBottom = 0;
    bool drawn = false;
};

// One column drawn into the recording overlay, as the take's worker drew it.
struct THeadlessOverlayColumn {
    int column = 0;
    int yTop = 0;
    int yBottom = 0;
};

// Threads: every call from any thread; one mutex guards the pictures.
class THeadlessTrackView : public TTrackView {
  public:
    // writePictures = false: a view without a surface (the command-line tool): nothing is
    // drawn and no picture file is written, so none lies beside the user's files.
    explicit THeadlessTrackView(bool writePictures = true, int width = 400, int height = 100)
        : writePictures_(writePictures), width_(width), height_(height) {}

    bool BeginPictures(int& width, int& height) override;
    bool LoadPictureFile(const std::string& path) override;
    bool DrawStandbyPicture(const std::string& path) override;
    bool DrawColumn(int column, int yTop, int yBottom) override;
    bool CommitPicture() override;
    bool SavePicture(const std::string& path) override;
    bool SaveEmptyPicture(const std::string& path) override;
    void DrawOverlayColumn(int column, int yTop, int yBottom) override;
    void ClearOverlay() override;
    void ShowWorkBar(int column) override;
    int Width() const override { return writePictures_ ? width_ : 0; }
    int Height() const override { return writePictures_ ? height_ : 0; }

    // Tests: copies of what was drawn, and counts of the picture's sources.
    std::vector<THeadlessColumn> Screen() const;
    std::vector<THeadlessColumn> Clean() const;
    std::vector<THeadlessColumn> Overlay() const;
    // Every DrawOverlayColumn call since the view was made, in order, and the ClearOverlay
    // calls: the overlay itself is gone once a take has ended.
    std::vector<THeadlessOverlayColumn> OverlayLog() const;
    int OverlayClears() const;
    int ColumnsDrawn() const;
    int PicturesLoaded() const;
    int StandbysDrawn() const;
    int WorkBarColumn() const;               // -1: not shown
    std::vector<int> WorkBarColumns() const; // every column the bar was shown at
    // Tests: make DrawColumn fail at `column` (-1: never).
    void FailColumn(int column);

  private:
    static bool ReadDump(const std::string& path, std::vector<THeadlessColumn>& columns);

    mutable std::mutex mutex_;
    const bool writePictures_;
    const int width_;
    const int height_;
    std::vector<THeadlessColumn> screen_;
    std::vector<THeadlessColumn> clean_;
    std::vector<THeadlessColumn> overlay_;
    std::vector<THeadlessOverlayColumn> overlayLog_;
    int overlayClears_ = 0;
    int columnsDrawn_ = 0;
    int picturesLoaded_ = 0;
    int standbys_ = 0;
    int workBar_ = -1;
    std::vector<int> workBars_;
    int failColumn_ = -1;
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
