// The application frame: the main window holding the track windows as children of an MDI
// area, its menus, and the message panel along its bottom.
#pragma once

#include <QMainWindow>

class QAction;
class QMdiArea;
class QMenu;
class TVelMpnl;

class TFormStudio : public QMainWindow {
    Q_OBJECT
  public:
    explicit TFormStudio(QWidget* parent = nullptr);
    ~TFormStudio() override;

    QMdiArea* MdiArea() const { return mdiArea_; }
    TVelMpnl* MPanel() const { return mPanel_; }
    QMenu* FileMenu() const { return fileMenu_; }
    QMenu* WindowMenu() const { return windowMenu_; }
    QMenu* HelpMenu() const { return helpMenu_; }
    QAction* ExitAction() const { return exitAction_; }
    QAction* AboutAction() const { return aboutAction_; }

  public slots:
    void ExitClick();
    void CascadeClick();
    void TileClick();
    void ArrangeIconsClick();
    void MinimizeAllClick();
    void AboutClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildMenus();
    void FillWindowList(); // the child windows after the Window menu's fixed items

    QMdiArea* mdiArea_ = nullptr;
    TVelMpnl* mPanel_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QList<QAction*> windowListActions_;
    bool shownOnce_ = false;
};
