// The effects dialog as its track window sees it: a child window of the main window, linked
// to one track, that the track window keeps placed under itself and tells to refresh whenever
// the track's state changes or the track is saved. The effects dialog derives from it; the
// track window makes it through the factory the main window installs. UI thread only.
#pragma once

#include <functional>

#include "ui/widgets/FormVelMc.h"

class TFormTrack;
class TVelTrack;

class TTrackEffectsDialog : public TFormVelMc {
    Q_OBJECT
  public:
    explicit TTrackEffectsDialog(TFormVelM& mainWindow);
    ~TTrackEffectsDialog() override;

    // The track's state or effect state changed: the dialog's controls follow.
    virtual void Refresh() {}

    // Makes the dialog of `window`'s `track`, not shown yet; null when there is none to make.
    using Factory = std::function<TTrackEffectsDialog*(TFormVelM& mainWindow, TFormTrack& window,
                                                       TVelTrack& track)>;
};
