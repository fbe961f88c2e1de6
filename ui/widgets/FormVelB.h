// The base dialog: a QDialog with the base form's settings object, OK/Cancel/Help in its
// button panel N_Panel along the top and a message panel MPanel along the bottom. OK closes
// with the result Ok, Cancel with Cancel; the layout is saved when the dialog closes with Ok
// or with no result (a dialog that is not modal closed from its title bar), so a Cancel keeps
// the layout of the last Ok. Derived dialogs place their controls in ClientArea().
//
// Shown modally (exec), it blocks its parent's window only: the help viewer stays usable.
// UI thread only.
#pragma once

#include <QDialog>

#include "ui/widgets/FormVel.h"
#include "ui/widgets/FormVelParts.h"

class TFormVelB : public QDialog, public TFormVel {
    Q_OBJECT
  public:
    explicit TFormVelB(QWidget* parent = nullptr);
    ~TFormVelB() override;

    TVelBtnBmpPnl* N_Panel() const { return parts_.nPanel; }
    TVElBtnBmpD* OkBtn() const { return parts_.okBtn; }
    TVElBtnBmpD* CancelBtn() const { return parts_.cancelBtn; }
    TVelBtnBmp* HelpBtn() const { return parts_.helpBtn; }
    TVelMpnl* MPanel() const { return parts_.mPanel; }
    QWidget* ClientArea() const { return parts_.client; }

    // How the dialog was last closed; None while it is shown.
    TModalResult ModalResult() const { return modalResult_; }

    void setVisible(bool visible) override;

  public slots:
    void OkBtnClick();
    void CancelBtnClick();
    void HelpBtnClick();
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    TFormVelParts parts_;
    TModalResult modalResult_ = TModalResult::None;
};
