#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "ui/widgets/Pictures.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelColor.h"

namespace {

// Bounding box of the pixels that differ clearly from the grab's top-left pixel.
QRect InkBox(const QImage& image) {
    const QColor background = image.pixelColor(0, 0);
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int diff = std::abs(c.red() - background.red()) +
                             std::abs(c.green() - background.green()) +
                             std::abs(c.blue() - background.blue());
            if (diff > 120) box |= QRect(x, y, 1, 1);
        }
    return box;
}

bool HasColouredPixel(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) -
                    std::min({c.red(), c.green(), c.blue()}) >
                40)
                return true;
        }
    return false;
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class ButtonsWidgetTest : public QObject {
    Q_OBJECT
  private slots:
    void BigButtonsMakesThePanelTallAndItsSmallButtonsBig();
    void MenuChecksFollowTheOptionsAndSize();
    void BackgroundColorAppliesTheChosenColour();
    void DisabledButtonNeverClicks();
    void CaptionGivesTheHintAsTooltip();
    void LabelOnlyButtonShowsItsLabelCentred();
    void PictureIsGreyUntilColouredAndEmbossedWhenDisabled();
    void EveryPictureOfTheSetRenders();
};

void ButtonsWidgetTest::BigButtonsMakesThePanelTallAndItsSmallButtonsBig() {
    TVelBtnBmpPnl panel;
    QCOMPARE(panel.BtnSize(), bsNone);
    auto* back = new TVelBtnBmp;
    auto* help = new TVelBtnBmp;
    auto* ownSize = new TVelBtnBmp; // bsNone: keeps the size it was given
    back->SetBtnSize(bsSmall);
    help->SetBtnSize(bsSmall);
    ownSize->setFixedSize(60, 30);
    panel.AddButton(back);
    panel.AddSeparator();
    panel.AddButton(ownSize);
    panel.AddRightButton(help);
    panel.SetBtnSize(bsSmall);
    panel.resize(400, panel.height());
    panel.show();
    QCOMPARE(panel.height(), 35);

    QSignalSpy sizes(&panel, &TVelBtnBmpPnl::BtnSizeChanged);
    panel.BigButtonsAction()->trigger();
    QCOMPARE(panel.BtnSize(), bsBig);
    QCOMPARE(panel.height(), 45);
    QCOMPARE(back->size(), QSize(45, 40));
    QCOMPARE(help->size(), QSize(45, 40));
    QCOMPARE(ownSize->size(), QSize(60, 30));
    QCOMPARE(panel.property("btnSize").toInt(), 0);
    QCOMPARE(sizes.count(), 1);
    QCOMPARE(sizes.at(0).at(0).toInt(), 0);

    // The right group stays at the right edge.
    QApplication::processEvents();
    QVERIFY(help->geometry().right() > panel.width() - 10);
    QVERIFY(back->geometry().left() < 10);

    panel.BigButtonsAction()->trigger();
    QCOMPARE(panel.height(), 35);
    QCOMPARE(back->size(), QSize(30, 25));
    panel.SetBtnSize(bsSmall); // already small: no notification
    QCOMPARE(sizes.count(), 2);
}

void ButtonsWidgetTest::MenuChecksFollowTheOptionsAndSize() {
    TVelBtnBmpPnl panel;
    panel.addAction(new QAction(QStringLiteral("Customize"), &panel)); // the panel's own item
    auto* button = new TVelBtnBmp;
    panel.AddButton(button);
    QMenu* menu = panel.ContextMenu();
    QCOMPARE(MenuTexts(menu),
             QStringList({"Customize", "-", "Change Tool Bar Appearance:", "-", "Always Colored",
                          "Big Buttons", "Background Color..."}));
    QVERIFY(!menu->actions().at(2)->isEnabled());
    QVERIFY(!panel.AlwaysColoredAction()->isChecked());
    QVERIFY(!panel.BigButtonsAction()->isChecked());

    QSignalSpy options(&panel, &TVelContainer::OptionsChanged);
    panel.SetCoOptions(coAlwaysColor); // by code, as a form routes it
    QVERIFY(panel.AlwaysColoredAction()->isChecked());
    QCOMPARE(button->CoOptions(), int(coAlwaysColor));
    panel.AlwaysColoredAction()->trigger(); // by the user
    QVERIFY(!panel.AlwaysColoredAction()->isChecked());
    QCOMPARE(button->CoOptions(), 0);
    panel.SetCoOptions(0);
    QCOMPARE(options.count(), 2);
    QCOMPARE(options.at(1).at(0).toInt(), 0);

    panel.setProperty("btnSize", 0);
    QVERIFY(panel.BigButtonsAction()->isChecked());
    panel.setProperty("btnSize", 2); // none: the check goes, sizes stay
    QVERIFY(!panel.BigButtonsAction()->isChecked());
    QCOMPARE(panel.ContextMenu(), menu); // built once
    QCOMPARE(menu->actions().size(), 7);
}

void ButtonsWidgetTest::BackgroundColorAppliesTheChosenColour() {
    QCOMPARE(ColorFromValue(65535), QColor(255, 255, 0));
    QCOMPARE(ColorFromValue(32768), QColor(0, 128, 0));
    QCOMPARE(ColorFromValue(12632256), QColor(192, 192, 192));
    QVERIFY(!ColorFromValue(-1).isValid());
    QCOMPARE(ValueFromColor(QColor(255, 0, 0)), 255);
    QCOMPARE(ValueFromColor(QColor()), -1);

    TVelBtnBmpPnl panel;
    auto* button = new TVelBtnBmp;
    panel.AddButton(button);
    panel.SetBgColor(255);
    QColor offered;
    std::optional<QColor> answer = QColor(0, 128, 0);
    TVelBtnBmpPnl::SetColorChooser([&](QWidget*, QColor current) {
        offered = current;
        return answer;
    });
    QSignalSpy colours(&panel, &TVelBtnBmpPnl::BgColorChanged);
    panel.BackgroundColorAction()->trigger();
    QCOMPARE(offered, QColor(255, 0, 0));
    QCOMPARE(panel.BgColor(), 32768);
    QCOMPARE(button->Color(), 32768);
    QCOMPARE(colours.count(), 1);
    QCOMPARE(colours.at(0).at(0).toInt(), 32768);

    answer.reset(); // the user cancels
    panel.BackgroundColorAction()->trigger();
    QCOMPARE(panel.BgColor(), 32768);
    QCOMPARE(colours.count(), 1);
    TVelBtnBmpPnl::SetColorChooser({});

    // The button's background is the area inset by 2 pixels.
    button->SetBtnSize(bsBig);
    button->SetCaption(QStringLiteral("Play|Play"));
    const QImage image = Grab(*button);
    QCOMPARE(image.pixelColor(2, 2), QColor(0, 128, 0));
    QCOMPARE(image.pixelColor(42, 37), QColor(0, 128, 0));
    QVERIFY(image.pixelColor(1, 1) != QColor(0, 128, 0));
}

void ButtonsWidgetTest::DisabledButtonNeverClicks() {
    TVelBtnBmp button;
    button.SetBtnSize(bsSmall);
    QSignalSpy clicks(&button, &TVELMouseControl::Click);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));

    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(&button, Qt::RightButton);
    QCOMPARE(clicks.count(), 1);
    // Pressed inside, released outside: no click.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(100, 5));
    QCOMPARE(clicks.count(), 1);
    button.PerformClick();
    QCOMPARE(clicks.count(), 2);
    QTest::keyClick(&button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 3);

    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    button.PerformClick();
    QTest::keyClick(&button, Qt::Key_Space);
    QCOMPARE(clicks.count(), 3);
    // Disabled in the middle of a click.
    button.setEnabled(true);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    button.setEnabled(false);
    button.setEnabled(true);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks.count(), 3);
}

void ButtonsWidgetTest::CaptionGivesTheHintAsTooltip() {
    TVelBtnBmp button;
    QCOMPARE(button.focusPolicy(), Qt::StrongFocus);
    button.SetCaption(QStringLiteral("Open|Open a Song"));
    QCOMPARE(button.Label(), QStringLiteral("Open"));
    QCOMPARE(button.toolTip(), QStringLiteral("Open a Song"));
    QCOMPARE(button.statusTip(), QStringLiteral("Open a Song"));
    button.SetCaption(QString());
    QVERIFY(button.toolTip().isEmpty());

    // A control without a click receiver shows no frame unless it asks for the outline.
    TVelBmp bare;
    bare.SetPicture(QStringLiteral("node-tap"));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&bare, &enter);
    QCOMPARE(bare.FrameLook(), TFrameLook::None);
    bare.SetMoOptions(moAlwaysOutline);
    QApplication::sendEvent(&bare, &enter);
    QCOMPARE(bare.FrameLook(), TFrameLook::Raised);
}

void ButtonsWidgetTest::LabelOnlyButtonShowsItsLabelCentred() {
    TVelBtnBmp button;
    button.SetCaption(QStringLiteral("Ok|Accept"));
    button.setFixedSize(60, 25);
    const QRect ink = InkBox(Grab(button));
    QVERIFY(!ink.isEmpty());
    QVERIFY(std::abs(ink.center().x() - 30) <= 2);
    QVERIFY(std::abs(ink.center().y() - 12) <= 2);

    // Big with a picture: the label at the bottom, the picture above it.
    TVelBtnBmp big;
    big.SetPicture(QStringLiteral("record"));
    big.SetCaption(QStringLiteral("Record|Record"));
    big.SetBtnSize(bsBig);
    big.SetColor(ValueFromColor(Qt::white));
    big.SetCoOptions(coAlwaysColor);
    const QImage image = Grab(big);
    int lowestRed = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 100) lowestRed = y;
        }
    const int labelTop = 40 - big.fontMetrics().height() - 2;
    QVERIFY(lowestRed > 0);
    QVERIFY(lowestRed < labelTop);
    const QRect label = InkBox(image.copy(0, labelTop, 45, 40 - labelTop));
    QVERIFY(!label.isEmpty());
    QVERIFY(std::abs(label.center().x() - 22) <= 2);
}

void ButtonsWidgetTest::PictureIsGreyUntilColouredAndEmbossedWhenDisabled() {
    TVELBtn2Bmp button;
    button.SetPicture(QStringLiteral("play"));
    button.SetPicture2(QStringLiteral("record"));
    button.SetBtnSize(bsBig);
    QVERIFY(!HasColouredPixel(Grab(button)));
    button.SetCoOptions(coAlwaysColor);
    QVERIFY(HasColouredPixel(Grab(button)));
    button.SetUseBmp2(true);
    const QImage second = Grab(button);
    QVERIFY(HasColouredPixel(second));
    QVERIFY(second != [&] {
        button.SetUseBmp2(false);
        return Grab(button);
    }());
    button.setEnabled(false);
    const QImage embossed = Grab(button);
    QVERIFY(!HasColouredPixel(embossed));
    QVERIFY(!InkBox(embossed).isEmpty());
    // Transparent stays transparent: the corners show what is behind the picture.
    QCOMPARE(embossed.pixelColor(6, 6), embossed.pixelColor(1, 1));
}

void ButtonsWidgetTest::EveryPictureOfTheSetRenders() {
    const QStringList names = {
        "open",       "save",     "saveas",  "rewind", "stop",       "play",        "fastforward",
        "record",     "effects",  "mute",    "unmute", "combine",    "damp",        "undamp",
        "sync",       "back",     "forward", "help",   "ok",         "cancel",      "up",
        "down",       "apply",    "undo",    "delete", "organize",   "defaults",    "rewindbtn",
        "forwardbtn", "mwave",    "gwave",   "rwave",  "node-input", "node-output", "node-tap",
        "about",      "wavestack"};
    for (const QString& name : names) {
        const QImage image = OwnPictureImage(name, QSize(24, 24), 2.0);
        QVERIFY2(!image.isNull(), qPrintable(name));
        QCOMPARE(image.size(), QSize(48, 48));
        QCOMPARE(image.devicePixelRatio(), 2.0);
        QVERIFY2(qAlpha(image.pixel(0, 0)) == 0, qPrintable(name + " has an opaque corner"));
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                drawn += qAlpha(image.pixel(x, y)) > 128;
        QVERIFY2(drawn > 48 * 48 / 20, qPrintable(name + " is almost empty"));
        QVERIFY2(!PictureIcon(name).isNull(), qPrintable(name));
    }
    QVERIFY(OwnPictureImage(QStringLiteral("no-such-picture"), QSize(24, 24)).isNull());
}

QTEST_MAIN(ButtonsWidgetTest)
#include "ButtonsWidgetTest.moc"
