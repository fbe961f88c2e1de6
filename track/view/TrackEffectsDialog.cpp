#include "track/view/TrackEffectsDialog.h"

TTrackEffectsDialog::TTrackEffectsDialog(TFormVelM& mainWindow) : TFormVelMc(mainWindow) {}

TTrackEffectsDialog::~TTrackEffectsDialog() = default;
