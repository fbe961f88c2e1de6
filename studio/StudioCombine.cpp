// The main window's part in a combine: the core's sequence (studio/core/CombinePlan.h) acting
// on the window through this host.
#include "studio/StudioWindow.h"
#include "studio/core/CombinePlan.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

class TStudioCombineHost : public TCombineHost {
  public:
    explicit TStudioCombineHost(TFormStudio& studio) : studio_(studio) {}
    void SetMode(TStudioMode mode) override { studio_.SetMode(mode); }
    void RefreshControls() override { studio_.RefreshControls(); }
    bool MakeTarget() override { return studio_.MakeCombineTarget(); }
    void EnableStop() override { studio_.StopBtn()->setEnabled(true); }
    void SetTargetStart(const std::string& timeText) override {
        studio_.SetCombineTargetStart(timeText);
    }
    void SetTargetCaption(const std::string& caption) override {
        studio_.SetCombineTargetCaption(caption);
    }
    void ShowPreviousWindow() override { studio_.BackBtnClick(); }
    void CloseTarget() override { studio_.CloseCombineTarget(); }
    void ForgetTarget() override { studio_.combineTarget_ = nullptr; }

  private:
    TFormStudio& studio_;
};

void TFormStudio::ConfirmCombineNow() {
    TStudioCombineHost host(*this);
    ConfirmCombine(host, *MPanel());
}

void TFormStudio::PollCombineNow() {
    if (mode_ != TStudioMode::CombinePreparing && mode_ != TStudioMode::Combining) return;
    TStudioCombineHost host(*this);
    PollCombine(mode_, CombineTargetTrack(), UnmutedTracks(), host, *MPanel());
}
