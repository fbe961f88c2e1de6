// The organize dialog: a numbered list of names that the user puts in a new order with Up and
// Down; the caller fills it (Add, then Finish), shows it modally and, after OK, reads Names()
// in their new order. Used to reorder the tracks and the presets of an effect, and to confirm
// a combine (Up and Down hidden, OK enabled at once). The rules are TOrganizeRows'.
#pragma once

#include <QStringList>

#include "studio/core/OrganizeRows.h"
#include "ui/widgets/FormVelB.h"

class QTableWidget;
class TVelBtnBmp;

class TFormOrganize : public TFormVelB {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 2050;
    static constexpr int kNumberColumnWidth = 30; // [px]
    static constexpr int kNameColumnMargin = 5;   // [px] the name column: dialog width - this

    explicit TFormOrganize(QWidget* parent = nullptr);

    void Add(const QString& name);
    // Once, after the last Add: drops the empty last row and selects the first.
    void Finish();
    // The names in row order.
    QStringList Names() const;

    // Before showing: hide Up and Down (a confirmation only), enable OK as the default button.
    void SetMoveButtonsVisible(bool visible);
    void EnableOk();

    QTableWidget* Grid() const { return grid_; }
    TVelBtnBmp* UpBtn() const { return upBtn_; }
    TVelBtnBmp* DownBtn() const { return downBtn_; }

  public slots:
    void UpBtnClick();
    void DownBtnClick();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Makes the grid and the buttons show what the rules say.
    void Show();
    void GridCurrentChanged(int row);

    TOrganizeRows rows_;
    QTableWidget* grid_ = nullptr;
    TVelBtnBmp* upBtn_ = nullptr;
    TVelBtnBmp* downBtn_ = nullptr;
};
