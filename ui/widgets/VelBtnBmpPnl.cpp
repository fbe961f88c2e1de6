#include "ui/widgets/VelBtnBmpPnl.h"

#include <QAction>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>

#include "ui/core/ButtonRules.h"

#include "ui/widgets/VelColor.h"

namespace {

TVelBtnBmpPnl::ColorChooser& Chooser() {
    static TVelBtnBmpPnl::ColorChooser chooser;
    return chooser;
}

std::optional<QColor> AskColor(QWidget* parent, QColor current) {
    if (Chooser()) return Chooser()(parent, current);
    const QColor chosen = QColorDialog::getColor(current.isValid() ? current : Qt::white, parent,
                                                 QStringLiteral("Background Color"));
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

constexpr int kSpacing = 2;        // [px] between buttons
constexpr int kSeparatorWidth = 8; // [px] a separator's gap, its line in the middle
const char* const kKeepProperty = "panelKeep";

// The width a layout gives a control: its hint within its limits.
int ControlWidth(const QWidget& control) {
    return control.sizeHint()
        .expandedTo(control.minimumSize())
        .boundedTo(control.maximumSize())
        .width();
}

} // namespace

void TVelBtnBmpPnl::SetColorChooser(ColorChooser chooser) {
    Chooser() = std::move(chooser);
}

TVelBtnBmpPnl::TVelBtnBmpPnl(QWidget* parent)
    : TVelContainer(parent), layout_(new QHBoxLayout(this)), leftGroup_(new QHBoxLayout()),
      rightGroup_(new QHBoxLayout()) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout_->setContentsMargins(3, 2, 3, 2);
    layout_->setSpacing(kSpacing);
    leftGroup_->setSpacing(kSpacing);
    rightGroup_->setSpacing(kSpacing);
    layout_->addLayout(leftGroup_);
    layout_->addStretch(1);
    layout_->addLayout(rightGroup_);
}

void TVelBtnBmpPnl::AddButton(TVelBtnBmp* button) {
    button->setParent(this);
    button->SetCoOptions(CoOptions());
    button->SetColor(bgColor_);
    if (btnSize_ != bsNone && PanelResizesButton(btnSize_, button->BtnSize()))
        button->SetBtnSize(btnSize_);
    leftGroup_->addWidget(button, 0, Qt::AlignVCenter);
}

QWidget* TVelBtnBmpPnl::AddSeparator() {
    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedWidth(kSeparatorWidth);
    leftGroup_->addWidget(line);
    return line;
}

void TVelBtnBmpPnl::AddRightButton(TVelBtnBmp* button) {
    button->setParent(this);
    button->SetCoOptions(CoOptions());
    button->SetColor(bgColor_);
    if (PanelResizesButton(btnSize_, button->BtnSize())) button->SetBtnSize(btnSize_);
    rightGroup_->addWidget(button, 0, Qt::AlignVCenter);
}

void TVelBtnBmpPnl::SetKeep(QWidget* control, int keep) {
    control->setProperty(kKeepProperty, keep);
}

QSize TVelBtnBmpPnl::sizeHint() const {
    QSize hint = TVelContainer::sizeHint();
    for (QWidget* control : fitHidden_)
        hint.rwidth() += ControlWidth(*control) + leftGroup_->spacing();
    return hint;
}

void TVelBtnBmpPnl::resizeEvent(QResizeEvent* event) {
    TVelContainer::resizeEvent(event);
    FitToWidth();
}

void TVelBtnBmpPnl::showEvent(QShowEvent* event) {
    TVelContainer::showEvent(event);
    FitToWidth();
}

void TVelBtnBmpPnl::FitToWidth() {
    // Before the panel is shown its width means nothing yet; it is fitted when shown.
    if (!isVisible()) return;
    const QMargins margins = layout_->contentsMargins();
    int available = contentsRect().width() - margins.left() - margins.right();
    if (rightGroup_->count() > 0)
        available -= rightGroup_->sizeHint().width() + 2 * layout_->spacing();
    std::vector<QWidget*> controls;
    std::vector<TPanelItem> items;
    for (int i = 0; i < leftGroup_->count(); ++i) {
        QWidget* control = leftGroup_->itemAt(i)->widget();
        // One the form hid itself takes no room and is left alone.
        if (!control || (control->isHidden() && !fitHidden_.contains(control))) continue;
        const QVariant keep = control->property(kKeepProperty);
        controls.push_back(control);
        items.push_back({ControlWidth(*control), keep.isValid() ? keep.toInt() : 10000 - i});
    }
    const std::vector<bool> shown = FitPanelItems(items, leftGroup_->spacing(), available);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        QWidget* control = controls[i];
        if (shown[i] && fitHidden_.removeAll(control) > 0) control->show();
        if (!shown[i] && !fitHidden_.contains(control)) {
            fitHidden_.append(control);
            control->hide();
        }
    }
}

QList<TVelBtnBmp*> TVelBtnBmpPnl::Buttons() const {
    return findChildren<TVelBtnBmp*>(QString(), Qt::FindDirectChildrenOnly);
}

void TVelBtnBmpPnl::SetBtnSize(TBtnSize size) {
    if (size == btnSize_) return;
    btnSize_ = size;
    if (size != bsNone) {
        setFixedHeight(PanelHeight(size));
        for (TVelBtnBmp* button : Buttons())
            if (PanelResizesButton(size, button->BtnSize())) button->SetBtnSize(size);
    }
    FitToWidth();
    emit BtnSizeChanged(static_cast<int>(size));
    update();
    UpdateChecks();
}

void TVelBtnBmpPnl::SetBtnSizeValue(int size) {
    if (size >= bsBig && size <= bsNone) SetBtnSize(static_cast<TBtnSize>(size));
}

void TVelBtnBmpPnl::SetBgColor(int color) {
    if (color < 0) color = -1;
    if (color == bgColor_) return;
    bgColor_ = color;
    for (TVelBtnBmp* button : Buttons())
        button->SetColor(color);
    update();
    emit BgColorChanged(color);
}

void TVelBtnBmpPnl::CoOptionsChanged() {
    UpdateChecks();
}

void TVelBtnBmpPnl::paintEvent(QPaintEvent* event) {
    if (bgColor_ >= 0) {
        QPainter painter(this);
        painter.fillRect(contentsRect(), ColorFromValue(bgColor_));
    }
    TVelContainer::paintEvent(event); // the bevel
}

void TVelBtnBmpPnl::BuildMenu() {
    if (menu_ != nullptr) return;
    menu_ = new QMenu(this);
    const QList<QAction*> own = actions();
    if (!own.isEmpty()) {
        menu_->addActions(own);
        menu_->addSeparator();
    }
    QAction* title = menu_->addAction(QStringLiteral("Change Tool Bar Appearance:"));
    title->setEnabled(false);
    menu_->addSeparator();
    alwaysColored_ = menu_->addAction(QStringLiteral("Always Colored"));
    alwaysColored_->setCheckable(true);
    connect(alwaysColored_, &QAction::triggered, this,
            [this] { SetCoOptions(CoOptions() ^ coAlwaysColor); });
    bigButtons_ = menu_->addAction(QStringLiteral("Big Buttons"));
    bigButtons_->setCheckable(true);
    connect(bigButtons_, &QAction::triggered, this,
            [this] { SetBtnSize(btnSize_ == bsBig ? bsSmall : bsBig); });
    backgroundColor_ = menu_->addAction(QStringLiteral("Background Color..."));
    connect(backgroundColor_, &QAction::triggered, this, [this] { ChooseBackgroundColor(); });
    UpdateChecks();
}

void TVelBtnBmpPnl::UpdateChecks() {
    if (menu_ == nullptr) return;
    alwaysColored_->setChecked((CoOptions() & coAlwaysColor) != 0);
    bigButtons_->setChecked(btnSize_ == bsBig);
}

void TVelBtnBmpPnl::ChooseBackgroundColor() {
    const std::optional<QColor> chosen = AskColor(this, ColorFromValue(bgColor_));
    if (chosen && chosen->isValid()) SetBgColor(ValueFromColor(*chosen));
}

QMenu* TVelBtnBmpPnl::ContextMenu() {
    BuildMenu();
    return menu_;
}

QAction* TVelBtnBmpPnl::AlwaysColoredAction() {
    BuildMenu();
    return alwaysColored_;
}

QAction* TVelBtnBmpPnl::BigButtonsAction() {
    BuildMenu();
    return bigButtons_;
}

QAction* TVelBtnBmpPnl::BackgroundColorAction() {
    BuildMenu();
    return backgroundColor_;
}

void TVelBtnBmpPnl::contextMenuEvent(QContextMenuEvent* event) {
    ContextMenu()->popup(event->globalPos());
    event->accept();
}
