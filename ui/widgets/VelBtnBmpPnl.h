// The button panel along the top of a form: a lowered bevel holding bitmap buttons from the
// left (with separators) and a right-aligned group, and a context menu through which the user
// changes the look of the buttons: "Always Colored", "Big Buttons", "Background Color...".
// The form routes the three notifications to its other panels. UI thread only.
#pragma once

#include <QColor>
#include <QHBoxLayout>
#include <QList>
#include <functional>
#include <optional>

#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelContainer.h"

class QAction;
class QMenu;

class TVelBtnBmpPnl : public TVelContainer {
    Q_OBJECT
    Q_PROPERTY(int btnSize READ BtnSizeValue WRITE SetBtnSizeValue)
    Q_PROPERTY(int bgColor READ BgColor WRITE SetBgColor)
  public:
    // Asks the user for a colour, starting at `current` (invalid for none); no value when
    // the user cancels. Tests replace it; empty restores the colour dialog.
    using ColorChooser = std::function<std::optional<QColor>(QWidget* parent, QColor current)>;
    static void SetColorChooser(ColorChooser chooser);

    explicit TVelBtnBmpPnl(QWidget* parent = nullptr);

    TBtnSize BtnSize() const { return btnSize_; }
    // bsBig: the panel is 45 high, bsSmall: 35; every bitmap button on the panel whose own
    // size is big or small and differs gets the new size (bsNone leaves sizes alone). Then
    // BtnSizeChanged fires, the panel repaints and the menu's check marks follow.
    void SetBtnSize(TBtnSize size);
    int BtnSizeValue() const { return static_cast<int>(btnSize_); }
    void SetBtnSizeValue(int size); // values outside 0..2 are ignored

    // The panel's background colour value (-1 none); its bitmap buttons take it too.
    int BgColor() const { return bgColor_; }
    void SetBgColor(int color);

    // The whole row, including what is hidden for want of room: a window sized from its
    // hint shows every control.
    QSize sizeHint() const override;

    void AddButton(TVelBtnBmp* button);      // next in the left-to-right group
    QWidget* AddSeparator();                 // a small gap with a line in the left group
    void AddRightButton(TVelBtnBmp* button); // the right-aligned group (Help)
    // How long a control of the left group stays when the panel is too narrow for all of
    // them: higher stays longer; by default the earlier ones outlast the later ones.
    static void SetKeep(QWidget* control, int keep);

    // The context menu, built at its first use: the panel's own actions (added with
    // addAction before) and a separator, then the appearance items.
    QMenu* ContextMenu();
    QAction* AlwaysColoredAction();
    QAction* BigButtonsAction();
    QAction* BackgroundColorAction();

  signals:
    void BtnSizeChanged(int size);
    void BgColorChanged(int color);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void CoOptionsChanged() override;

  private:
    void BuildMenu();
    void UpdateChecks();
    void ChooseBackgroundColor();
    QList<TVelBtnBmp*> Buttons() const;
    void FitToWidth(); // hides what does not fit, shows again what does

    TBtnSize btnSize_ = bsNone;
    int bgColor_ = -1;
    QHBoxLayout* layout_;
    QHBoxLayout* leftGroup_;
    QHBoxLayout* rightGroup_;
    QList<QWidget*> fitHidden_; // hidden for want of room, not by the form
    QMenu* menu_ = nullptr;
    QAction* alwaysColored_ = nullptr;
    QAction* bigButtons_ = nullptr;
    QAction* backgroundColor_ = nullptr;
};
