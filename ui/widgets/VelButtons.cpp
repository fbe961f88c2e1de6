#include "ui/widgets/VelButtons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "ui/widgets/Pictures.h"
#include "ui/widgets/VelColor.h"

namespace {

// The small font of the buttons' labels; scaled with the screen like every other font.
QFont SmallFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(6.5);
    return font;
}

QRect ToQRect(const TRect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

TSize ToTSize(QSize s) {
    return {s.width(), s.height()};
}

} // namespace

// --- TVelControl

TVelControl::TVelControl(QWidget* parent) : QWidget(parent) {}

void TVelControl::SetColor(int value) {
    if (value < 0) value = -1;
    if (value == color_) return;
    color_ = value;
    update();
}

void TVelControl::SetCoOptions(int options) {
    if (options == coOptions_) return;
    coOptions_ = options;
    update();
}

void TVelControl::PaintBackground(QPainter& painter) const {
    if (color_ < 0) return;
    painter.fillRect(rect().adjusted(2, 2, -2, -2), ColorFromValue(color_));
}

void TVelControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBackground(painter);
}

// --- TVELMouseControl

TVELMouseControl::TVELMouseControl(QWidget* parent) : TVelControl(parent) {}

void TVELMouseControl::SetMoOptions(int options) {
    moOptions_ = options;
    update();
}

bool TVELMouseControl::Active() const {
    if (!isEnabled()) return false;
    if ((moOptions_ & moAlwaysOutline) != 0) return true;
    static const QMetaMethod click = QMetaMethod::fromSignal(&TVELMouseControl::Click);
    return isSignalConnected(click);
}

void TVELMouseControl::PerformClick() {
    if (isEnabled()) emit Click();
}

bool TVELMouseControl::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Enter:
        frame_.Enter(Active());
        update();
        break;
    case QEvent::Leave:
        frame_.Leave();
        update();
        break;
    default:
        break;
    }
    return TVelControl::event(event);
}

void TVELMouseControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        TVelControl::mousePressEvent(event);
        return;
    }
    if (!frame_.Inside()) // a press without a seen Enter (e.g. synthesized in tests)
        frame_.Enter(Active());
    frame_.Press(Active());
    update();
}

void TVELMouseControl::mouseMoveEvent(QMouseEvent* event) {
    // While the button is held the mouse is grabbed: follow it out of and back into the
    // control, so the frame shows whether a release would click.
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != frame_.Inside()) {
        if (inside)
            frame_.Enter(Active());
        else
            frame_.Leave();
        update();
    }
}

void TVELMouseControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        TVelControl::mouseReleaseEvent(event);
        return;
    }
    const bool clicks = frame_.Release(rect().contains(event->position().toPoint()));
    update();
    if (clicks) emit Click();
}

void TVELMouseControl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && Active()) {
        keyHeld_ = true;
        return;
    }
    TVelControl::keyPressEvent(event);
}

void TVELMouseControl::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && keyHeld_) {
        keyHeld_ = false;
        if (isEnabled()) emit Click();
        return;
    }
    TVelControl::keyReleaseEvent(event);
}

void TVELMouseControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        keyHeld_ = false;
        if (!isEnabled())
            frame_.Reset();
        else if (frame_.Inside())
            frame_.Enter(Active());
        update();
    }
    TVelControl::changeEvent(event);
}

void TVELMouseControl::PaintFrame(QPainter& painter) const {
    const TFrameLook look = frame_.Look();
    if (look == TFrameLook::None) return;
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor topLeft = look == TFrameLook::Raised ? light : dark;
    const QColor bottomRight = look == TFrameLook::Raised ? dark : light;
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    painter.restore();
}

// --- TVelBmp

TVelBmp::TVelBmp(QWidget* parent) : TVELMouseControl(parent) {}

void TVelBmp::SetPicture(const QString& name) {
    if (name == picture_.name) return;
    picture_ = TPictureCache{};
    picture_.name = name;
    update();
}

const QImage& TVelBmp::PictureFor(TPictureCache& cache, int side) {
    const qreal ratio = devicePixelRatioF();
    if (cache.side != side || cache.ratio != ratio) {
        cache.side = side;
        cache.ratio = ratio;
        cache.colour = PictureImage(cache.name, QSize(side, side), ratio)
                           .convertToFormat(QImage::Format_ARGB32);
        cache.grey = QImage();
        cache.embossed = QImage();
    }
    switch (PictureModeFor(isEnabled(), MouseOver(), CoOptions())) {
    case TPictureMode::Colour:
        return cache.colour;
    case TPictureMode::Grey:
        if (cache.grey.isNull() && !cache.colour.isNull()) {
            cache.grey = cache.colour.copy();
            GreyPicture(reinterpret_cast<uint32_t*>(cache.grey.bits()),
                        static_cast<size_t>(cache.grey.width()) * cache.grey.height(),
                        palette().color(QPalette::Light).rgb(),
                        palette().color(QPalette::Dark).rgb());
        }
        return cache.grey;
    case TPictureMode::Embossed:
        if (cache.embossed.isNull() && !cache.colour.isNull()) {
            cache.embossed = cache.colour.copy();
            EmbossMask(reinterpret_cast<uint32_t*>(cache.embossed.bits()),
                       static_cast<size_t>(cache.embossed.width()) * cache.embossed.height());
        }
        return cache.embossed;
    }
    return cache.colour;
}

void TVelBmp::DrawPicture(QPainter& painter, const QImage& image, const QRect& target) const {
    if (image.isNull()) return;
    if (isEnabled()) {
        painter.drawImage(target, image);
        return;
    }
    // Embossed: the mask once in the highlight colour one pixel down and right, once in the
    // shadow colour in place.
    auto tinted = [&](const QColor& colour) {
        QImage out = image.copy();
        QPainter p(&out);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), colour);
        p.end();
        return out;
    };
    painter.drawImage(target.translated(1, 1), tinted(palette().color(QPalette::Light)));
    painter.drawImage(target, tinted(ShadowColor()));
}

// The platform's button shadow is a mid grey; the palette's Dark is lighter than that and
// all but vanishes on a silver panel, so it is taken a step darker.
QColor TVelBmp::ShadowColor() const {
    return palette().color(QPalette::Dark).darker(140);
}

void TVelBmp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBackground(painter);
    TPictureCache& shown = ShownPicture();
    if (!shown.Empty()) {
        const int side = std::min({width() - 4, height() - 4, PictureSide(bsBig)});
        if (side > 0) {
            const QImage& image = PictureFor(shown, side);
            DrawPicture(painter, image, ToQRect(CentredIn(ToTSize(size()), {side, side})));
        }
    }
    PaintFrame(painter);
}

// --- TVelBtnBmp

TVelBtnBmp::TVelBtnBmp(QWidget* parent) : TVelBmp(parent) {
    setFont(SmallFont(QApplication::font()));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

void TVelBtnBmp::SetCaption(const QString& caption) {
    caption_ = caption;
    const TCaptionParts parts = SplitCaption(caption.toStdString());
    label_ = QString::fromStdString(parts.label);
    hint_ = QString::fromStdString(parts.hint);
    const QString shown = HintShown(caption.toStdString()) ? hint_ : QString();
    setToolTip(shown);
    setStatusTip(shown);
    setAccessibleName(label_.isEmpty() ? hint_ : label_);
    setAccessibleDescription(shown);
    updateGeometry();
    update();
}

void TVelBtnBmp::SetBtnSize(TBtnSize size) {
    if (size == btnSize_) return;
    btnSize_ = size;
    if (size != bsNone) {
        const TSize fixed = ButtonSize(size);
        setFixedSize(fixed.width, fixed.height);
    }
    update();
}

QSize TVelBtnBmp::sizeHint() const {
    if (btnSize_ != bsNone) {
        const TSize fixed = ButtonSize(btnSize_);
        return QSize(fixed.width, fixed.height);
    }
    const TSize small = ButtonSize(bsSmall);
    return QSize(std::max(small.width, fontMetrics().horizontalAdvance(label_) + 8), small.height);
}

void TVelBtnBmp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TPictureCache& shown = ShownPicture();
    const bool hasPicture = !shown.Empty();
    const QSize textSize(fontMetrics().horizontalAdvance(label_), fontMetrics().height());
    const QColor textColor = isEnabled() ? palette().color(QPalette::ButtonText) : ShadowColor();

    if (btnSize_ == bsBig && !label_.isEmpty()) {
        const int side = std::min(PictureSide(bsBig), height() - textSize.height() - 6);
        const TBigButtonLayout layout =
            LayOutBigButton(ToTSize(size()), {side, side}, ToTSize(textSize));
        PaintBackground(painter);
        if (hasPicture && side > 0)
            DrawPicture(painter, PictureFor(shown, side), ToQRect(layout.picture));
        painter.setPen(textColor);
        painter.drawText(ToQRect(layout.label), Qt::AlignCenter | Qt::TextSingleLine, label_);
    } else {
        PaintBackground(painter);
        if (hasPicture) {
            const int side = std::min({PictureSide(btnSize_), width() - 4, height() - 4});
            if (side > 0)
                DrawPicture(painter, PictureFor(shown, side),
                            ToQRect(CentredIn(ToTSize(size()), {side, side})));
        } else if (!label_.isEmpty()) {
            painter.setPen(textColor);
            painter.drawText(ToQRect(CentredIn(ToTSize(size()), ToTSize(textSize))),
                             Qt::AlignCenter | Qt::TextSingleLine, label_);
        }
    }
    PaintFrame(painter);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

// --- TVELBtn2Bmp

TVELBtn2Bmp::TVELBtn2Bmp(QWidget* parent) : TVelBtnBmp(parent) {}

void TVELBtn2Bmp::SetPicture2(const QString& name) {
    if (name == picture2_.name) return;
    picture2_ = TPictureCache{};
    picture2_.name = name;
    update();
}

void TVELBtn2Bmp::SetUseBmp2(bool use) {
    if (use == useBmp2_) return;
    useBmp2_ = use;
    update();
}

// --- TVElBtnBmpD

TVElBtnBmpD::TVElBtnBmpD(QWidget* parent) : TVelBtnBmp(parent) {}

void TVElBtnBmpD::SetDefault(bool on) {
    default_ = on;
    update();
}

void TVElBtnBmpD::SetCancel(bool on) {
    cancel_ = on;
}

void TVElBtnBmpD::paintEvent(QPaintEvent* event) {
    TVelBtnBmp::paintEvent(event);
    if (!default_ || !isEnabled() || FrameLook() != TFrameLook::None) return;
    // The button Enter clicks carries a thin dark outline, as desktop dialogs mark it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
