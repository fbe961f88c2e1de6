#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "studio/StudioWindow.h"
#include "ui/widgets/FormVelMc.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

QStringList Captions(const QList<QAction*>& actions) {
    QStringList captions;
    for (const QAction* action : actions)
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

} // namespace

class StudioWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void ShowsCaptionMenusAndPanelAndExits();
    void WindowCommandsActOnTheChildWindows();
    void AboutIsAModalBoxCaptionedAboutWavestack();

  private:
    QTemporaryDir config_; // the window's layout goes here, not into the user's settings
};

void StudioWindowTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("WAVESTACK_CONFIG_DIR", config_.path().toLocal8Bit());
}

void StudioWindowTest::ShowsCaptionMenusAndPanelAndExits() {
    TFormStudio form;
    form.MPanel()->SetErrorBox([](QWidget*, const QString&) {}); // no sound server here
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("New Song"));
    QVERIFY(qobject_cast<QMdiArea*>(form.MdiArea()) != nullptr);

    const QStringList top = Captions(form.menuBar()->actions());
    QCOMPARE(top, (QStringList{"&File", "&Options", "&Window", "&Help"}));
    QCOMPARE(Captions(form.FileMenu()->actions()),
             (QStringList{"&New", "&Open...", "&Save", "-", "E&xit"}));
    QCOMPARE(Captions(form.MenuItem("File|New")->menu()->actions()),
             (QStringList{"&Song", "&Track"}));
    QCOMPARE(Captions(form.MenuItem("File|Save")->menu()->actions()),
             (QStringList{"&Song", "&Song &As...", "&Track", "Track As..."}));
    QCOMPARE(Captions(form.OptionsMenu()->actions()), (QStringList{"&Sound...", "&Defaults..."}));
    QCOMPARE(Captions(form.WindowMenu()->actions()),
             (QStringList{"Arrange Tracks", "Organize Tracks...", "-", "&Cascade", "&Tile",
                          "&Arrange Icons", "&Minimize All"}));
    QCOMPARE(Captions(form.PopupMenu()->actions()),
             (QStringList{"Arrange Tracks", "Organize Tracks...", "-"}));
    // Menu paths ignore "&", ".", blanks and case; a missing element finds nothing.
    QCOMPARE(form.MenuItem("file|save|SONGAS")->text(), QStringLiteral("&Song &As..."));
    QCOMPARE(form.MenuItem("Window|OrganizeTracks")->text(), QStringLiteral("Organize Tracks..."));
    QVERIFY(!form.MenuItem("File|Print|Song"));
    QCOMPARE(Captions(form.HelpMenu()->actions()),
             (QStringList{"&Contents and Index", "-", "&About"}));

    QCOMPARE(form.HelpContext(), 1000);

    // The button panel runs along the top, over the MDI area, Back and Forward disabled.
    QCOMPARE(form.Panel()->objectName(), QStringLiteral("Panel"));
    QCOMPARE(form.Panel()->mapTo(&form, QPoint(0, form.Panel()->height())).y(),
             form.MdiArea()->mapTo(&form, QPoint(0, 0)).y());
    QCOMPARE(form.BackBtn()->Caption(), QStringLiteral("Back"));
    QCOMPARE(form.ForwardBtn()->Caption(), QStringLiteral("Forward"));
    QVERIFY(!form.BackBtn()->isEnabled() && !form.ForwardBtn()->isEnabled());
    QVERIFY(form.HelpBtn()->isVisible());

    // The message panel runs along the bottom, folded, below the MDI area.
    TVelMpnl* panel = form.MPanel();
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(panel->height(), 26);
    const QPoint panelTop = panel->mapTo(&form, QPoint(0, 0));
    const QPoint areaBottom = form.MdiArea()->mapTo(&form, QPoint(0, form.MdiArea()->height()));
    QCOMPARE(panelTop.y(), areaBottom.y());
    QCOMPARE(panelTop.y() + panel->height(), form.height());

    // Expanding the frame's panel grows the frame by exactly 100 and back.
    const int height = form.height();
    panel->SetExpanded(true);
    QCOMPARE(form.height(), height + 100);
    panel->SetExpanded(false);
    QCOMPARE(form.height(), height);

    // File|Exit closes the last window, which ends the application's loop with 0.
    QTimer::singleShot(0, &form, [&form] { form.ExitAction()->trigger(); });
    QTimer::singleShot(10000, &form, [] { QApplication::exit(1); }); // rather than hang
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!form.isVisible());
}

void StudioWindowTest::WindowCommandsActOnTheChildWindows() {
    TFormStudio form;
    form.MPanel()->SetErrorBox([](QWidget*, const QString&) {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QMdiArea* area = form.MdiArea();
    QList<QMdiSubWindow*> children;
    for (const char* title : {"One", "Two", "Three"}) {
        TFormVelMc* child = nullptr;
        form.FindOrCreateChild<TFormVelMc>(QString::fromLatin1(title), &child);
        child->SubWindow()->resize(200, 150);
        children << child->SubWindow();
    }
    QAction* cascade = form.MenuItem("Window|Cascade");
    QAction* tile = form.MenuItem("Window|Tile");
    QAction* minimizeAll = form.MenuItem("Window|Minimize All");

    tile->trigger();
    // Tiled children do not overlap.
    for (int i = 0; i < children.size(); ++i)
        for (int j = i + 1; j < children.size(); ++j)
            QVERIFY(!children[i]->geometry().intersects(children[j]->geometry()));
    cascade->trigger();
    QVERIFY(children[0]->geometry().intersects(children[1]->geometry()));

    // The Window menu lists the children after its own items.
    emit form.WindowMenu()->aboutToShow();
    QCOMPARE(Captions(form.WindowMenu()->actions()),
             (QStringList{"Arrange Tracks", "Organize Tracks...", "-", "&Cascade", "&Tile",
                          "&Arrange Icons", "&Minimize All", "-", "One", "Two", "Three"}));
    emit form.WindowMenu()->aboutToShow(); // rebuilt, not appended twice
    QCOMPARE(form.WindowMenu()->actions().size(), 11);

    minimizeAll->trigger();
    for (QMdiSubWindow* child : children)
        QVERIFY(child->isMinimized());
    children[1]->move(40, 10);                        // dragged away by the user
    form.MenuItem("Window|Arrange Icons")->trigger(); // back along the bottom
    const int bottom = area->viewport()->height();
    for (QMdiSubWindow* child : children)
        QCOMPARE(child->geometry().bottom() + 1, bottom);
    QVERIFY(children[0]->x() != children[1]->x());
}

void StudioWindowTest::AboutIsAModalBoxCaptionedAboutWavestack() {
    TFormStudio form;
    form.MPanel()->SetErrorBox([](QWidget*, const QString&) {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QString caption;
    bool modal = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            caption = box->windowTitle();
            modal = box->isModal();
            box->close();
            closer.stop();
        }
    });
    closer.start(10);
    form.AboutAction()->trigger(); // returns once the box is closed
    QCOMPARE(caption, QStringLiteral("About Wavestack"));
    QVERIFY(modal);
    QVERIFY(form.findChildren<QDialog*>().isEmpty()); // freed after it was shown
}

QTEST_MAIN(StudioWindowTest)
#include "StudioWindowTest.moc"
