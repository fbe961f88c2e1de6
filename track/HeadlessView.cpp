#include "track/HeadlessView.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/MmioFile.h"
#include "platform/TempFiles.h"
#include "track/VelTrack.h"

bool THeadlessTrackView::PaintWave(TVelTrack& track, int32_t, int32_t) {
    if (!track.Cancelled()) return true;
    track.AddMessage(kMsgAppend, " ... Action Cancelled");
    return false;
}

bool THeadlessTrackView::SavePicture(const std::string& path) {
    if (!writePictures_) return true;
    // An empty picture: the GUI finds it unreadable and draws the waveform afresh.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    return ::close(fd) == 0;
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
