#include "track/view/WaveSurface.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

#include "track/view/WavePictures.h"

TWaveSurface::TWaveSurface(TWavePictures& pictures, QWidget* parent)
    : QWidget(parent), pictures_(pictures) {
    setObjectName(QStringLiteral("WaveSurface"));
    setFocusPolicy(Qt::StrongFocus); // the track window's keys act while the waveform has it
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(16, 16);
}

void TWaveSurface::SetMarks(std::vector<TSurfaceMark> marks) {
    marks_ = std::move(marks);
    update();
}

void TWaveSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!pictures_.PaintOn(painter, rect())) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    for (const TSurfaceMark& mark : marks_)
        painter.fillRect(mark.rect, mark.color);
}

void TWaveSurface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit Resized(width());
}

void TWaveSurface::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    emit LeftDown(qRound(event->position().x()));
}

void TWaveSurface::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
    emit LeftMove(qRound(event->position().x()));
}

void TWaveSurface::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    emit LeftUp(qRound(event->position().x()));
}

void TWaveSurface::contextMenuEvent(QContextMenuEvent* event) {
    emit MenuRequested(event->globalPos());
}
