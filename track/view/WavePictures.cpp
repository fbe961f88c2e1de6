#include "track/view/WavePictures.h"

#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>

namespace {

constexpr QImage::Format kFormat = QImage::Format_RGB32;

// Picture files are PNG whatever their name says; reading by content also accepts one saved
// in another lossless format.
QImage ReadPicture(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) return {};
    return image.convertToFormat(kFormat);
}

void PaintColumn(QImage& image, int x, int yFrom, int yTo, QColor background, QColor wave) {
    const int height = image.height();
    auto* const column = reinterpret_cast<QRgb*>(image.bits()) + x;
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    const QRgb back = background.rgb();
    for (int y = 0; y < height; ++y)
        column[y * stride] = back;
    const int top = std::max(0, std::min(yFrom, yTo));
    const int bottom = std::min(height - 1, std::max(yFrom, yTo));
    const QRgb front = wave.rgb();
    for (int y = top; y <= bottom; ++y)
        column[y * stride] = front;
}

} // namespace

void TWavePictures::Begin(QSize size, QColor background) {
    std::lock_guard lock(mutex_);
    if (size.isEmpty()) {
        clean_ = QImage();
        screen_ = QImage();
    } else {
        screen_ = QImage(size, kFormat);
        screen_.fill(background);
        clean_ = screen_.copy();
    }
    computing_ = true;
}

bool TWavePictures::Load(const QString& path) {
    QImage image = ReadPicture(path); // outside the lock: a file read may take a while
    if (image.isNull()) return false;
    std::lock_guard lock(mutex_);
    clean_ = image;
    screen_ = image.copy();
    computing_ = false;
    return true;
}

bool TWavePictures::DrawStandBy(const QString& path) {
    const QImage image = ReadPicture(path);
    if (image.isNull()) return false;
    std::lock_guard lock(mutex_);
    if (screen_.isNull()) return false;
    QPainter painter(&screen_);
    painter.drawImage(screen_.rect(), image);
    return true;
}

bool TWavePictures::DrawColumn(int x, int yFrom, int yTo, QColor background, QColor wave) {
    std::lock_guard lock(mutex_);
    if (x < 0 || x >= screen_.width()) return false;
    PaintColumn(screen_, x, yFrom, yTo, background, wave);
    return true;
}

bool TWavePictures::Commit() {
    std::lock_guard lock(mutex_);
    computing_ = false;
    if (screen_.isNull()) return false;
    clean_ = screen_.copy();
    return true;
}

bool TWavePictures::Save(const QString& path) const {
    const QImage image = Screen();
    if (image.isNull()) return false;
    QImageWriter writer(path, "png");
    return writer.write(image);
}

bool TWavePictures::SaveEmpty(const QString& path, QSize size, QColor background) {
    if (size.isEmpty()) return false;
    QImage image(size, kFormat);
    image.fill(background);
    QImageWriter writer(path, "png");
    return writer.write(image);
}

void TWavePictures::OverlayColumn(QSize size, int x, int yFrom, int yTo, QColor background,
                                  QColor wave) {
    std::lock_guard lock(mutex_);
    if (size.isEmpty()) return;
    if (overlay_.size() != size) {
        // A resize during the take: the columns drawn so far are kept, stretched.
        QImage resized(size, QImage::Format_ARGB32);
        resized.fill(Qt::transparent);
        if (!overlay_.isNull()) {
            QPainter painter(&resized);
            painter.drawImage(resized.rect(), overlay_);
        }
        overlay_ = resized;
    }
    if (x < 0 || x >= overlay_.width()) return;
    PaintColumn(overlay_, x, yFrom, yTo, background, wave);
}

void TWavePictures::ClearOverlay() {
    std::lock_guard lock(mutex_);
    overlay_ = QImage();
}

bool TWavePictures::HasOverlay() const {
    std::lock_guard lock(mutex_);
    return !overlay_.isNull();
}

bool TWavePictures::PaintOn(QPainter& painter, const QRect& target) {
    std::lock_guard lock(mutex_);
    if (clean_.isNull() || screen_.isNull() || target.isEmpty()) return false;
    // Outside a computation the screen picture is always the clean one at some size.
    if (!computing_ && screen_.size() != target.size())
        screen_ = clean_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    painter.drawImage(target, screen_);
    if (!overlay_.isNull()) painter.drawImage(target, overlay_);
    return true;
}

QImage TWavePictures::Clean() const {
    std::lock_guard lock(mutex_);
    return clean_.copy();
}

QImage TWavePictures::Screen() const {
    std::lock_guard lock(mutex_);
    return screen_.copy();
}
