#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/FileReaper.h"
#include "tests/platform/TempFilesTestFolder.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// A closer that records which file each descriptor held and whether its name was already gone,
// and holds the reaper's thread at the gate until the test opens it.
struct TGatedCloser {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::vector<ino_t> closed;
    bool allUnlinked = true;

    void Close(int fd) {
        struct stat st {};
        const bool held = ::fstat(fd, &st) == 0;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return open; });
        closed.push_back(held ? st.st_ino : 0);
        allUnlinked = allUnlinked && held && st.st_nlink == 0;
        ::close(fd);
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

} // namespace

TEST(FileReaper, NamesGoAtOnceAndTheDataIsFreedInOrderOnItsThreadBeforeFlushAndTheEndReturn) {
    TTestFolder folder;
    const std::string a = folder / "a.TMP", b = folder / "b.TMP", c = folder / "c.TMP";
    for (const std::string& path : {a, b, c})
        WriteBytes(path, std::string(4096, 'x'));
    const std::string busy = folder / "busy";
    ::mkdir(busy.c_str(), 0700);
    WriteBytes(busy + "/inside", "y");
    const std::vector<ino_t> order = {InodeOf(a), InodeOf(b), InodeOf(c)};

    TGatedCloser closer;
    {
        TFileReaper reaper([&](int fd) { closer.Close(fd); });
        struct TOpenAtTheEnd { // a failed check must not leave the reaper's end at the gate
            TGatedCloser& gate;
            ~TOpenAtTheEnd() { gate.Open(); }
        } openAtTheEnd{closer};
        EXPECT_TRUE(reaper.Remove(a));
        EXPECT_FALSE(Exists(a)); // the name goes with the call, the data waits at the gate
        errno = 0;
        EXPECT_FALSE(reaper.Remove(folder / "missing.TMP"));
        EXPECT_EQ(errno, ENOENT);
        EXPECT_FALSE(reaper.Remove(busy)); // a folder is not unlinked, nor held
        EXPECT_TRUE(Exists(busy + "/inside"));
        EXPECT_TRUE(reaper.Remove(b)); // what failed before did not stop the queue
        EXPECT_TRUE(reaper.Remove(c));
        EXPECT_FALSE(Exists(b));
        EXPECT_FALSE(Exists(c));
        EXPECT_EQ(reaper.Pending(), 3u);

        std::atomic<bool> flushed{false};
        std::thread flusher([&] {
            reaper.Flush();
            flushed = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(flushed.load()); // Flush waits for the data, not only for the names
        closer.Open();
        flusher.join();
        EXPECT_EQ(reaper.Pending(), 0u);
        EXPECT_EQ(closer.closed, order);
        EXPECT_TRUE(closer.allUnlinked);
    }

    // The end frees what is still queued before it returns.
    TGatedCloser late;
    std::vector<ino_t> lateOrder;
    std::thread opener;
    {
        TFileReaper reaper([&](int fd) { late.Close(fd); });
        for (int i = 0; i < 5; ++i) {
            const std::string path = folder / ("late" + std::to_string(i) + ".TMP");
            WriteBytes(path, "z");
            lateOrder.push_back(InodeOf(path));
            EXPECT_TRUE(reaper.Remove(path));
        }
        opener = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            late.Open();
        });
    }
    opener.join();
    EXPECT_EQ(late.closed, lateOrder);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"busy"});
}

TEST(FileReaper, ThreadsShareTheProcessReaperAndEveryDescriptorIsClosedByTheFlush) {
    TTestFolder folder;
    const std::size_t descriptorsBefore = OpenDescriptors();
    constexpr int kThreads = 3, kFiles = 40;
    std::vector<std::thread> removers;
    std::atomic<int> removed{0};
    for (int t = 0; t < kThreads; ++t) {
        removers.emplace_back([&, t] {
            for (int i = 0; i < kFiles; ++i) {
                const std::string path =
                    folder / ("s" + std::to_string(t) + "-" + std::to_string(i) + ".TMP");
                WriteBytes(path, std::string(1000, 's'));
                removed += RemoveFileSoon(path) ? 1 : 0;
                if (i % 10 == 0) FlushRemovedFiles();
            }
        });
    }
    for (std::thread& remover : removers)
        remover.join();
    FlushRemovedFiles();
    EXPECT_EQ(removed.load(), kThreads * kFiles);
    EXPECT_TRUE(folder.Entries().empty());
    // The reaper's own thread holds no descriptor of its own, so every one opened is closed.
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}
