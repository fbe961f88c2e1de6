#include "app/cli/CliLive.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted.store(true);
}

} // namespace

TInterruptCatcher::TInterruptCatcher() {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
}

TInterruptCatcher::~TInterruptCatcher() {
    sigaction(SIGINT, &previous_, nullptr);
}

bool TInterruptCatcher::Interrupted() const {
    return g_interrupted.load();
}

int LiveUsageError(const std::string& problem) {
    std::fprintf(stderr, "wavestack-cli: %s\nTry 'wavestack-cli --help'.\n", problem.c_str());
    return 2;
}
