// The application frame: the main window holding the track windows as children of an MDI
// area, on the base frame (button panel, menus, child list, message panel).
#pragma once

#include "ui/widgets/FormVelM.h"

class TFormStudio : public TFormVelM {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 1000;

    explicit TFormStudio(QWidget* parent = nullptr);
    ~TFormStudio() override;

  public slots:
    void AboutClick() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool shownOnce_ = false;
};
