// The Save Preset dialog: asks for the name a page's settings are saved under, prefilled with
// the text the page's preset list shows. OK is enabled, and the default button, only while
// the name is not empty. UI thread only.
#pragma once

#include <QString>

#include "ui/widgets/FormVelB.h"

class QLineEdit;

class TFormSavePreset : public TFormVelB {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 4020;

    explicit TFormSavePreset(QWidget* parent = nullptr);

    void SetName(const QString& name);
    QString Name() const;
    QLineEdit* NameEdit() const { return name_; }

  private:
    void NameChange();

    QLineEdit* name_ = nullptr;
};
