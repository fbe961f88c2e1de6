// wavestack-cli: the track operations of the editor from the command line.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/CliArgs.h"
#include "app/cli/CliTrack.h"
#include "app/cli/CmdCombine.h"
#include "app/cli/CmdPlay.h"
#include "app/cli/CmdRecord.h"

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (IsCombineCommand(words)) return RunCombine(words);
    // play and record report live on the terminal; a leading --quiet is accepted and ignored.
    std::vector<std::string> live = words;
    while (!live.empty() && (live[0] == "--quiet" || live[0] == "-q"))
        live.erase(live.begin());
    if (IsPlayCommand(live)) return RunPlayCommand(live);
    if (IsRecordCommand(live)) return RunRecordCommand(live);
    TCliArgs args;
    std::string error;
    if (!ParseCliArgs(words, args, error)) {
        std::fprintf(stderr, "wavestack-cli: %s\nTry 'wavestack-cli --help'.\n", error.c_str());
        return 2;
    }
    if (args.command == TCliCommand::Help) {
        std::fputs((CliUsage() + CombineUsage() + PlayUsage() + RecordUsage()).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    TCliSink sink(args.quiet, ::isatty(STDERR_FILENO) == 1);
    return args.command == TCliCommand::Info ? RunInfo(args, sink) : RunTrackCommand(args, sink);
}
