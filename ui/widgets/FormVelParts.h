// The widgets of a base dialog, shared by the dialog (TFormVelB) and the MDI child
// (TFormVelMc), which carries the dialog's behaviour without being a QDialog: the button
// panel N_Panel along the top with OkBtn (default), CancelBtn (cancel) and HelpBtn (right,
// hidden without help pages), the form's own area, and the message panel MPanel along the
// bottom. UI thread only.
#pragma once

class QWidget;
class TVelBtnBmp;
class TVelBtnBmpPnl;
class TVElBtnBmpD;
class TVelMpnl;

struct TFormVelParts {
    TVelBtnBmpPnl* nPanel = nullptr;
    TVElBtnBmpD* okBtn = nullptr;
    TVElBtnBmpD* cancelBtn = nullptr;
    TVelBtnBmp* helpBtn = nullptr;
    QWidget* client = nullptr; // the derived form's controls go here
    TVelMpnl* mPanel = nullptr;
};

// Builds the parts into `form` (which gets their layout) and marks it as a base dialog
// (dynamic property "velBaseDialog", looked for by controls that report to its MPanel).
TFormVelParts BuildFormVelParts(QWidget& form);
