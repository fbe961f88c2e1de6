// The base MDI frame: the main window with its MDI area of child windows (TFormVelMc), the
// button panel Panel along the top (BackBtn, ForwardBtn, HelpBtn), the message panel MPanel
// along the bottom and the menus "&File", "&Window" and "&Help". The frame keeps its own
// ordered child list (the song's order, not the stacking order); Back and Forward walk it.
// UI thread only.
#pragma once

#include <QMainWindow>
#include <functional>

#include "ui/core/ChildNavigation.h"
#include "ui/widgets/FormVel.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class TFormVelMc;
class TVelBtnBmp;
class TVelBtnBmpPnl;
class TVelMpnl;

enum class TFindOrCreate { Existing, Created };

class TFormVelM : public QMainWindow, public TFormVel {
    Q_OBJECT
  public:
    using ChildFactory = std::function<TFormVelMc*(TFormVelM& owner)>;

    explicit TFormVelM(QWidget* parent = nullptr);
    ~TFormVelM() override;

    QMdiArea* MdiArea() const { return mdiArea_; }
    TVelMpnl* MPanel() const { return mPanel_; }
    TVelBtnBmpPnl* Panel() const { return panel_; }
    TVelBtnBmp* BackBtn() const { return backBtn_; }
    TVelBtnBmp* ForwardBtn() const { return forwardBtn_; }
    TVelBtnBmp* HelpBtn() const { return helpBtn_; }
    QMenu* FileMenu() const { return fileMenu_; }
    QMenu* WindowMenu() const { return windowMenu_; }
    QMenu* HelpMenu() const { return helpMenu_; }
    QAction* ExitAction() const { return exitAction_; }
    QAction* ContentsAction() const { return contentsAction_; }
    QAction* AboutAction() const { return aboutAction_; }

    // The child list.
    int ChildCount() const;
    TFormVelMc* Child(int index) const;
    // The child the list's current index points at, or null.
    TFormVelMc* CurrentChild() const;
    // Asks each child's close query in list order; false at the first refusal.
    bool AllChildrenAgreeToClose() const;
    // The first child whose caption equals `caption` regardless of case, or null.
    TFormVelMc* FindChildByCaption(const QString& caption) const;
    // The child with that caption restored if minimized, brought to the front and focused
    // (Existing); or a new one from `create` with that caption, listed last and shown,
    // maximized when it is the only child and "MAXIMIZED" of the frame's section is set
    // (Created). `child` receives the window either way.
    TFindOrCreate FindOrCreateChild(const QString& caption, const ChildFactory& create,
                                    TFormVelMc** child = nullptr);
    template <class TChild>
    TFindOrCreate FindOrCreateChild(const QString& caption, TFormVelMc** child = nullptr) {
        return FindOrCreateChild(
            caption, [](TFormVelM& owner) -> TFormVelMc* { return new TChild(owner); }, child);
    }
    // Lists a child created another way (it goes last).
    void AddChild(TFormVelMc* child);
    // A new order of the listed children (the same windows).
    bool ReorderChildren(const QList<TFormVelMc*>& order);

    // Called by the children.
    void ChildActivated(TFormVelMc* child);
    void ChildClosed(TFormVelMc* child);
    void ChildWindowStateChanged(TFormVelMc* child);

  public slots:
    // Saves the layout and, when there is an active child, whether it is maximized
    // ("MAXIMIZED"), then closes the frame.
    virtual void ExitClick();
    void CascadeClick();
    void TileClick();
    void ArrangeIconsClick();
    void MinimizeAllClick();
    void BackBtnClick();
    void ForwardBtnClick();
    void HelpBtnClick();
    virtual void AboutClick() {}

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void KeepInsideArea(QMdiSubWindow& window); // shows it there
    void BuildPanel();
    void BuildMenus();
    void FillWindowList(); // the child windows after the Window menu's fixed items
    void ApplyNavButtons(const TNavButtons& buttons);
    void BringUp(const TNavTarget& target);
    TChildNavigation::CaptionOf CaptionOf() const;
    TChildNavigation::ShowOf ShowOf() const;
    static TFormVelMc* FromKey(TChildKey key);

    QMdiArea* mdiArea_ = nullptr;
    TVelMpnl* mPanel_ = nullptr;
    TVelBtnBmpPnl* panel_ = nullptr;
    TVelBtnBmp* backBtn_ = nullptr;
    TVelBtnBmp* forwardBtn_ = nullptr;
    TVelBtnBmp* helpBtn_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* contentsAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QList<QAction*> windowListActions_;
    TChildNavigation children_;
};
