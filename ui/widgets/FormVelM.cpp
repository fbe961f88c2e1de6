#include "ui/widgets/FormVelM.h"

#include <QAction>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ProfileFile.h"
#include "ui/widgets/CtxForm.h"
#include "ui/widgets/FormVelMc.h"
#include "ui/widgets/Help.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

const char* const kMaximizedKey = "MAXIMIZED";

QAction* AddItem(QMenu* menu, const QString& caption, const QString& hint) {
    QAction* action = menu->addAction(caption);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    return action;
}

QMenu* AddMenu(QMenuBar* bar, const QString& caption, const QString& hint) {
    QMenu* menu = bar->addMenu(caption);
    menu->menuAction()->setStatusTip(hint);
    menu->menuAction()->setToolTip(hint);
    menu->setToolTipsVisible(true); // the items' hints
    return menu;
}

TVelBtnBmp* MakeButton(QWidget* parent, const char* name, const char* caption,
                       const char* picture) {
    auto* button = new TVelBtnBmp(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall); // a size of its own, so that the panel's size reaches it
    return button;
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

TFormVelM::TFormVelM(QWidget* parent)
    : QMainWindow(parent), TFormVel(static_cast<QWidget&>(*this)) {
    // The button panel over the MDI area over the message panel; no status bar, the message
    // panel is the status line.
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    panel_ = new TVelBtnBmpPnl(centre);
    panel_->setObjectName(QStringLiteral("Panel"));
    mdiArea_ = new QMdiArea(centre);
    mdiArea_->setObjectName(QStringLiteral("MdiArea"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mPanel_ = new TVelMpnl(centre);
    mPanel_->setObjectName(QStringLiteral("MPanel"));
    column->addWidget(panel_, 0);
    column->addWidget(mdiArea_, 1);
    column->addWidget(mPanel_, 0);
    setCentralWidget(centre);

    BuildPanel();
    BuildMenus();
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (auto* child = window ? qobject_cast<TFormVelMc*>(window->widget()) : nullptr)
            ChildActivated(child);
    });
}

TFormVelM::~TFormVelM() {
    // The children go with the frame's widgets, after this frame's own members: they must
    // not reach back into it.
    for (TFormVelMc* child : findChildren<TFormVelMc*>())
        child->DetachFromOwner();
    // Nothing may wait on the panel's error box while the window goes away.
    mPanel_->SetHoldWorkers(false);
}

void TFormVelM::BuildPanel() {
    panel_->SetBtnSize(bsSmall);
    backBtn_ = MakeButton(panel_, "BackBtn", "Back", "back");
    forwardBtn_ = MakeButton(panel_, "ForwardBtn", "Forward", "forward");
    helpBtn_ = MakeButton(panel_, "HelpBtn", "Help", "help");
    panel_->AddButton(backBtn_);
    panel_->AddButton(forwardBtn_);
    panel_->AddRightButton(helpBtn_);
    backBtn_->setEnabled(false);
    forwardBtn_->setEnabled(false);
    helpBtn_->setVisible(HelpAvailable());
    connect(backBtn_, &TVelBtnBmp::Click, this, &TFormVelM::BackBtnClick);
    connect(forwardBtn_, &TVelBtnBmp::Click, this, &TFormVelM::ForwardBtnClick);
    connect(helpBtn_, &TVelBtnBmp::Click, this, &TFormVelM::HelpBtnClick);
}

void TFormVelM::BuildMenus() {
    QMenuBar* bar = menuBar();

    fileMenu_ = AddMenu(bar, QStringLiteral("&File"), QStringLiteral("File related commands"));
    exitAction_ =
        AddItem(fileMenu_, QStringLiteral("E&xit"), QStringLiteral("Exit the application"));
    connect(exitAction_, &QAction::triggered, this, &TFormVelM::ExitClick);

    windowMenu_ = AddMenu(bar, QStringLiteral("&Window"),
                          QStringLiteral("Window related commands such as Tile and Cascade"));
    connect(AddItem(windowMenu_, QStringLiteral("&Cascade"),
                    QStringLiteral("Arrange windows to overlap")),
            &QAction::triggered, this, &TFormVelM::CascadeClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Tile"),
                    QStringLiteral("Arrange windows without overlap")),
            &QAction::triggered, this, &TFormVelM::TileClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Arrange Icons"),
                    QStringLiteral("Arrange window icons at bottom of main window")),
            &QAction::triggered, this, &TFormVelM::ArrangeIconsClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Minimize All"),
                    QStringLiteral("Minimize all windows")),
            &QAction::triggered, this, &TFormVelM::MinimizeAllClick);
    connect(windowMenu_, &QMenu::aboutToShow, this, &TFormVelM::FillWindowList);

    helpMenu_ = AddMenu(bar, QStringLiteral("&Help"), QStringLiteral("Help topics"));
    contentsAction_ = AddItem(helpMenu_, QStringLiteral("&Contents and Index"),
                              QStringLiteral("Help contents and index"));
    connect(contentsAction_, &QAction::triggered, this, &TFormVelM::HelpBtnClick);
    helpMenu_->addSeparator();
    aboutAction_ = AddItem(helpMenu_, QStringLiteral("&About"), QStringLiteral("About"));
    connect(aboutAction_, &QAction::triggered, this, &TFormVelM::AboutClick);
    // Without help pages the frame offers no help at all.
    helpMenu_->menuAction()->setVisible(HelpAvailable());
}

TFormVelMc* TFormVelM::FromKey(TChildKey key) {
    return static_cast<TFormVelMc*>(key);
}

TChildNavigation::CaptionOf TFormVelM::CaptionOf() const {
    return [](TChildKey key) { return Utf8(FromKey(key)->windowTitle()); };
}

TChildNavigation::ShowOf TFormVelM::ShowOf() const {
    return [](TChildKey key) {
        const QMdiSubWindow* window = FromKey(key)->SubWindow();
        if (!window) return TChildShow::Normal;
        if (window->isMinimized()) return TChildShow::Minimized;
        if (window->isMaximized()) return TChildShow::Maximized;
        return TChildShow::Normal;
    };
}

int TFormVelM::ChildCount() const {
    return static_cast<int>(children_.Count());
}

TFormVelMc* TFormVelM::Child(int index) const {
    if (index < 0 || index >= ChildCount()) return nullptr;
    return FromKey(children_.At(static_cast<std::size_t>(index)));
}

TFormVelMc* TFormVelM::CurrentChild() const {
    return FromKey(children_.Current());
}

bool TFormVelM::AllChildrenAgreeToClose() const {
    return children_.AllAgreeToClose([](TChildKey key) { return FromKey(key)->CloseQuery(); });
}

TFormVelMc* TFormVelM::FindChildByCaption(const QString& caption) const {
    // Folded first, so that letters beyond ASCII compare without case too.
    const auto folded = [](TChildKey key) {
        return Utf8(FromKey(key)->windowTitle().toCaseFolded());
    };
    return FromKey(children_.FindByCaption(Utf8(caption.toCaseFolded()), folded));
}

// The area places a window by the size it has when shown, but the window's saved layout,
// read as it shows, may make it bigger: it is moved back inside the area where it fits, as far
// as it does, rather than left behind a scroll bar.
void TFormVelM::KeepInsideArea(QMdiSubWindow& window) {
    window.show();
    const QRect area = mdiArea_->viewport()->rect();
    const QRect placed = window.geometry();
    const int x = std::max(0, std::min(placed.x(), area.width() - placed.width()));
    const int y = std::max(0, std::min(placed.y(), area.height() - placed.height()));
    if (x != placed.x() || y != placed.y()) window.move(x, y);
}

TFindOrCreate TFormVelM::FindOrCreateChild(const QString& caption, const ChildFactory& create,
                                           TFormVelMc** child) {
    const auto folded = [](TChildKey key) {
        return Utf8(FromKey(key)->windowTitle().toCaseFolded());
    };
    const bool maximized = Ctx().File().ReadBool(Ctx().Section(), kMaximizedKey, false);
    const TFindOrCreatePlan plan =
        children_.PlanFindOrCreate(Utf8(caption.toCaseFolded()), maximized, folded, ShowOf());
    if (plan.existing) {
        TFormVelMc* found = FromKey(plan.existing);
        BringUp(TNavTarget{plan.existing, plan.restore});
        found->setFocus();
        if (child) *child = found;
        return TFindOrCreate::Existing;
    }
    TFormVelMc* made = create(*this);
    made->setWindowTitle(caption);
    AddChild(made);
    if (plan.maximize)
        made->SubWindow()->showMaximized();
    else
        KeepInsideArea(*made->SubWindow());
    mdiArea_->setActiveSubWindow(made->SubWindow());
    made->setFocus();
    if (child) *child = made;
    return TFindOrCreate::Created;
}

void TFormVelM::AddChild(TFormVelMc* child) {
    children_.Append(child);
}

bool TFormVelM::ReorderChildren(const QList<TFormVelMc*>& order) {
    std::vector<TChildKey> keys(order.begin(), order.end());
    return children_.Reorder(keys);
}

void TFormVelM::ChildActivated(TFormVelMc* child) {
    ApplyNavButtons(children_.Activate(child, CaptionOf()));
}

void TFormVelM::ChildClosed(TFormVelMc* child) {
    if (const auto buttons = children_.Remove(child)) ApplyNavButtons(*buttons);
}

void TFormVelM::ChildWindowStateChanged(TFormVelMc* /*child*/) {
    if (const auto buttons = children_.WindowStateChanged(ShowOf())) ApplyNavButtons(*buttons);
}

void TFormVelM::ApplyNavButtons(const TNavButtons& buttons) {
    backBtn_->setEnabled(buttons.backEnabled);
    backBtn_->SetCaption(QStringLiteral("Back|") + QString::fromStdString(buttons.backHint));
    forwardBtn_->setEnabled(buttons.forwardEnabled);
    forwardBtn_->SetCaption(QStringLiteral("Forward|") +
                            QString::fromStdString(buttons.forwardHint));
}

void TFormVelM::BringUp(const TNavTarget& target) {
    QMdiSubWindow* window = FromKey(target.child)->SubWindow();
    if (!window) return;
    if (target.restore) window->showNormal();
    mdiArea_->setActiveSubWindow(window);
    window->raise();
}

void TFormVelM::BackBtnClick() {
    if (const auto target = children_.BackTarget(ShowOf())) BringUp(*target);
}

void TFormVelM::ForwardBtnClick() {
    if (const auto target = children_.ForwardTarget(ShowOf())) BringUp(*target);
}

void TFormVelM::HelpBtnClick() {
    ShowHelpContents(this);
}

void TFormVelM::FillWindowList() {
    for (QAction* action : windowListActions_) {
        windowMenu_->removeAction(action);
        delete action;
    }
    windowListActions_.clear();
    if (children_.Empty()) return;
    windowListActions_.append(windowMenu_->addSeparator());
    QMdiSubWindow* active = mdiArea_->currentSubWindow();
    for (TChildKey key : children_.Children()) {
        TFormVelMc* child = FromKey(key);
        QAction* action = windowMenu_->addAction(child->windowTitle());
        action->setCheckable(true);
        action->setChecked(child->SubWindow() == active);
        QPointer<QMdiSubWindow> target(child->SubWindow());
        connect(action, &QAction::triggered, this, [this, target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            mdiArea_->setActiveSubWindow(target);
        });
        windowListActions_.append(action);
    }
}

void TFormVelM::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShown();
    QMainWindow::showEvent(event);
}

void TFormVelM::closeEvent(QCloseEvent* event) {
    if (!CloseEnabled()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TFormVelM::keyPressEvent(QKeyEvent* event) {
    if (HandleHelpKey(event)) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TFormVelM::ExitClick() {
    {
        // The layout and "MAXIMIZED" reach the file in one write.
        TProfileBatch batch(Ctx().File());
        SaveLayout();
        if (QMdiSubWindow* active = mdiArea_->currentSubWindow())
            Ctx().File().WriteBool(Ctx().Section(), kMaximizedKey, active->isMaximized());
        batch.Commit();
    }
    close();
}

void TFormVelM::CascadeClick() {
    mdiArea_->cascadeSubWindows();
}

void TFormVelM::TileClick() {
    mdiArea_->tileSubWindows();
}

void TFormVelM::ArrangeIconsClick() {
    // Minimized children line up from the bottom-left corner of the area, row by row.
    const QRect area = mdiArea_->viewport()->rect();
    int x = 0;
    int y = area.bottom() + 1;
    int rowHeight = 0;
    for (QMdiSubWindow* child : mdiArea_->subWindowList()) {
        if (!child->isMinimized()) continue;
        const QSize size = child->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, size.height());
        child->move(x, y - size.height());
        x += size.width();
    }
}

void TFormVelM::MinimizeAllClick() {
    for (TChildKey key : children_.MinimizeAllOrder())
        if (QMdiSubWindow* window = FromKey(key)->SubWindow()) window->showMinimized();
    // Windows that are not listed (none of ours) go too.
    const QList<QMdiSubWindow*> all = mdiArea_->subWindowList();
    for (auto it = all.crbegin(); it != all.crend(); ++it)
        if (!(*it)->isMinimized()) (*it)->showMinimized();
}
