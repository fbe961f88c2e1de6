#include "studio/StudioWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/widgets/VelMpnl.h"

namespace {

constexpr int kDesignWidth = 650;  // [px]
constexpr int kDesignHeight = 542; // [px]

QAction* AddItem(QMenu* menu, const QString& caption, const QString& hint) {
    QAction* action = menu->addAction(caption);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    return action;
}

} // namespace

TFormStudio::TFormStudio(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormStudio"));
    setWindowTitle(QStringLiteral("Wavestack")); // until shown; then the song's name

    // The MDI area over the message panel; no status bar, the panel is the status line.
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    mdiArea_ = new QMdiArea(centre);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mPanel_ = new TVelMpnl(centre);
    mPanel_->setObjectName(QStringLiteral("MPanel"));
    column->addWidget(mdiArea_, 1);
    column->addWidget(mPanel_, 0);
    setCentralWidget(centre);

    BuildMenus();
    resize(kDesignWidth, kDesignHeight);
}

TFormStudio::~TFormStudio() {
    // Nothing may wait on the panel's error box while the window goes away.
    mPanel_->SetHoldWorkers(false);
}

void TFormStudio::BuildMenus() {
    QMenuBar* bar = menuBar();

    fileMenu_ = bar->addMenu(QStringLiteral("&File"));
    fileMenu_->menuAction()->setStatusTip(QStringLiteral("File related commands"));
    exitAction_ =
        AddItem(fileMenu_, QStringLiteral("E&xit"), QStringLiteral("Exit the application"));
    connect(exitAction_, &QAction::triggered, this, &TFormStudio::ExitClick);

    windowMenu_ = bar->addMenu(QStringLiteral("&Window"));
    windowMenu_->menuAction()->setStatusTip(
        QStringLiteral("Window related commands such as Tile and Cascade"));
    connect(AddItem(windowMenu_, QStringLiteral("&Cascade"),
                    QStringLiteral("Arrange windows to overlap")),
            &QAction::triggered, this, &TFormStudio::CascadeClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Tile"),
                    QStringLiteral("Arrange windows without overlap")),
            &QAction::triggered, this, &TFormStudio::TileClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Arrange Icons"),
                    QStringLiteral("Arrange window icons at bottom of main window")),
            &QAction::triggered, this, &TFormStudio::ArrangeIconsClick);
    connect(AddItem(windowMenu_, QStringLiteral("&Minimize All"),
                    QStringLiteral("Minimize all windows")),
            &QAction::triggered, this, &TFormStudio::MinimizeAllClick);
    // The Window menu also lists the child windows, as the frame's window list.
    connect(windowMenu_, &QMenu::aboutToShow, this, &TFormStudio::FillWindowList);

    helpMenu_ = bar->addMenu(QStringLiteral("&Help"));
    helpMenu_->menuAction()->setStatusTip(QStringLiteral("Help topics"));
    QAction* contents = AddItem(helpMenu_, QStringLiteral("&Contents and Index"),
                                QStringLiteral("Help contents and index"));
    // There are no help pages to show yet; the item stays greyed until there are.
    contents->setEnabled(false);
    helpMenu_->addSeparator();
    aboutAction_ = AddItem(helpMenu_, QStringLiteral("&About"), QStringLiteral("About Wavestack"));
    connect(aboutAction_, &QAction::triggered, this, &TFormStudio::AboutClick);
}

void TFormStudio::FillWindowList() {
    for (QAction* action : windowListActions_) {
        windowMenu_->removeAction(action);
        delete action;
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> children = mdiArea_->subWindowList();
    if (children.isEmpty()) return;
    windowListActions_.append(windowMenu_->addSeparator());
    QMdiSubWindow* active = mdiArea_->activeSubWindow();
    for (QMdiSubWindow* child : children) {
        QAction* action = windowMenu_->addAction(child->windowTitle());
        action->setCheckable(true);
        action->setChecked(child == active);
        QPointer<QMdiSubWindow> target(child);
        connect(action, &QAction::triggered, this, [this, target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            mdiArea_->setActiveSubWindow(target);
        });
        windowListActions_.append(action);
    }
}

void TFormStudio::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    setWindowTitle(QStringLiteral("New Song"));
}

void TFormStudio::ExitClick() {
    close();
}

void TFormStudio::CascadeClick() {
    mdiArea_->cascadeSubWindows();
}

void TFormStudio::TileClick() {
    mdiArea_->tileSubWindows();
}

void TFormStudio::ArrangeIconsClick() {
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

void TFormStudio::MinimizeAllClick() {
    const QList<QMdiSubWindow*> children = mdiArea_->subWindowList();
    for (auto it = children.crbegin(); it != children.crend(); ++it)
        (*it)->showMinimized();
}

void TFormStudio::AboutClick() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Wavestack"));
    auto* layout = new QVBoxLayout(&about);
    auto* picture = new QLabel(&about);
    picture->setAlignment(Qt::AlignCenter);
    picture->setTextFormat(Qt::PlainText);
    QString text = QStringLiteral("Wavestack");
    if (!QCoreApplication::applicationVersion().isEmpty())
        text += QStringLiteral(" ") + QCoreApplication::applicationVersion();
    text += QStringLiteral("\nMultitrack wave recorder and editor");
    picture->setText(text);
    picture->setMinimumSize(300, 120);
    layout->addWidget(picture);
    about.exec();
}
