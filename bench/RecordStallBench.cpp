// How long the Record command holds the user-interface thread: a punch-in near the end of a
// ten-minute track (44100 Hz, 16-bit stereo) while a second track plays. RecordAll is what the
// window runs on its thread; the time from its call to its return is the stall. Each round
// records half a second, stops all, and takes the take back with Undo. Prints every round and
// the longest.
//
// Usage: record_stall_bench [ROUNDS] [DIR]
//   ROUNDS  punch-ins measured (default 5)
//   DIR     where the two wave files are made (default $TMPDIR or /tmp), in a folder of their
//           own that is deleted again at the end.
// With RECORD_BENCH_COLD=1 (as root) the page cache is dropped before each round, so the part
// before the take is read from the disk, as after a fresh start.
// Needs a sound server with an input: run it against the private one of tests/pulse/server.sh,
//   eval "$(tests/pulse/server.sh start)"; build/default/bench/record_stall_bench;
//   tests/pulse/server.sh stop
// Without PULSE_SERVER it says so and does nothing. Build with the default preset.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/VelTrackUtils.h"
#include "audio/WaveFormat.h"
#include "bench/ToneFile.h"
#include "platform/WaveIn.h"
#include "studio/core/SoundSetup.h"
#include "studio/core/Transport.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"

namespace {

constexpr int kTrackSeconds = 600;

struct BenchSink : TMessageSink {
    std::mutex mutex;
    int errors = 0;
    void AddMessage(uint8_t kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        if (kind == kMsgError) {
            ++errors;
            std::fprintf(stderr, "message %u: %s\n", kind, text.c_str());
        }
    }
};

// The private server's loop-back microphone when there is one, else the default input.
int32_t InputDevice() {
    const std::vector<TWaveInCaps> inputs = EnumerateInputDevices();
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].identifier.find("Test_Mic") != std::string::npos)
            return static_cast<int32_t>(i);
    return WAVE_MAPPER;
}

void DropPageCache() {
    ::sync();
    if (std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
        std::fputs("3\n", f);
        std::fclose(f);
    }
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        std::printf("record_stall_bench: PULSE_SERVER is not set, skipped "
                    "(start tests/pulse/server.sh first)\n");
        return 0;
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const bool cold = std::getenv("RECORD_BENCH_COLD") != nullptr;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: record_stall_bench [ROUNDS] [DIR]\n");
        return 2;
    }
    const std::string folder = bench::MakeBenchFolder("record-bench", argc > 2 ? argv[2] : nullptr);
    if (folder.empty()) return 1;
    const auto cleanUp = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    };
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    const std::string takePath = folder + "/take.wav";
    const std::string otherPath = folder + "/other.wav";
    if (!bench::WriteToneFile(takePath, cd, kTrackSeconds, 330.0) ||
        !bench::WriteToneFile(otherPath, cd, kTrackSeconds, 220.0)) {
        std::fprintf(stderr, "record_stall_bench: cannot write the wave files in %s\n",
                     folder.c_str());
        cleanUp();
        return 1;
    }
    const std::string tempFolder = folder + "/tmp";
    mkdir(tempFolder.c_str(), 0700);
    setenv("TMPDIR", tempFolder.c_str(), 1);

    int result = 0;
    {
        BenchSink sink;
        TTrackOwner owner;
        THeadlessTrackView view(false);
        TMemoryClipboard clipboard;
        TVELCriticalSection fileLock;
        TSoundSetup setup(sink);
        if (!setup.Initialise("", cd)) {
            std::fprintf(stderr, "record_stall_bench: no sound device\n");
            cleanUp();
            return 1;
        }
        TVelTrack recorder(owner, sink, view, clipboard, &fileLock);
        TVelTrack other(owner, sink, view, clipboard, &fileLock);
        for (auto [track, path] : {std::pair{&recorder, takePath}, std::pair{&other, otherPath}}) {
            track->SetSoundDevice(setup.Device(), cd);
            track->FileName = path;
            track->Reopen();
            track->WaitForWorker();
        }
        recorder.SetInputDevice(InputDevice());
        const std::vector<TTransportTrack> song = {{&recorder, false}, {&other, false}};
        std::vector<double> stalls;
        for (int round = 0; round < rounds && result == 0; ++round) {
            // Nine minutes in: the part of the track before the take is 95 MB.
            recorder.SelStart = TimeTextToBytes("09:00.00000", cd);
            recorder.SelEnd = TimeTextToBytes("09:05.00000", cd);
            recorder.SetHasSelection(true);
            recorder.Cue(recorder.SelStart);
            other.Cue(recorder.SelStart);
            if (cold) DropPageCache();
            const auto before = std::chrono::steady_clock::now();
            const bool started = RecordAll(song, recorder, false);
            const auto after = std::chrono::steady_clock::now();
            if (!started) {
                std::fprintf(stderr, "record_stall_bench: the recording did not start\n");
                result = 1;
                break;
            }
            stalls.push_back(Milliseconds(after - before));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            StopAll(song);
            recorder.WaitForWorker();
            other.WaitForWorker();
            recorder.Undo();
            recorder.WaitForWorker();
            std::printf("round %d: Record held the calling thread %.1f ms\n", round + 1,
                        stalls.back());
        }
        if (!stalls.empty())
            std::printf("longest: %.1f ms over %zu punch-ins 9 minutes into a 10-minute track\n",
                        *std::max_element(stalls.begin(), stalls.end()), stalls.size());
        if (sink.errors != 0) result = 1;
    }
    cleanUp();
    return result;
}
