// The two pictures of a track's waveform and the recording overlay, shared by the track's
// worker, which draws them, and the surface, which shows them.
//
// The clean picture is the waveform as last computed; the screen picture is what the surface
// shows. While the worker computes a picture (from Begin until Commit) the surface shows the
// screen picture as the columns arrive; otherwise it shows the clean picture stretched to its
// size. The overlay holds the columns drawn while recording, shown over the picture until
// cleared, so that a repaint does not wipe them.
//
// Threads: every operation from any thread; one mutex guards all three pictures. QImage only
// (never a QPixmap, which belongs to the user-interface thread).
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <mutex>

class QPainter;
class QRect;

class TWavePictures {
  public:
    // Worker: both pictures become `size` filled with `background`; the screen picture is shown
    // as it is drawn until Commit.
    void Begin(QSize size, QColor background);
    // Worker: both pictures from a picture file; false (pictures unchanged) when it cannot be
    // read. Ends a Begin.
    bool Load(const QString& path);
    // Worker: a picture file stretched into the screen picture, shown while the new picture is
    // computed; false when it cannot be read.
    bool DrawStandBy(const QString& path);
    // Worker: column x of the screen picture: `background` over the full height, then `wave`
    // from row yFrom to row yTo (either order; rows off the picture are cut). False when x is
    // outside the picture.
    bool DrawColumn(int x, int yFrom, int yTo, QColor background, QColor wave);
    // Worker: the screen picture becomes the clean picture; false when there is none.
    bool Commit();
    // Worker: the screen picture as a lossless PNG, whatever the name's extension; false when
    // it cannot be written.
    bool Save(const QString& path) const;
    // User-interface thread (a new track): a picture of `size` in `background` saved as `path`.
    static bool SaveEmpty(const QString& path, QSize size, QColor background);

    // Worker (recording): column x of the overlay, drawn as DrawColumn draws it, at the
    // overlay's size, which is `size`.
    void OverlayColumn(QSize size, int x, int yFrom, int yTo, QColor background, QColor wave);
    void ClearOverlay();
    bool HasOverlay() const;

    // User-interface thread (paint): nothing when either picture is empty or `target` is;
    // else the picture (stretched from the clean one unless a computation is showing its
    // columns) and the overlay over it. Answers whether anything was drawn.
    bool PaintOn(QPainter& painter, const QRect& target);

    // Copies for tests and screenshots.
    QImage Clean() const;
    QImage Screen() const;

  private:
    mutable std::mutex mutex_;
    QImage clean_;
    QImage screen_;
    QImage overlay_;
    bool computing_ = false;
};
