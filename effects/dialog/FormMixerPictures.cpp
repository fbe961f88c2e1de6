// The three paint handlers of the effects dialog: they paint what the rules' geometry gives
// for the controls where they stand (FadeContainerPaint, DelayContainerPaint,
// DistContainerPaint). The pictures lie under the controls; only the gaps show.
#include <QComboBox>
#include <QPainter>
#include <QTabWidget>

#include "effects/MixerRules.h"
#include "effects/dialog/FormMixer.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelColor.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

TMixerRect Place(const QWidget* control) {
    const QRect r = control->geometry();
    return {r.left(), r.top(), r.width(), r.height()};
}

QColor LineColour(TLineColour colour, const QWidget& page) {
    switch (colour) {
    case TLineColour::Red:
        return ColorFromValue(static_cast<int>(kSignRed));
    case TLineColour::Background:
        return page.palette().color(QPalette::Window);
    case TLineColour::Green:
        break;
    }
    return ColorFromValue(static_cast<int>(kSignGreen));
}

void DrawLines(QPainter& painter, const QWidget& page, const std::vector<TPictureLine>& lines) {
    for (const TPictureLine& line : lines) {
        QPen pen(LineColour(line.colour, page), 2);
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        QPolygon polyline;
        for (const auto& p : line.points)
            polyline << QPoint(p.x, p.y);
        painter.drawPolyline(polyline);
    }
}

} // namespace

void TFormMixer::PaintFade(QWidget& page) {
    // The Equalizer page shares this handler and so shows nothing.
    if (pages_->currentIndex() != kPageFade) return;
    QPolygon polygon;
    for (const TMixerPoint& corner : FadeBand(Place(fadeLeftBar_), Place(fadeRightBar_),
                                              fadeLeftBar_->Position(), fadeRightBar_->Position()))
        polygon << QPoint(corner.x, corner.y);
    QPainter painter(&page);
    painter.setPen(QPen(page.palette().color(QPalette::WindowText), 1));
    painter.setBrush(page.palette().color(QPalette::Window));
    painter.drawPolygon(polygon);
}

TDelayPicture TFormMixer::CurrentDelayPicture() const {
    TDelayPictureFacts facts;
    facts.feedbackBar = Place(delayFeedBackBar_);
    facts.dryBar = Place(delayDryBar_);
    facts.wetBar = Place(delayWetBar_);
    facts.delayBar = Place(delayBar_);
    facts.modulatedBar = Place(delayVBar_);
    facts.freqBar = Place(delayFreqBar_);
    facts.tap1 = Place(delayTap1Btn_);
    facts.tap2 = Place(delayTap2Btn_);
    facts.input = Place(inputBmp_);
    facts.output = Place(outputBmp_);
    facts.typeList = Place(delayTypeList_);
    facts.modulationVisible = ModulationVisible(delayTypeList_->currentText().toStdString());
    facts.feedbackPositive = Positive(delayFeedBackBar_);
    facts.dryPositive = Positive(delayDryBar_);
    facts.wetPositive = Positive(delayWetBar_);
    facts.feedback = delayFeedBackBar_->Position();
    facts.dry = delayDryBar_->Position();
    facts.wet = delayWetBar_->Position();
    return DelayPicture(facts);
}

void TFormMixer::PlaceInputNode() {
    const TMixerRect place = CurrentDelayPicture().input;
    const QRect input(place.left, place.top, place.width, place.height);
    if (inputBmp_->geometry() != input) inputBmp_->setGeometry(input);
}

void TFormMixer::PaintDelay(QWidget& page) {
    const TDelayPicture picture = CurrentDelayPicture();
    PlaceInputNode(); // where the picture wants it; moved, it repaints once more
    QPainter painter(&page);
    DrawLines(painter, page, picture.lines);
}

void TFormMixer::PaintDistortion(QWidget& page) {
    TDistortionPictureFacts facts;
    facts.input = Place(distInputBmp_);
    facts.clampBar = Place(distClampBar_);
    facts.dryBar = Place(distDryBar_);
    facts.wetBar = Place(distWetBar_);
    facts.tap1 = Place(distTap1Btn_);
    facts.output = Place(distOutPutBmp_);
    facts.dryPositive = Positive(distDryBar_);
    facts.wetPositive = Positive(distWetBar_);
    facts.dry = distDryBar_->Position();
    facts.wet = distWetBar_->Position();
    QPainter painter(&page);
    DrawLines(painter, page, DistortionPicture(facts));
}
