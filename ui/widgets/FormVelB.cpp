#include "ui/widgets/FormVelB.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

TFormVelB::TFormVelB(QWidget* parent) : QDialog(parent), TFormVel(static_cast<QWidget&>(*this)) {
    parts_ = BuildFormVelParts(*this);
    connect(parts_.okBtn, &TVElBtnBmpD::Click, this, &TFormVelB::OkBtnClick);
    connect(parts_.cancelBtn, &TVElBtnBmpD::Click, this, &TFormVelB::CancelBtnClick);
    connect(parts_.helpBtn, &TVelBtnBmp::Click, this, &TFormVelB::HelpBtnClick);
}

TFormVelB::~TFormVelB() {
    // Nothing may wait on the panel's error box while the dialog goes away.
    parts_.mPanel->SetHoldWorkers(false);
}

void TFormVelB::setVisible(bool visible) {
    // exec() asks for an application-modal window; the parent's window is enough to block,
    // and leaves the help viewer (a window of its own) usable while the dialog is up.
    if (visible && testAttribute(Qt::WA_ShowModal) && windowModality() == Qt::ApplicationModal &&
        parentWidget())
        setWindowModality(Qt::WindowModal);
    QDialog::setVisible(visible);
}

void TFormVelB::OkBtnClick() {
    modalResult_ = TModalResult::Ok;
    accept();
}

void TFormVelB::CancelBtnClick() {
    modalResult_ = TModalResult::Cancel;
    reject();
}

void TFormVelB::HelpBtnClick() {
    ShowFormHelp();
}

void TFormVelB::done(int result) {
    if (modalResult_ == TModalResult::None) {
        // accept() and reject() called by a derived dialog, or the title bar's close.
        if (result == QDialog::Accepted)
            modalResult_ = TModalResult::Ok;
        else if (isModal())
            modalResult_ = TModalResult::Cancel;
    }
    if (modalResult_ != TModalResult::Cancel) SaveLayout();
    QDialog::done(result);
}

void TFormVelB::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        modalResult_ = TModalResult::None;
        FormShown();
    }
    QDialog::showEvent(event);
}

void TFormVelB::closeEvent(QCloseEvent* event) {
    if (!CloseEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFormVelB::keyPressEvent(QKeyEvent* event) {
    if (HandleDialogKey(event)) {
        event->accept();
        return;
    }
    // A plain Escape without a usable Cancel button does nothing, as it would with one
    // disabled; QDialog would close the dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
