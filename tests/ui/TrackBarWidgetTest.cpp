#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>

#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

// A window holding a slider two levels down, another control to move the focus to, and a
// message panel named as every base dialog names it.
struct Owner {
    QWidget window;
    QWidget* page;
    TVelTrackBar* slider;
    QLineEdit* other;
    TVelMpnl* panel;
    explicit Owner(bool baseDialog) {
        if (baseDialog) window.setProperty("velBaseDialog", true);
        auto* layout = new QVBoxLayout(&window);
        page = new QWidget(&window);
        slider = new TVelTrackBar(page);
        slider->setGeometry(0, 0, 300, 60);
        page->setMinimumSize(300, 60);
        other = new QLineEdit(&window);
        panel = new TVelMpnl(&window);
        panel->setObjectName(QStringLiteral("MPanel"));
        panel->SetBeep([] {});
        layout->addWidget(page);
        layout->addWidget(other);
        layout->addWidget(panel);
        window.show();
        QApplication::setActiveWindow(&window);
    }
    // Types `text` into the box and leaves it for the other control.
    void Enter(const QString& text) {
        slider->Box()->setFocus(Qt::TabFocusReason);
        slider->Box()->setText(text);
        other->setFocus(Qt::TabFocusReason);
        QApplication::processEvents(); // the refocus after a refusal is queued
    }
};

struct ChangeRecord {
    QObject* sender;
    int position;
    QString boxText;
};

} // namespace

class TrackBarWidgetTest : public QObject {
    Q_OBJECT
  private slots:
    void PanSliderShowsItsRangeAndRefusesOutsideIt();
    void RefusalWithoutABaseDialogHasNoMessage();
    void InvertedBarReportsTheSwappedValue();
    void DelaySliderShowsFourDecimalsAndRefusesZero();
    void ChangeEventsComeBeforeTheBoxIsUpdatedAndBeforeTheEntryCheck();
    void LayoutFollowsTheShapeAndHintsTheTrackHint();
};

void TrackBarWidgetTest::PanSliderShowsItsRangeAndRefusesOutsideIt() {
    Owner owner(true);
    QVERIFY(QTest::qWaitForWindowActive(&owner.window));
    TVelTrackBar& pan = *owner.slider;
    pan.SetMin(-100);
    pan.SetMax(100);
    pan.SetPosition(-100);
    QCOMPARE(pan.Box()->text(), QStringLiteral("-100"));
    pan.SetPosition(100);
    QCOMPARE(pan.Box()->text(), QStringLiteral("100"));
    pan.SetPosition(20);

    owner.Enter(QStringLiteral("150"));
    QCOMPARE(owner.panel->Log().StatusLine(),
             std::string(" Error : Entry must be between -100 and 100"));
    QCOMPARE(pan.Position(), 20);
    QCOMPARE(QApplication::focusWidget(), pan.Box());

    owner.Enter(QStringLiteral("-35"));
    QCOMPARE(pan.Position(), -35);
    QCOMPARE(pan.Bar()->value(), -35);
    QCOMPARE(owner.panel->Log().Lines().size(), size_t(1));
    QCOMPARE(QApplication::focusWidget(), owner.other);
}

void TrackBarWidgetTest::RefusalWithoutABaseDialogHasNoMessage() {
    Owner owner(false);
    QVERIFY(QTest::qWaitForWindowActive(&owner.window));
    owner.slider->SetPosition(3);
    owner.Enter(QStringLiteral("11"));
    QCOMPARE(owner.slider->Position(), 3);
    QVERIFY(owner.panel->Log().Lines().empty());
    QCOMPARE(QApplication::focusWidget(), owner.slider->Box());
}

void TrackBarWidgetTest::InvertedBarReportsTheSwappedValue() {
    TVelTrackBar bar;
    bar.SetMax(200);
    bar.SetInverted(true);
    bar.Bar()->setValue(50);
    QCOMPARE(bar.Position(), 150);
    QCOMPARE(bar.Box()->text(), QStringLiteral("150"));
    bar.SetPosition(180);
    QCOMPARE(bar.Bar()->value(), 20);
}

void TrackBarWidgetTest::DelaySliderShowsFourDecimalsAndRefusesZero() {
    Owner owner(true);
    QVERIFY(QTest::qWaitForWindowActive(&owner.window));
    TVelTrackBar& delay = *owner.slider;
    delay.SetMin(1);
    delay.SetMax(2500);
    delay.SetDecimals(4);
    delay.SetPosition(2500);
    QCOMPARE(delay.Box()->text(), QStringLiteral("0.2500"));

    owner.Enter(QStringLiteral("0.0000"));
    QCOMPARE(owner.panel->Log().StatusLine(),
             std::string(" Error : Entry must be between 1 and 2500"));
    QCOMPARE(delay.Position(), 2500);

    owner.Enter(QStringLiteral("0.1"));
    QCOMPARE(delay.Position(), 1000);
    QCOMPARE(delay.Box()->text(), QStringLiteral("0.1000"));
    // The box takes no more places than it shows.
    delay.Box()->setText(QString());
    QTest::keyClicks(delay.Box(), QStringLiteral("0.123456"));
    QCOMPARE(delay.Box()->text(), QStringLiteral("0.1234"));
}

void TrackBarWidgetTest::ChangeEventsComeBeforeTheBoxIsUpdatedAndBeforeTheEntryCheck() {
    Owner owner(true);
    QVERIFY(QTest::qWaitForWindowActive(&owner.window));
    TVelTrackBar& slider = *owner.slider;
    std::vector<ChangeRecord> changes;
    connect(&slider, &TVelTrackBar::Change, &slider, [&](QObject* sender) {
        changes.push_back({sender, slider.Position(), slider.Box()->text()});
    });
    slider.SetPosition(2);

    // The user moves the bar: one change from the bar, while the box still shows the old value.
    slider.SetFocus();
    QCOMPARE(QApplication::focusWidget(), slider.Bar());
    QTest::keyClick(slider.Bar(), Qt::Key_Right);
    QCOMPARE(slider.Position(), 3);
    QCOMPARE(slider.Box()->text(), QStringLiteral("3"));
    QCOMPARE(changes.size(), size_t(2));
    QCOMPARE(changes[1].sender, slider.Bar());
    QCOMPARE(changes[1].position, 3);
    QCOMPARE(changes[1].boxText, QStringLiteral("2"));

    // Leaving the box: the box's change with the old value, then the bar's.
    changes.clear();
    owner.Enter(QStringLiteral("7"));
    QCOMPARE(changes.size(), size_t(2));
    QCOMPARE(changes[0].sender, slider.Box());
    QCOMPARE(changes[0].position, 3);
    QCOMPARE(changes[1].sender, slider.Bar());
    QCOMPARE(changes[1].position, 7);

    // A refused entry and an unchanged one raise only the box's change.
    changes.clear();
    owner.Enter(QStringLiteral("70"));
    owner.Enter(QStringLiteral("7"));
    QCOMPARE(changes.size(), size_t(2));
    QCOMPARE(changes[0].sender, slider.Box());
    QCOMPARE(changes[1].sender, slider.Box());
    slider.SetPosition(7);
    QCOMPARE(changes.size(), size_t(2));
}

void TrackBarWidgetTest::LayoutFollowsTheShapeAndHintsTheTrackHint() {
    TVelTrackBar slider;
    slider.SetEditCaption(QStringLiteral("sec"));
    QCOMPARE(slider.UnitLabel()->text(), QStringLiteral(" sec"));
    slider.resize(300, 60);
    slider.show(); // a hidden widget gets its resize event only when shown
    QCOMPARE(slider.Bar()->orientation(), Qt::Horizontal);
    QCOMPARE(slider.UnitLabel()->geometry().right(), 299);
    slider.SetTickMarks(tmBoth);
    slider.resize(90, 300);
    QCOMPARE(slider.Bar()->orientation(), Qt::Vertical);
    QCOMPARE(slider.Bar()->width(), 45);
    QCOMPARE(slider.Bar()->tickPosition(), QSlider::TicksBothSides);

    QVERIFY(slider.Bar()->toolTip().isEmpty());
    slider.SetTrackHint(QStringLiteral("Delay time"));
    QCOMPARE(slider.Bar()->toolTip(), QStringLiteral("Delay time"));
    QCOMPARE(slider.Box()->toolTip(), QStringLiteral("Delay time"));
    slider.SetTrackHint(QString());
    QVERIFY(slider.Box()->toolTip().isEmpty());
}

QTEST_MAIN(TrackBarWidgetTest)
#include "TrackBarWidgetTest.moc"
