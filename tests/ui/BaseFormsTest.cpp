#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "platform/ConfigPaths.h"
#include "platform/ProfileFile.h"
#include "ui/widgets/FormVelB.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/FormVelMc.h"
#include "ui/widgets/Help.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

namespace {

void Show(QWidget& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

QString ViewerPage() {
    QTextBrowser* browser = HelpViewerBrowser();
    return browser ? browser->source().fileName() : QString();
}

} // namespace

// A dialog and a frame of their own, so that each keeps its layout in its own section.
// Forms keep their size under their caption: every form has one.
class TTestDialog : public TFormVelB {
    Q_OBJECT
  public:
    TTestDialog() { setWindowTitle(QStringLiteral("Test Dialog")); }
};

class TTestFrame : public TFormVelM {
    Q_OBJECT
  public:
    TTestFrame() { setWindowTitle(QStringLiteral("Test Frame")); }
};

// A child whose saved layout, read as it shows, makes it bigger than it was made.
class TGrowingChild : public TFormVelMc {
  public:
    using TFormVelMc::TFormVelMc;

  protected:
    void showEvent(QShowEvent* event) override {
        if (QMdiSubWindow* window = SubWindow()) window->resize(330, 150);
        TFormVelMc::showEvent(event);
    }
};

class BaseFormsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void CancelKeepsTheLayoutOfTheLastOk();
    void EnterAndEscapeOnlyWithoutModifiers();
    void TheCloseCommandFlagRefusesCloses();
    void BackAndForwardFollowTheChildList();
    void NewChildrenOpenInsideTheWindowsArea();
    void BigButtonsSurviveTheNextStartAndPanelsFollowEachOther();
    void HelpOpensTheViewerAtTheFormsPage();
    void HelpFolderLookupOrder();

  private:
    QTemporaryDir config_;
};

void BaseFormsTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("WAVESTACK_CONFIG_DIR", config_.path().toLocal8Bit());
    QVERIFY2(HelpAvailable(), "WAVESTACK_HELP_DIR must name the help pages");
}

void BaseFormsTest::init() {
    QFile::remove(QString::fromStdString(SettingsFilePath()));
}

void BaseFormsTest::CancelKeepsTheLayoutOfTheLastOk() {
    {
        TTestDialog dialog;
        Show(dialog);
        dialog.resize(410, 290);
        dialog.OkBtn()->PerformClick();
        QCOMPARE(dialog.ModalResult(), TModalResult::Ok);
        QVERIFY(!dialog.isVisible());
    }
    {
        TTestDialog dialog;
        Show(dialog);
        QCOMPARE(dialog.size(), QSize(410, 290)); // restored when shown
        dialog.resize(500, 350);
        dialog.CancelBtn()->PerformClick();
        QCOMPARE(dialog.ModalResult(), TModalResult::Cancel);
    }
    {
        // Closed from the title bar while modal: a Cancel too.
        TTestDialog dialog;
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.resize(520, 360);
            dialog.close();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(dialog.size(), QSize(520, 360));
        QCOMPARE(dialog.ModalResult(), TModalResult::Cancel);
    }
    TProfileFile file(SettingsFilePath());
    QCOMPARE(file.ReadInteger("TTestDialog", "WIDTH", 0), 410);
    QCOMPARE(file.ReadInteger("TTestDialog", "HEIGHT", 0), 290);
    {
        // Not modal and closed from the title bar: no result, and the layout is kept.
        TTestDialog dialog;
        Show(dialog);
        QCOMPARE(dialog.size(), QSize(410, 290));
        dialog.resize(430, 300);
        QVERIFY(dialog.close());
        QCOMPARE(dialog.ModalResult(), TModalResult::None);
    }
    QCOMPARE(file.ReadInteger("TTestDialog", "WIDTH", 0), 430);
}

void BaseFormsTest::EnterAndEscapeOnlyWithoutModifiers() {
    TTestDialog dialog;
    Show(dialog);
    for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(&dialog, Qt::Key_Return, held);
        QTest::keyClick(&dialog, Qt::Key_Escape, held);
        QVERIFY2(dialog.isVisible(), "a key with a modifier held clicked a button");
    }
    dialog.OkBtn()->setEnabled(false);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible()); // the default button is disabled
    dialog.OkBtn()->setEnabled(true);
    QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(dialog.ModalResult(), TModalResult::Ok);
    QVERIFY(!dialog.isVisible());

    Show(dialog);
    dialog.CancelBtn()->setEnabled(false);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible()); // no usable Cancel: Escape does not close the dialog either
    dialog.CancelBtn()->setEnabled(true);

    // A multi-line text field keeps its Enter.
    auto* text = new QPlainTextEdit(dialog.ClientArea());
    text->show();
    text->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.ModalResult(), TModalResult::Cancel);
    QVERIFY(!dialog.isVisible());

    // The MDI child behaves as a dialog: Escape closes it with Cancel, so its layout stays.
    TTestFrame frame;
    Show(frame);
    TFormVelMc* child = nullptr;
    frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("Child"), &child);
    QPointer<QMdiSubWindow> window = child->SubWindow();
    QTest::keyClick(child, Qt::Key_Escape, Qt::ShiftModifier);
    QVERIFY(window->isVisible());
    QTest::keyClick(child, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QCOMPARE(frame.ChildCount(), 0);
    QTRY_VERIFY(window.isNull()); // freed once closed
}

void BaseFormsTest::TheCloseCommandFlagRefusesCloses() {
    TTestDialog dialog;
    Show(dialog);
    dialog.SetCloseEnabled(false);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    dialog.OkBtn()->PerformClick(); // the form's own buttons still close it
    QVERIFY(!dialog.isVisible());

    TTestFrame frame;
    Show(frame);
    TFormVelMc* child = nullptr;
    frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("Child"), &child);
    QAction* systemClose = child->SubWindow()->systemMenu()->actions().last();
    QVERIFY(systemClose->isEnabled());
    child->SetCloseEnabled(false);
    QVERIFY(!systemClose->isEnabled()); // greyed in the window's menu
    QVERIFY(!child->CloseWindow());
    QVERIFY(child->SubWindow()->isVisible());
    QCOMPARE(frame.ChildCount(), 1);
    child->SetCloseEnabled(true);
    QVERIFY(systemClose->isEnabled());
    QVERIFY(child->CloseWindow());
    QCOMPARE(frame.ChildCount(), 0);

    // close() on the form itself closes its whole child window, not just the form inside.
    frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("Other"), &child);
    QPointer<QMdiSubWindow> window = child->SubWindow();
    child->close();
    QTRY_VERIFY(window.isNull());
    QCOMPARE(frame.ChildCount(), 0);

    frame.SetCloseEnabled(false);
    QVERIFY(!frame.close());
    frame.SetCloseEnabled(true);
    QVERIFY(frame.close());
}

// The area places a new window by the size it has when shown; the window's saved layout then
// makes it bigger, which left it partly beyond the area's right or bottom edge.
void BaseFormsTest::NewChildrenOpenInsideTheWindowsArea() {
    TTestFrame frame;
    Show(frame);
    frame.resize(520, 420);
    QApplication::processEvents();
    const QRect area = frame.MdiArea()->viewport()->rect();
    for (const char* caption : {"One", "Two", "Three", "Four", "Five"}) {
        TFormVelMc* child = nullptr;
        frame.FindOrCreateChild(
            QString::fromLatin1(caption), [](TFormVelM& owner) { return new TGrowingChild(owner); },
            &child);
        QVERIFY(child);
        const QRect placed = child->SubWindow()->geometry();
        QVERIFY2(area.contains(placed), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                                       .arg(caption)
                                                       .arg(placed.x())
                                                       .arg(placed.y())
                                                       .arg(placed.width())
                                                       .arg(placed.height())));
    }
}

void BaseFormsTest::BackAndForwardFollowTheChildList() {
    TTestFrame frame;
    Show(frame);
    QVERIFY(!frame.BackBtn()->isEnabled());
    QVERIFY(!frame.ForwardBtn()->isEnabled());
    QList<TFormVelMc*> children;
    for (const char* caption : {"One", "Two", "Three"}) {
        TFormVelMc* child = nullptr;
        QCOMPARE(frame.FindOrCreateChild<TFormVelMc>(QString::fromLatin1(caption), &child),
                 TFindOrCreate::Created);
        children << child;
    }
    QCOMPARE(frame.ChildCount(), 3);

    frame.MdiArea()->setActiveSubWindow(children[1]->SubWindow());
    QVERIFY(frame.BackBtn()->isEnabled());
    QVERIFY(frame.ForwardBtn()->isEnabled());
    QCOMPARE(frame.BackBtn()->Hint(), QStringLiteral("Back to One"));
    QCOMPARE(frame.ForwardBtn()->Hint(), QStringLiteral("Forward to Three"));
    QCOMPARE(frame.BackBtn()->toolTip(), QStringLiteral("Back to One"));

    frame.BackBtn()->PerformClick();
    QCOMPARE(frame.MdiArea()->activeSubWindow(), children[0]->SubWindow());
    QCOMPARE(frame.CurrentChild(), children[0]);
    QVERIFY(!frame.BackBtn()->isEnabled());
    QCOMPARE(frame.BackBtn()->Hint(), QStringLiteral("Back"));
    QCOMPARE(frame.ForwardBtn()->Hint(), QStringLiteral("Forward to Two"));

    // Finding by caption ignores case and brings the existing window back.
    children[2]->SubWindow()->showMinimized();
    TFormVelMc* found = nullptr;
    QCOMPARE(frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("tHREE"), &found),
             TFindOrCreate::Existing);
    QCOMPARE(found, children[2]);
    QVERIFY(!found->SubWindow()->isMinimized());
    QCOMPARE(frame.FindChildByCaption(QStringLiteral("two")), children[1]);
    QCOMPARE(frame.FindChildByCaption(QStringLiteral("Four")), nullptr);

    // The Window menu lists the children in the list's order.
    emit frame.WindowMenu()->aboutToShow();
    QStringList listed;
    for (QAction* action : frame.WindowMenu()->actions().mid(5))
        listed << action->text();
    QCOMPARE(listed, (QStringList{"One", "Two", "Three"}));

    frame.MinimizeAllClick();
    QVERIFY(!frame.BackBtn()->isEnabled());
    QVERIFY(!frame.ForwardBtn()->isEnabled());

    for (TFormVelMc* child : children)
        QVERIFY(child->CloseWindow());
    QCOMPARE(frame.ChildCount(), 0);
    QVERIFY(!frame.BackBtn()->isEnabled());
    QVERIFY(!frame.ForwardBtn()->isEnabled());
    QCOMPARE(frame.BackBtn()->Hint(), QStringLiteral("Back"));
    QCOMPARE(frame.ForwardBtn()->Hint(), QStringLiteral("Forward"));
}

void BaseFormsTest::BigButtonsSurviveTheNextStartAndPanelsFollowEachOther() {
    {
        TTestFrame frame;
        Show(frame);
        QCOMPARE(frame.Panel()->height(), 35);
        frame.Panel()->BigButtonsAction()->trigger();
        QCOMPARE(frame.Panel()->height(), 45);
        QCOMPARE(frame.BackBtn()->size(), QSize(45, 40));
        QCOMPARE(frame.HelpBtn()->size(), QSize(45, 40));
        // A maximized child when the frame exits: the first child of the next start is too.
        frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("Child"));
        frame.MdiArea()->currentSubWindow()->showMaximized();
        frame.ExitClick();
        QVERIFY(!frame.isVisible());
    }
    {
        TTestFrame frame; // the next start
        Show(frame);
        QCOMPARE(frame.Panel()->BtnSize(), bsBig);
        QCOMPARE(frame.Panel()->height(), 45);
        QCOMPARE(frame.ForwardBtn()->size(), QSize(45, 40));
        TFormVelMc* child = nullptr;
        frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("First"), &child);
        QVERIFY(child->SubWindow()->isMaximized());
    }

    // A second panel on a dialog follows the first one's size, options and colour.
    TTestDialog dialog;
    auto* second = new TVelBtnBmpPnl(dialog.ClientArea());
    second->setObjectName(QStringLiteral("SecondPanel"));
    second->SetBtnSize(bsSmall);
    Show(dialog);
    dialog.N_Panel()->BigButtonsAction()->trigger();
    QCOMPARE(second->BtnSize(), bsBig);
    dialog.N_Panel()->AlwaysColoredAction()->trigger();
    QCOMPARE(second->CoOptions(), int(coAlwaysColor));
    dialog.N_Panel()->SetBgColor(65535);
    QCOMPARE(second->BgColor(), 65535);
    second->BigButtonsAction()->trigger(); // and back the other way
    QCOMPARE(dialog.N_Panel()->BtnSize(), bsSmall);
}

void BaseFormsTest::HelpOpensTheViewerAtTheFormsPage() {
    TTestDialog dialog;
    dialog.SetHelpContext(2050);
    Show(dialog);
    QVERIFY(dialog.HelpBtn()->isVisible());
    dialog.HelpBtn()->PerformClick();
    QVERIFY(HelpViewerWindow() && HelpViewerWindow()->isVisible());
    QCOMPARE(ViewerPage(), QStringLiteral("2050.html"));
    QVERIFY(!HelpViewerBrowser()->toPlainText().isEmpty());
    QWidget* viewer = HelpViewerWindow();

    dialog.SetHelpContext(9999); // no page: the contents, with a note
    QTest::keyClick(&dialog, Qt::Key_F1);
    QCOMPARE(HelpViewerWindow(), viewer); // one viewer, reused
    QCOMPARE(ViewerPage(), QStringLiteral("index.html"));
    auto* note = viewer->findChild<QLabel*>(QStringLiteral("HelpNote"));
    QVERIFY(note && note->isVisible());

    // Links work: the contents page leads to the organize page.
    HelpViewerBrowser()->setSource(QUrl(QStringLiteral("2050.html")));
    QCOMPARE(ViewerPage(), QStringLiteral("2050.html"));
    QVERIFY(!note->isVisible());

    TTestFrame frame;
    frame.SetHelpContext(2040);
    Show(frame);
    QVERIFY(frame.HelpMenu()->menuAction()->isVisible());
    frame.HelpBtn()->PerformClick();
    QCOMPARE(ViewerPage(), QStringLiteral("index.html"));
    QTest::keyClick(&frame, Qt::Key_F1); // the frame's own page
    QCOMPARE(ViewerPage(), QStringLiteral("2040.html"));
    frame.ContentsAction()->trigger();
    QCOMPARE(ViewerPage(), QStringLiteral("index.html"));

    // A child's F1 is its own page, not the frame's.
    TFormVelMc* child = nullptr;
    frame.FindOrCreateChild<TFormVelMc>(QStringLiteral("Child"), &child);
    child->SetHelpContext(3070);
    QTest::keyClick(child, Qt::Key_F1);
    QCOMPARE(ViewerPage(), QStringLiteral("3070.html"));
}

void BaseFormsTest::HelpFolderLookupOrder() {
    QTemporaryDir root;
    const QDir dir(root.path());
    QVERIFY(dir.mkpath("env") && dir.mkpath("bin") && dir.mkpath("help") &&
            dir.mkpath("share/wavestack/help"));
    const auto touch = [&](const QString& path) {
        QFile file(dir.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    const QString env = dir.filePath("env");
    const QString exe = dir.filePath("bin");
    QCOMPARE(FindHelpFolder(env, exe), QString()); // no contents page anywhere
    touch("share/wavestack/help/index.html");
    QCOMPARE(FindHelpFolder(env, exe), dir.filePath("share/wavestack/help"));
    touch("help/index.html");
    QCOMPARE(FindHelpFolder(env, exe), dir.filePath("help")); // the build tree first
    touch("env/index.html");
    QCOMPARE(FindHelpFolder(env, exe), env); // the variable before both
    QCOMPARE(FindHelpFolder(QString(), exe), dir.filePath("help"));
}

QTEST_MAIN(BaseFormsTest)
#include "BaseFormsTest.moc"
