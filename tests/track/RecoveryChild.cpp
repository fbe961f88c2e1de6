// The program the recovery tests kill: a track of the windows' kind (it keeps a recovery
// record) working on a user's file, its states in $TMPDIR, until it is killed.
//   recovery_child edits <user file> [<reference folder>]
//     prints "ready", then makes twenty edits and prints the number of completed changes
//     after each one, then waits to be killed. With a reference folder, it copies each state there
//     as <n>.wav and the undo names as names.txt, and ends.
//   recovery_child take <user file> <input device name>
//     records over 1 s .. 9 s of the track and prints "recording" once the take runs.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/WaveIn.h"
#include "tests/track/TrackFixture.h"

namespace {

void Report(const std::string& line) {
    const std::string text = line + "\n";
    (void)!::write(STDOUT_FILENO, text.data(), text.size());
}

// Edit n of the twenty: every kind of change the track makes, on stretches that move.
void Edit(TVelTrack& track, int n) {
    const int32_t frame = 4;
    const int32_t length = track.DataLength;
    const int32_t from = (length / 23 * (n % 7)) / frame * frame;
    const int32_t to = std::min(length, from + (length / 5) / frame * frame);
    track.SelStart = from;
    track.SelEnd = to;
    track.SetHasSelection(true);
    switch (n % 6) {
    case 0:
        track.Copy();
        track.WaitForWorker();
        track.Insert();
        break;
    case 1:
        track.StartFade(100, 0);
        break;
    case 2:
        track.Delete();
        break;
    case 3:
        track.StartDistortion(60, 40, 1, 50, 50);
        break;
    case 4:
        track.Clear();
        break;
    default:
        track.StartEqualizer(50, {100, 50, 0, 150, 100, 100, 50, 0, 100, 200});
        break;
    }
    track.WaitForWorker();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    RecordingOwner owner;
    RecordingSink sink;
    THeadlessTrackView view;
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    TVelTrack track(owner, sink, view, clipboard, &fileLock);
    track.EnableRecovery();
    track.FileName = argv[2];
    track.Reopen();
    track.WaitForWorker();
    if (track.TrackState() != tsReady) return 3;

    if (mode == "edits") {
        track.SetStartOffsetText("00:01.50000"); // the song's place of the track comes back too
        const std::string reference = argc > 3 ? argv[3] : "";
        Report("ready");
        for (int n = 0; n < 20; ++n) {
            Edit(track, n);
            const std::size_t done = track.UndoFiles.empty() ? 0 : track.UndoFiles.size() - 1;
            if (!reference.empty()) {
                WriteFile(reference + "/" + std::to_string(done) + ".wav",
                          ReadFile(track.FileName));
                std::ofstream names(reference + "/names.txt");
                for (const std::string& name : track.UndoNames)
                    names << name << "\n";
            }
            Report(std::to_string(done));
        }
        // Killed from here on, the track is at rest with all twenty changes unsaved.
        if (reference.empty()) ::pause();
        return 0;
    }
    if (mode == "take" && argc > 3) {
        track.SetSoundDevice(nullptr, track.Format());
        const auto devices = EnumerateInputDevices();
        int device = -1;
        for (std::size_t i = 0; i < devices.size(); ++i)
            if (devices[i].productName == argv[3]) device = static_cast<int>(i);
        if (device < 0) return 5;
        track.SetInputDevice(device);
        const int32_t second = static_cast<int32_t>(track.Format().nAvgBytesPerSec);
        track.SelStart = second;
        track.SelEnd = 9 * second;
        track.SetHasSelection(true);
        track.PlayPosition = track.StartOffset + second;
        if (!track.StartRecording()) return 4;
        while (track.TrackState() != tsRecording)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        Report("recording");
        track.WaitForWorker();
        Report("done");
        return 0;
    }
    return 2;
}
