// The main window's part of crash recovery: at start, the tracks a killed instance left
// unsaved are offered back.
#include <QMessageBox>

#include "platform/TempFiles.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/TrackCaptions.h"
#include "track/RecoveryRecord.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelMpnl.h"

void TFormStudio::OfferRecovery() {
    for (const TRecoveryOrphan& orphan : FindOrphanRecords(TempFolder())) {
        std::string error;
        if (!OrphanHasUnsavedWork(orphan) ||
            QMessageBox::question(this, windowTitle(),
                                  QString::fromStdString(RecoveryQuestion(orphan.Record)),
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            if (!DiscardOrphan(orphan.Record, error)) MPanel()->AddMessage(kMsgWarning, error);
            continue;
        }
        // A saved track comes back under its file's caption, so that a song read next that
        // holds the file finds it open; a never-saved one as a new track.
        const std::string& user = orphan.Record.UserFileName;
        const std::optional<std::string> caption = !user.empty() && !IsTemporaryFile(user)
                                                       ? NormaliseTrackName(user)
                                                       : NewTrackCaption(ChildCaptions());
        if (!caption) continue; // no caption left: the states stay for a later start
        bool created = false;
        TFormTrack* window = FindOrCreateTrackChild(*caption, created);
        if (window && created)
            window->InitialiseRecoveredTrack(sound_->Device(), settings_.outputFormat,
                                             orphan.Record);
    }
}
