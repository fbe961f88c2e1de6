// The base MDI child: a QWidget form inside a QMdiSubWindow of the main frame (a QDialog there
// would hide itself on Escape), carrying the base dialog's behaviour itself: N_Panel with
// OK/Cancel/Help, MPanel, Enter and Escape, and a close with no result unless OK or Cancel
// closed it. Its activation sets the frame's Back and Forward; closing saves the layout (no
// result or Ok) and takes the window off the frame's child list. Track windows and the
// effects dialog derive from it. UI thread only.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

#include "ui/widgets/FormVel.h"
#include "ui/widgets/FormVelParts.h"

class TFormVelM;

class TFormVelMc : public QWidget, public TFormVel {
    Q_OBJECT
  public:
    // Placed in a new sub-window of `owner`'s MDI area, not shown yet and not listed: the
    // frame's FindOrCreateChild lists and shows it.
    explicit TFormVelMc(TFormVelM& owner);
    ~TFormVelMc() override;

    TFormVelM* Owner() const { return owner_; }
    // The sub-window holding this form; null once it is being destroyed.
    QMdiSubWindow* SubWindow() const { return qobject_cast<QMdiSubWindow*>(subWindow_.data()); }

    TVelBtnBmpPnl* N_Panel() const { return parts_.nPanel; }
    TVElBtnBmpD* OkBtn() const { return parts_.okBtn; }
    TVElBtnBmpD* CancelBtn() const { return parts_.cancelBtn; }
    TVelBtnBmp* HelpBtn() const { return parts_.helpBtn; }
    TVelMpnl* MPanel() const { return parts_.mPanel; }
    QWidget* ClientArea() const { return parts_.client; }

    TModalResult ModalResult() const { return modalResult_; }

    // Closes the child window (its sub-window) as the title bar's close would; false when it
    // stayed open (the Close command disabled, or the form refused).
    bool CloseWindow();

    // Whether the form agrees to close (a track window asks to save its track here); the
    // frame's AllChildrenAgreeToClose asks every child. The base agrees.
    virtual bool CloseQuery() { return true; }

    // The frame is going away before its children: they must not call it back.
    void DetachFromOwner() { owner_ = nullptr; }

  public slots:
    // OK and Cancel close the window with their result; a form may give them other meanings.
    virtual void OkBtnClick();
    virtual void CancelBtnClick();
    void HelpBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* LayoutFrame() override;
    void CloseEnabledChanged(bool enabled) override;

  private:
    void CloseWith(TModalResult result);

    TFormVelM* owner_;
    QPointer<QWidget> subWindow_; // a QWidget pointer: it is compared while being destroyed
    TFormVelParts parts_;
    TModalResult modalResult_ = TModalResult::None;
    bool subWindowClosing_ = false;
};
