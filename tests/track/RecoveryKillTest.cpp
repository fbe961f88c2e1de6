// A track killed with SIGKILL at random points, in a child process, and taken up again from
// its recovery record: the last completed state comes back byte for byte with its undo list,
// a take comes back up to what it had written, and after the answer no file is left behind.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "tests/track/TrackFixture.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

struct TChild {
    pid_t pid = -1;
    int out = -1; // the child's standard output
    std::string read;

    TChild(const std::vector<std::string>& args) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out = pipeFds[0];
    }
    ~TChild() {
        Kill();
        if (out >= 0) ::close(out);
    }
    // Reads what the child printed until `line` or its end.
    bool WaitForLine(const std::string& line) {
        for (;;) {
            if (read.find(line + "\n") != std::string::npos) return true;
            char buffer[256];
            const ssize_t n = ::read(out, buffer, sizeof buffer);
            if (n <= 0) return false;
            read.append(buffer, static_cast<std::size_t>(n));
        }
    }
    int Kill() {
        if (pid <= 0) return -1;
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Whatever is left in the pipe after the child has ended.
    std::string Rest() {
        char buffer[256];
        ssize_t n;
        while ((n = ::read(out, buffer, sizeof buffer)) > 0)
            read.append(buffer, static_cast<std::size_t>(n));
        return read;
    }
};

// The last number the child printed: the changes it had completed.
int LastCompleted(const std::string& printed) {
    int last = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1)
        last = std::atoi(printed.substr(start, end - start).c_str());
    return last;
}

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class RecoveryKillTest : public TrackTest {
  protected:
    std::string Left() {
        std::string names;
        for (const std::string& name : TempFiles())
            names += " " + name;
        return "left:" + names;
    }
    // A track of the windows' kind taking up the one orphan the kill left.
    std::unique_ptr<TVelTrack> RecoverOrphan(const TRecoveryRecord& record) {
        auto recovered = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
        EXPECT_TRUE(recovered->RecoverFrom(record));
        recovered->WaitForWorker();
        EXPECT_EQ(recovered->TrackState(), tsReady);
        return recovered;
    }
    const std::string child = RECOVERY_CHILD;
};

TEST_F(RecoveryKillTest, TwentyEditsKilledAtRandomComeBackAtTheLastCompletedState) {
    const std::string user = userDir + "/song.wav";
    WriteFile(user, WaveBytes(cd, Pattern(6 * 176400, 7)));
    const Bytes original = ReadFile(user);
    const std::string reference = root + "/reference";
    mkdir(reference.c_str(), 0700);

    {
        TChild run({child, "edits", user, reference});
        ASSERT_EQ(run.Wait(), 0) << run.Rest();
    }
    ASSERT_TRUE(TempFiles().empty()) << "a track that ended well leaves nothing";
    // The kills fall anywhere from the first edit to a little past the twentieth.
    std::chrono::steady_clock::time_point started;
    {
        TChild timed({child, "edits", user});
        ASSERT_TRUE(timed.WaitForLine("ready"));
        started = std::chrono::steady_clock::now();
        ASSERT_TRUE(timed.WaitForLine("20"));
    }
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        (std::chrono::steady_clock::now() - started) * 11 / 10);
    std::string error;
    for (const TRecoveryOrphan& orphan : FindOrphanRecords(tempDir))
        ASSERT_TRUE(DiscardOrphan(orphan.Record, error)) << error;
    const std::vector<std::string> names = Lines(reference + "/names.txt");
    ASSERT_EQ(names.size(), 21u);
    ASSERT_TRUE(TempFiles().empty());

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int64_t> when(0, whole.count());
    int recovered = 0, midChange = 0, discarded = 0;
    std::string completedRuns;
    for (int run = 0; run < 16; ++run) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run));
        TChild edits({child, "edits", user});
        ASSERT_TRUE(edits.WaitForLine("ready"));
        std::this_thread::sleep_for(std::chrono::microseconds(when(random)));
        edits.Kill();
        const int reported = LastCompleted(edits.Rest());
        ASSERT_EQ(ReadFile(user), original) << "the user's file is never touched";

        const std::vector<TRecoveryOrphan> orphans = FindOrphanRecords(tempDir);
        ASSERT_LE(orphans.size(), 1u);
        if (orphans.empty() || orphans[0].Record.Undo.empty()) {
            // Killed before the first change was complete: nothing to recover.
            EXPECT_EQ(reported, 0);
            std::string error;
            if (!orphans.empty()) {
                EXPECT_TRUE(DiscardOrphan(orphans[0].Record, error)) << error;
            }
            EXPECT_TRUE(TempFiles().empty()) << Left();
            continue;
        }
        midChange += orphans[0].Record.PendingState.empty() ? 0 : 1;
        if (run % 4 == 3) { // the user says No
            std::string error;
            EXPECT_TRUE(DiscardOrphan(orphans[0].Record, error)) << error;
            EXPECT_TRUE(TempFiles().empty()) << Left();
            ++discarded;
            continue;
        }
        std::unique_ptr<TVelTrack> back = RecoverOrphan(orphans[0].Record);
        const int completed = static_cast<int>(back->UndoFiles.size()) - 1;
        completedRuns += " " + std::to_string(completed);
        EXPECT_GE(completed, reported) << "a change the program had finished was lost";
        ASSERT_LE(completed, 20);
        EXPECT_EQ(ReadFile(back->FileName),
                  ReadFile(reference + "/" + std::to_string(completed) + ".wav"));
        EXPECT_EQ(back->UndoFiles[0], user);
        for (int k = 1; k < completed; ++k)
            EXPECT_EQ(ReadFile(back->UndoFiles[static_cast<std::size_t>(k)]),
                      ReadFile(reference + "/" + std::to_string(k) + ".wav"))
                << "undo state " << k;
        EXPECT_EQ(back->UndoNames,
                  std::vector<std::string>(names.begin(), names.begin() + completed + 1));
        EXPECT_TRUE(back->Modified());
        EXPECT_EQ(back->StartOffset, 264600); // 1.5 s of 44100 Hz 16-bit stereo
        EXPECT_EQ(back->StartOffsetText, "00:01.50000");
        EXPECT_TRUE(FindOrphanRecords(tempDir).empty()) << "the running track owns the record";
        // The recovered track works on: one undo gives the state before.
        if (completed >= 2) {
            back->Undo();
            back->WaitForWorker();
            EXPECT_EQ(ReadFile(back->FileName),
                      ReadFile(reference + "/" + std::to_string(completed - 1) + ".wav"));
        }
        back.reset();
        EXPECT_TRUE(TempFiles().empty()) << "closing the recovered track leaves nothing " << Left();
        ++recovered;
    }
    std::printf("recovery: %d recovered (%d killed during a change; changes:%s), %d discarded, "
                "seed %u, runs over %lld ms\n",
                recovered, midChange, completedRuns.c_str(), discarded, seed,
                static_cast<long long>(whole.count() / 1000));
    EXPECT_GT(recovered, 0);
}

TEST_F(RecoveryKillTest, TakeKilledWhileRecordingComesBackUpToItsLastBuffer) {
    if (std::getenv("PULSE_SERVER") == nullptr)
        GTEST_SKIP() << "PULSE_SERVER not set: start tests/pulse/server.sh";
    const std::string user = userDir + "/take.wav";
    const Bytes before = Pattern(10 * 176400, 3);
    WriteFile(user, WaveBytes(cd, before));
    const int32_t takeStart = 176400;

    // Killed before the first buffer came back, then twice later in the take.
    int withTake = 0;
    for (const auto delay : {300ms, 4500ms, 7000ms}) {
        SCOPED_TRACE("killed " + std::to_string(delay.count()) + " ms into the take");
        // The child finds the microphone itself: this process never opens the sound server.
        TChild take({child, "take", user, "Test_Mic"});
        ASSERT_TRUE(take.WaitForLine("recording")) << take.Rest();
        std::this_thread::sleep_for(delay);
        take.Kill();

        const std::vector<TRecoveryOrphan> orphans = FindOrphanRecords(tempDir);
        ASSERT_EQ(orphans.size(), 1u);
        const TRecoveryRecord& record = orphans[0].Record;
        ASSERT_GE(record.PendingTakeStart, 0);
        // What the take had written when it was killed, as it lies on disk.
        const Bytes raw = ReadFile(record.PendingState);
        ASSERT_GE(raw.size(), 46u);
        const std::size_t written = std::min<std::size_t>((raw.size() - 46) / 4 * 4, before.size());

        std::printf("take killed %lld ms in: %.2f s of it recovered\n",
                    static_cast<long long>(delay.count()),
                    std::max<double>(static_cast<double>(written) - takeStart, 0) / 176400.0);
        std::unique_ptr<TVelTrack> back = RecoverOrphan(record);
        const Bytes data = DataOf(back->FileName);
        if (written <= static_cast<std::size_t>(takeStart)) {
            EXPECT_EQ(back->UndoFiles.size(), 0u) << "no take audio: nothing but the user's file";
            EXPECT_EQ(data, before);
        } else {
            ++withTake;
            ASSERT_EQ(back->UndoNames, (std::vector<std::string>{"Original", "Recording"}));
            ASSERT_EQ(data.size(), before.size());
            EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<long>(written),
                                   raw.begin() + 46))
                << "the take as far as it was written";
            EXPECT_TRUE(std::equal(data.begin() + static_cast<long>(written), data.end(),
                                   before.begin() + static_cast<long>(written)))
                << "the rest of the track as it was";
            EXPECT_NE(
                Bytes(data.begin() + takeStart, data.begin() + static_cast<long>(written)),
                Bytes(before.begin() + takeStart, before.begin() + static_cast<long>(written)))
                << "the recorded stretch holds what the input heard";
        }
        back.reset();
        EXPECT_TRUE(TempFiles().empty()) << Left();
        EXPECT_TRUE(FindOrphanRecords(tempDir).empty());
    }
    EXPECT_EQ(withTake, 2);
}

} // namespace
