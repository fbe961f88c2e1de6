#include "ui/widgets/FormVelMc.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

#include "ui/widgets/FormVelM.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

// The Close item of a sub-window's system menu (its last item with the Close shortcut).
QAction* SystemMenuClose(QMdiSubWindow& subWindow) {
    QMenu* menu = subWindow.systemMenu();
    if (!menu) return nullptr;
    const QList<QAction*> actions = menu->actions();
    for (auto it = actions.crbegin(); it != actions.crend(); ++it)
        if ((*it)->shortcut() == QKeySequence(QKeySequence::Close)) return *it;
    for (auto it = actions.crbegin(); it != actions.crend(); ++it)
        if (!(*it)->isSeparator()) return *it;
    return nullptr;
}

} // namespace

TFormVelMc::TFormVelMc(TFormVelM& owner)
    : QWidget(nullptr), TFormVel(static_cast<QWidget&>(*this)), owner_(&owner) {
    parts_ = BuildFormVelParts(*this);
    connect(parts_.okBtn, &TVElBtnBmpD::Click, this, &TFormVelMc::OkBtnClick);
    connect(parts_.cancelBtn, &TVElBtnBmpD::Click, this, &TFormVelMc::CancelBtnClick);
    connect(parts_.helpBtn, &TVelBtnBmp::Click, this, &TFormVelMc::HelpBtnClick);

    QMdiSubWindow* window =
        owner.MdiArea()->addSubWindow(this); // freed, with this form, when closed
    subWindow_ = window;
    window->installEventFilter(this);
    connect(window, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                const Qt::WindowStates shape = Qt::WindowMinimized | Qt::WindowMaximized;
                if (owner_ && (before & shape) != (now & shape))
                    owner_->ChildWindowStateChanged(this);
            });
}

TFormVelMc::~TFormVelMc() {
    parts_.mPanel->SetHoldWorkers(false);
    if (owner_) owner_->ChildClosed(this); // deleted without a close
}

QWidget* TFormVelMc::LayoutFrame() {
    return SubWindow();
}

void TFormVelMc::CloseEnabledChanged(bool enabled) {
    QMdiSubWindow* window = SubWindow();
    if (!window) return;
    if (QAction* close = SystemMenuClose(*window)) close->setEnabled(enabled);
}

bool TFormVelMc::CloseWindow() {
    QMdiSubWindow* window = SubWindow();
    return window && window->close();
}

void TFormVelMc::CloseWith(TModalResult result) {
    modalResult_ = result;
    if (!CloseWindow()) modalResult_ = TModalResult::None;
}

void TFormVelMc::OkBtnClick() {
    CloseWith(TModalResult::Ok);
}

void TFormVelMc::CancelBtnClick() {
    CloseWith(TModalResult::Cancel);
}

void TFormVelMc::HelpBtnClick() {
    ShowFormHelp();
}

void TFormVelMc::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShown();
    QWidget::showEvent(event);
}

bool TFormVelMc::eventFilter(QObject* watched, QEvent* event) {
    // The sub-window's close asks this form first (QMdiSubWindow closes its widget).
    if (watched == subWindow_ && event->type() == QEvent::Close) subWindowClosing_ = true;
    return QWidget::eventFilter(watched, event);
}

void TFormVelMc::closeEvent(QCloseEvent* event) {
    if (!subWindowClosing_ && subWindow_) {
        // close() on the form itself: close the whole child window instead, once this call
        // has returned (the form is still marked as closing until then).
        event->ignore();
        QMetaObject::invokeMethod(subWindow_.data(), &QWidget::close, Qt::QueuedConnection);
        return;
    }
    subWindowClosing_ = false;
    const bool refused = !CloseEnabled() && modalResult_ == TModalResult::None;
    if (refused || !CloseQuery()) {
        event->ignore();
        return;
    }
    if (modalResult_ != TModalResult::Cancel) SaveLayout();
    if (owner_) owner_->ChildClosed(this);
    event->accept();
}

void TFormVelMc::keyPressEvent(QKeyEvent* event) {
    if (HandleDialogKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
