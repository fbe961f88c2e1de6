#include "ui/widgets/FormVel.h"

#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextEdit>

#include "ui/widgets/CtxForm.h"
#include "ui/widgets/Help.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

namespace {

// Marks a panel whose notifications are already routed, so that routing twice connects once.
const char* const kRoutedProperty = "velPanelRouted";

bool IsOtherWindow(const QWidget& widget) {
    return widget.isWindow() || qobject_cast<const QMdiSubWindow*>(&widget) ||
           widget.property(TCTXForm::kFormProperty).isValid();
}

bool NoModifiers(const QKeyEvent& event) {
    // The keypad's Enter carries the keypad flag; it is no modifier the user holds.
    return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// A text field that takes Enter for a new line keeps it.
bool FocusTakesEnter(const QWidget& form) {
    QWidget* focus = form.focusWidget();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) return !plain->isReadOnly();
    if (auto* rich = qobject_cast<QTextEdit*>(focus)) return !rich->isReadOnly();
    return false;
}

bool ClickIfUsable(QWidget& form, TVElBtnBmpD* button) {
    if (!button || !button->isEnabled() || !button->isVisibleTo(&form)) return false;
    button->PerformClick();
    return true;
}

} // namespace

void CollectOwnWidgets(QWidget& parent, QList<QWidget*>& out) {
    for (QObject* child : parent.children()) {
        if (!child->isWidgetType()) continue;
        auto* widget = static_cast<QWidget*>(child);
        if (IsOtherWindow(*widget)) continue;
        out.append(widget);
        CollectOwnWidgets(*widget, out);
    }
}

TFormVel::TFormVel(QWidget& form) : form_(form) {}

TFormVel::~TFormVel() = default;

TCTXForm& TFormVel::Ctx() {
    if (!ctx_) {
        ctx_ = std::make_unique<TCTXForm>(form_, form_.metaObject()->className());
        if (QWidget* frame = LayoutFrame()) ctx_->SetFrameWidget(frame);
    }
    return *ctx_;
}

bool TFormVel::SaveLayout() {
    return Ctx().Save();
}

void TFormVel::SetCloseEnabled(bool enabled) {
    if (enabled == closeEnabled_) return;
    closeEnabled_ = enabled;
    CloseEnabledChanged(enabled);
}

void TFormVel::ShowFormHelp() const {
    ShowHelp(&form_, helpContext_);
}

void TFormVel::RouteButtonPanels() {
    QWidget* form = &form_;
    for (TVelBtnBmpPnl* panel : OwnComponents<TVelBtnBmpPnl>(form_)) {
        if (panel->property(kRoutedProperty).toBool()) continue;
        panel->setProperty(kRoutedProperty, true);
        // The others are set with their signals blocked, so that they do not route back.
        QObject::connect(panel, &TVelBtnBmpPnl::BtnSizeChanged, panel, [form, panel](int size) {
            for (TVelBtnBmpPnl* other : OwnComponents<TVelBtnBmpPnl>(*form)) {
                if (other == panel || other->BtnSizeValue() == size) continue;
                const QSignalBlocker block(other);
                other->SetBtnSizeValue(size);
            }
        });
        QObject::connect(panel, &TVelBtnBmpPnl::BgColorChanged, panel, [form, panel](int color) {
            for (TVelBtnBmpPnl* other : OwnComponents<TVelBtnBmpPnl>(*form)) {
                if (other == panel || other->BgColor() == color) continue;
                const QSignalBlocker block(other);
                other->SetBgColor(color);
            }
        });
        QObject::connect(panel, &TVelContainer::OptionsChanged, panel, [form, panel](int options) {
            for (TVelContainer* other : OwnComponents<TVelContainer>(*form)) {
                if (other == panel || other->CoOptions() == options) continue;
                const QSignalBlocker block(other);
                other->SetCoOptions(options);
            }
        });
    }
}

void TFormVel::FormShown() {
    if (shownOnce_) return;
    shownOnce_ = true;
    RouteButtonPanels();
    Ctx().Restore();
}

bool TFormVel::HandleDialogKey(QKeyEvent* event) {
    if (!NoModifiers(*event)) return false;
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (FocusTakesEnter(form_)) return false;
        for (TVElBtnBmpD* button : OwnComponents<TVElBtnBmpD>(form_))
            if (button->Default()) return ClickIfUsable(form_, button);
        return false;
    }
    if (key == Qt::Key_Escape) {
        for (TVElBtnBmpD* button : OwnComponents<TVElBtnBmpD>(form_))
            if (button->Cancel()) return ClickIfUsable(form_, button);
        return false;
    }
    return HandleHelpKey(event);
}

bool TFormVel::HandleHelpKey(QKeyEvent* event) {
    if (event->key() != Qt::Key_F1 || !NoModifiers(*event)) return false;
    ShowFormHelp();
    return true;
}
