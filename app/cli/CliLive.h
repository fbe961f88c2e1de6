// Pieces shared by the commands that run live on the sound server (play, record): Ctrl-C
// handling, a view that draws nothing, and the usage-error exit.
#pragma once

#include <signal.h>

#include <string>

#include "track/HeadlessView.h"

// Catches SIGINT for its lifetime (the command turns it into a Stop) and restores the previous
// handler afterwards.
class TInterruptCatcher {
  public:
    TInterruptCatcher();
    ~TInterruptCatcher();
    TInterruptCatcher(const TInterruptCatcher&) = delete;
    TInterruptCatcher& operator=(const TInterruptCatcher&) = delete;
    bool Interrupted() const;

  private:
    struct sigaction previous_ {};
};

// Live commands show the position on one line; progress lines per block would hide it, and no
// picture files are left beside the user's files.
class TLiveView : public THeadlessTrackView {
  public:
    TLiveView() : THeadlessTrackView(false) {}
};

// Prints the problem and the hint to stderr; returns the exit status of bad arguments (2).
int LiveUsageError(const std::string& problem);
