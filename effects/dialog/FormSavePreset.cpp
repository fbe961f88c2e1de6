#include "effects/dialog/FormSavePreset.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/widgets/VelButtons.h"

TFormSavePreset::TFormSavePreset(QWidget* parent) : TFormVelB(parent) {
    setObjectName(QStringLiteral("FormSavePreset"));
    setWindowTitle(QStringLiteral("Save Preset"));
    SetHelpContext(kHelpContext);
    auto* label = new QLabel(QStringLiteral("Save this preset as "), ClientArea());
    name_ = new QLineEdit(ClientArea());
    name_->setObjectName(QStringLiteral("Name"));
    label->setBuddy(name_);
    auto* row = new QHBoxLayout(ClientArea());
    row->setContentsMargins(8, 8, 8, 8);
    row->addWidget(label);
    row->addWidget(name_, 1);
    connect(name_, &QLineEdit::textChanged, this, &TFormSavePreset::NameChange);
    resize(360, 130);
    NameChange();
}

void TFormSavePreset::SetName(const QString& name) {
    name_->setText(name);
    name_->selectAll();
}

QString TFormSavePreset::Name() const {
    return name_->text();
}

void TFormSavePreset::NameChange() {
    const bool named = !name_->text().isEmpty();
    OkBtn()->setEnabled(named);
    OkBtn()->SetDefault(named);
}
