// The base form every window of the system derives from, beside its Qt class (QDialog,
// QMainWindow, or the QWidget of an MDI child): the settings object that keeps the window's
// layout, the flag of the window's Close command, the help context, and the wiring that all
// forms share (button panels that follow each other's look, Enter/Escape, F1). UI thread only.
#pragma once

#include <QList>
#include <QWidget>
#include <memory>

class QKeyEvent;
class TCTXForm;

// How a dialog or child window was closed; the layout is saved for Ok and None.
enum class TModalResult { None, Ok, Cancel };

class TFormVel {
  public:
    // `form` is the Qt object this base form is part of; it outlives this object.
    explicit TFormVel(QWidget& form);
    virtual ~TFormVel();
    TFormVel(const TFormVel&) = delete;
    TFormVel& operator=(const TFormVel&) = delete;

    // The settings object, made at its first use (not in a constructor, so that the section
    // is the final class's name: "TFormStudio", "TFormOrganize", ...).
    TCTXForm& Ctx();
    // Writes the layout in one batch; false when the file refused it.
    bool SaveLayout();

    // The window's Close command (enabled at creation). Disabled, a close from the title bar,
    // the window's menu or the keyboard is refused; closing through the form's own buttons
    // (OK, Cancel) still works.
    bool CloseEnabled() const { return closeEnabled_; }
    void SetCloseEnabled(bool enabled);

    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int context) { helpContext_ = context; }
    // The help viewer at this form's page.
    void ShowFormHelp() const;

    // Every button panel of the form follows a change made on one of them: its button size
    // and background colour go to the other panels, its options to the other containers.
    // Done when the form is first shown; call again for panels added later.
    void RouteButtonPanels();

  protected:
    // From the form's showEvent: the first time, routes the panels and restores the layout.
    void FormShown();
    // Enter clicks the enabled default button, Escape the enabled cancel button, only
    // without Shift, Ctrl or Alt; F1 opens the form's help. True when the key was used.
    bool HandleDialogKey(QKeyEvent* event);
    bool HandleHelpKey(QKeyEvent* event);

    // The widget whose window state and size the layout keeps, when not the form itself.
    virtual QWidget* LayoutFrame() { return nullptr; }
    // After SetCloseEnabled changed the flag.
    virtual void CloseEnabledChanged(bool /*enabled*/) {}

    QWidget& Form() const { return form_; }

  private:
    QWidget& form_;
    std::unique_ptr<TCTXForm> ctx_;
    bool closeEnabled_ = true;
    bool shownOnce_ = false;
    int helpContext_ = 0;
};

// The widgets of type T that belong to `form` itself: its descendants, leaving out those of
// other windows inside it (separate windows, MDI sub-windows, other forms).
template <class T> QList<T*> OwnComponents(QWidget& form);

// Implementation detail of OwnComponents.
void CollectOwnWidgets(QWidget& parent, QList<QWidget*>& out);

template <class T> QList<T*> OwnComponents(QWidget& form) {
    QList<QWidget*> widgets;
    CollectOwnWidgets(form, widgets);
    QList<T*> found;
    for (QWidget* widget : widgets)
        if (T* component = qobject_cast<T*>(widget)) found.append(component);
    return found;
}
