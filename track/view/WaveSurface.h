// The drawing surface of a track's waveform: shows the shared pictures stretched to its size
// and draws the markers over them, on the surface only, so the pictures never hold a marker.
// It reports the left-button gestures and the context-menu request to its view. UI thread
// only; the worker reaches it through the view's queued update().
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

#include <vector>

class TWavePictures;

// One filled rectangle over the picture (a marker, a band, the work bar).
struct TSurfaceMark {
    QRect rect;
    QColor color;
};

class TWaveSurface : public QWidget {
    Q_OBJECT
  public:
    TWaveSurface(TWavePictures& pictures, QWidget* parent = nullptr);
    // Drawn in order over the picture at the next paint.
    void SetMarks(std::vector<TSurfaceMark> marks);
    const std::vector<TSurfaceMark>& Marks() const { return marks_; }

  signals:
    void LeftDown(int x);
    void LeftMove(int x);
    void LeftUp(int x);
    void MenuRequested(QPoint globalPosition);
    void Resized(int width);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    TWavePictures& pictures_;
    std::vector<TSurfaceMark> marks_;
};
