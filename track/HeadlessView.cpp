#include "track/HeadlessView.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/MmioFile.h"
#include "platform/TempFiles.h"
#include "track/VelTrack.h"

namespace {

// The dump: "WSPIC", the column count, then yTop, yBottom, drawn per column (int32 each).
constexpr char kDumpTag[5] = {'W', 'S', 'P', 'I', 'C'};

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteDump(const std::string& path, const std::vector<THeadlessColumn>& columns) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<int32_t> words;
    words.reserve(1 + columns.size() * 3);
    words.push_back(static_cast<int32_t>(columns.size()));
    for (const THeadlessColumn& c : columns) {
        words.push_back(c.yTop);
        words.push_back(c.yBottom);
        words.push_back(c.drawn ? 1 : 0);
    }
    bool ok = WriteAll(fd, kDumpTag, sizeof kDumpTag) &&
              WriteAll(fd, words.data(), words.size() * sizeof(int32_t));
    return (::close(fd) == 0) && ok;
}

} // namespace

bool THeadlessTrackView::ReadDump(const std::string& path, std::vector<THeadlessColumn>& columns) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char tag[sizeof kDumpTag];
    int32_t count = 0;
    bool ok = std::fread(tag, 1, sizeof tag, f) == sizeof tag &&
              std::equal(tag, tag + sizeof tag, kDumpTag) &&
              std::fread(&count, sizeof count, 1, f) == 1 && count >= 0 && count <= 1 << 16;
    std::vector<THeadlessColumn> read;
    for (int32_t k = 0; ok && k < count; ++k) {
        int32_t w[3];
        ok = std::fread(w, sizeof(int32_t), 3, f) == 3;
        if (ok) read.push_back({w[0], w[1], w[2] != 0});
    }
    std::fclose(f);
    if (ok) columns = std::move(read);
    return ok;
}

bool THeadlessTrackView::BeginPictures(int& width, int& height) {
    if (!writePictures_) return false;
    std::lock_guard lock(mutex_);
    width = width_;
    height = height_;
    screen_.assign(static_cast<size_t>(width_), {});
    clean_.assign(static_cast<size_t>(width_), {});
    return true;
}

bool THeadlessTrackView::LoadPictureFile(const std::string& path) {
    std::vector<THeadlessColumn> columns;
    if (!ReadDump(path, columns) || columns.empty()) return false;
    std::lock_guard lock(mutex_);
    columns.resize(static_cast<size_t>(width_));
    screen_ = columns;
    clean_ = std::move(columns);
    ++picturesLoaded_;
    return true;
}

bool THeadlessTrackView::DrawStandbyPicture(const std::string& path) {
    std::vector<THeadlessColumn> columns;
    if (!ReadDump(path, columns) || columns.empty()) return false;
    std::lock_guard lock(mutex_);
    // Stretched: each screen column takes the stand-by column under it.
    for (int x = 0; x < width_; ++x)
        screen_[static_cast<size_t>(x)] =
            columns[static_cast<size_t>(static_cast<int64_t>(x) * columns.size() / width_)];
    ++standbys_;
    return true;
}

bool THeadlessTrackView::DrawColumn(int column, int yTop, int yBottom) {
    std::lock_guard lock(mutex_);
    if (column < 0 || column >= static_cast<int>(screen_.size()) || column == failColumn_)
        return false;
    screen_[static_cast<size_t>(column)] = {yTop, yBottom, true};
    ++columnsDrawn_;
    return true;
}

bool THeadlessTrackView::CommitPicture() {
    std::lock_guard lock(mutex_);
    if (screen_.empty()) return false;
    clean_ = screen_;
    return true;
}

bool THeadlessTrackView::SavePicture(const std::string& path) {
    if (!writePictures_) return true;
    std::vector<THeadlessColumn> columns;
    {
        std::lock_guard lock(mutex_);
        columns = screen_;
    }
    return WriteDump(path, columns);
}

bool THeadlessTrackView::SaveEmptyPicture(const std::string& path) {
    if (!writePictures_) return true;
    return WriteDump(path, std::vector<THeadlessColumn>(static_cast<size_t>(width_)));
}

void THeadlessTrackView::DrawOverlayColumn(int column, int yTop, int yBottom) {
    std::lock_guard lock(mutex_);
    overlayLog_.push_back({column, yTop, yBottom});
    if (column < 0 || column >= width_) return;
    if (overlay_.size() != static_cast<size_t>(width_)) overlay_.assign(width_, {});
    overlay_[static_cast<size_t>(column)] = {yTop, yBottom, true};
}

void THeadlessTrackView::ClearOverlay() {
    std::lock_guard lock(mutex_);
    overlay_.clear();
    ++overlayClears_;
}

void THeadlessTrackView::ShowWorkBar(int column) {
    std::lock_guard lock(mutex_);
    workBar_ = column;
    if (column >= 0) workBars_.push_back(column);
}

std::vector<THeadlessColumn> THeadlessTrackView::Screen() const {
    std::lock_guard lock(mutex_);
    return screen_;
}
std::vector<THeadlessColumn> THeadlessTrackView::Clean() const {
    std::lock_guard lock(mutex_);
    return clean_;
}
std::vector<THeadlessColumn> THeadlessTrackView::Overlay() const {
    std::lock_guard lock(mutex_);
    return overlay_;
}
std::vector<THeadlessOverlayColumn> THeadlessTrackView::OverlayLog() const {
    std::lock_guard lock(mutex_);
    return overlayLog_;
}
int THeadlessTrackView::OverlayClears() const {
    std::lock_guard lock(mutex_);
    return overlayClears_;
}
int THeadlessTrackView::ColumnsDrawn() const {
    std::lock_guard lock(mutex_);
    return columnsDrawn_;
}
int THeadlessTrackView::PicturesLoaded() const {
    std::lock_guard lock(mutex_);
    return picturesLoaded_;
}
int THeadlessTrackView::StandbysDrawn() const {
    std::lock_guard lock(mutex_);
    return standbys_;
}
int THeadlessTrackView::WorkBarColumn() const {
    std::lock_guard lock(mutex_);
    return workBar_;
}
std::vector<int> THeadlessTrackView::WorkBarColumns() const {
    std::lock_guard lock(mutex_);
    return workBars_;
}
void THeadlessTrackView::FailColumn(int column) {
    std::lock_guard lock(mutex_);
    failColumn_ = column;
}

bool TMemoryClipboard::HoldsWave() {
    std::lock_guard lock(mutex_);
    return wave_ != nullptr;
}

bool TMemoryClipboard::Open() {
    std::lock_guard lock(mutex_);
    if (unavailable_ || open_) return false;
    open_ = true;
    return true;
}

void TMemoryClipboard::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

bool TMemoryClipboard::SetWave(std::shared_ptr<TMemoryBlock> wave) {
    std::lock_guard lock(mutex_);
    wave_ = std::move(wave);
    return true;
}

std::shared_ptr<TMemoryBlock> TMemoryClipboard::GetWave() {
    std::lock_guard lock(mutex_);
    return wave_;
}
