#include "ui/widgets/FormVelParts.h"

#include <QVBoxLayout>

#include "ui/widgets/Help.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

template <class TButton>
TButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* picture) {
    auto* button = new TButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->SetPicture(QString::fromLatin1(picture));
    button->SetBtnSize(bsSmall); // a size of its own, so that the panel's size reaches it
    return button;
}

} // namespace

TFormVelParts BuildFormVelParts(QWidget& form) {
    form.setProperty("velBaseDialog", true);
    TFormVelParts parts;

    parts.nPanel = new TVelBtnBmpPnl(&form);
    parts.nPanel->setObjectName(QStringLiteral("N_Panel"));
    parts.nPanel->SetBtnSize(bsSmall);
    parts.okBtn = MakeButton<TVElBtnBmpD>(parts.nPanel, "OkBtn", "Ok", "ok");
    parts.okBtn->SetDefault(true);
    parts.cancelBtn = MakeButton<TVElBtnBmpD>(parts.nPanel, "CancelBtn", "Cancel", "cancel");
    parts.cancelBtn->SetCancel(true);
    parts.helpBtn = MakeButton<TVelBtnBmp>(parts.nPanel, "HelpBtn", "Help", "help");
    parts.nPanel->AddButton(parts.okBtn);
    parts.nPanel->AddButton(parts.cancelBtn);
    parts.nPanel->AddRightButton(parts.helpBtn);
    parts.helpBtn->setVisible(HelpAvailable());

    parts.client = new QWidget(&form);
    parts.client->setObjectName(QStringLiteral("Client"));

    parts.mPanel = new TVelMpnl(&form);
    parts.mPanel->setObjectName(QStringLiteral("MPanel"));

    auto* column = new QVBoxLayout(&form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(parts.nPanel, 0);
    column->addWidget(parts.client, 1);
    column->addWidget(parts.mPanel, 0);
    return parts;
}
