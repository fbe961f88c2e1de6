#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "platform/TempFiles.h"
#include "tests/platform/TempFilesTestFolder.h"

namespace {

// Sets $TMPDIR for the scope of a test and puts the old value back.
class TTmpDirScope {
  public:
    explicit TTmpDirScope(const char* value) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old, hadOld_ = true;
        if (value) {
            ::setenv("TMPDIR", value, 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ~TTmpDirScope() {
        if (hadOld_) {
            ::setenv("TMPDIR", old_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

  private:
    std::string old_;
    bool hadOld_ = false;
};

std::string FileName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

} // namespace

TEST(TempFiles, NamesAreUniqueEmptyPrivateAndInTheTempFolder) {
    TTestFolder folder;
    const TTmpDirScope scope((folder.Path() + "//").c_str());
    const std::regex pattern("^WAV[0-9A-F]+\\.TMP$");
    std::set<std::string> names;
    for (int i = 0; i < 300; ++i) {
        std::string error;
        const std::string path = MakeTempFileName(error);
        ASSERT_FALSE(path.empty()) << error;
        EXPECT_EQ(path.substr(0, folder.Path().size() + 1), folder.Path() + "/");
        EXPECT_TRUE(std::regex_match(FileName(path), pattern)) << path;
        EXPECT_TRUE(IsTemporaryFile(path));
        names.insert(path);
        if (i == 0) {
            struct stat st {};
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(st.st_size, 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
    }
    EXPECT_EQ(names.size(), 300u);
    EXPECT_EQ(folder.Entries().size(), 300u);

    // Without $TMPDIR the folder is /tmp.
    const TTmpDirScope unset(nullptr);
    EXPECT_EQ(TempFolder(), "/tmp");
    std::string error;
    const std::string inTmp = MakeTempFileName(error);
    ASSERT_FALSE(inTmp.empty()) << error;
    EXPECT_EQ(inTmp.substr(0, 8), "/tmp/WAV");
    ::unlink(inTmp.c_str());
}

TEST(TempFiles, ThreadsNeverShareAName) {
    TTestFolder folder;
    const TTmpDirScope scope(folder.Path().c_str());
    std::mutex mutex;
    std::set<std::string> names;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                std::string error;
                const std::string path = MakeTempFileName(error);
                std::lock_guard lock(mutex);
                names.insert(path);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(names.count(""), 0u);
}

TEST(TempFiles, TakenNamesAndPlantedLinksAreSkippedNeverOpened) {
    TTestFolder folder;
    WriteBytes(folder / "victim", "precious");
    WriteBytes(folder / "WAV00000001.TMP", "someone else's");
    ASSERT_EQ(::symlink((folder / "victim").c_str(), (folder / "WAV00000002.TMP").c_str()), 0);
    ASSERT_EQ(
        ::symlink((folder / "created-through-link").c_str(), (folder / "WAV00000003.TMP").c_str()),
        0);
    ASSERT_EQ(::mkdir((folder / "WAV00000004.TMP").c_str(), 0700), 0);
    uint32_t next = 1;
    std::string path;
    int errorNumber = 0;
    const int fd = CreateUniqueFile(
        folder.Path(), "WAV", ".TMP", 0600, [&] { return next++; }, path, errorNumber);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(path, folder / "WAV00000005.TMP");
    EXPECT_EQ(ReadBytes(folder / "victim"), "precious");
    EXPECT_EQ(ReadBytes(folder / "WAV00000001.TMP"), "someone else's");
    EXPECT_FALSE(std::filesystem::exists(folder / "created-through-link"));

    // Every name taken: the search gives up with EEXIST instead of looping for ever.
    const int none = CreateUniqueFile(
        folder.Path(), "WAV", ".TMP", 0600, [] { return 1u; }, path, errorNumber);
    EXPECT_EQ(none, -1);
    EXPECT_EQ(errorNumber, EEXIST);
    EXPECT_TRUE(path.empty());
}

TEST(TempFiles, FailureGivesTheErrorNumberAndNoName) {
    TTestFolder folder;
    std::string error;
    {
        const TTmpDirScope scope((folder / "missing").c_str());
        EXPECT_EQ(MakeTempFileName(error), "");
        EXPECT_EQ(error, "GetTempFileName " + std::to_string(ENOENT));
    }
    {
        WriteBytes(folder / "plain", "x");
        const TTmpDirScope scope((folder / "plain").c_str());
        EXPECT_EQ(MakeTempFileName(error), "");
        EXPECT_EQ(error, "GetTempFileName " + std::to_string(ENOTDIR));
    }
    if (::geteuid() != 0) {
        std::filesystem::create_directory(folder / "ro");
        ::chmod((folder / "ro").c_str(), 0555);
        const TTmpDirScope scope((folder / "ro").c_str());
        EXPECT_EQ(MakeTempFileName(error), "");
        EXPECT_EQ(error, "GetTempFileName " + std::to_string(EACCES));
    }
    std::string siblingError;
    EXPECT_EQ(MakeSiblingTempFile(folder / "missing/target.wav", siblingError), "");
    EXPECT_NE(siblingError.find("(2)"), std::string::npos) << siblingError;
}

TEST(TempFiles, PathTexts) {
    EXPECT_TRUE(IsTemporaryFile("/tmp/WAV1A.TMP"));
    EXPECT_TRUE(IsTemporaryFile("take.tmp"));
    EXPECT_TRUE(IsTemporaryFile("/x/take.TmP"));
    EXPECT_FALSE(IsTemporaryFile("/tmp/WAV1A.TMPBMP"));
    EXPECT_FALSE(IsTemporaryFile("/songs/take1.wav"));
    EXPECT_FALSE(IsTemporaryFile("/songs.tmp/take1"));
    EXPECT_FALSE(IsTemporaryFile("/songs/take1.tm"));
    EXPECT_FALSE(IsTemporaryFile("/songs/take1.tmpx"));
    EXPECT_FALSE(IsTemporaryFile(""));
    EXPECT_EQ(PictureFileName("/tmp/WAV1A.TMP"), "/tmp/WAV1A.TMPBMP");
    EXPECT_EQ(PictureFileName("/songs/take1.wav"), "/songs/take1.wavBMP");
    EXPECT_EQ(FolderOf("/songs/take1.wav"), "/songs");
    EXPECT_EQ(FolderOf("/songs//take1.wav"), "/songs");
    EXPECT_EQ(FolderOf("/take1.wav"), "/");
    EXPECT_EQ(FolderOf("take1.wav"), ".");
}

TEST(TempFiles, SafeSaveFromSiblingCopySyncAndReplace) {
    TTestFolder folder;
    const std::string target = folder / "take1.wav";
    WriteBytes(target, "old take");
    // Crosses two block boundaries and ends in a partial block.
    std::string source(2 * kCopyBlockBytes + 3, '\0');
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<char>(i * 7 + i / 4099);
    WriteBytes(folder / "WORK.TMP", source);

    std::string error;
    const std::string sibling = MakeSiblingTempFile(target, error);
    ASSERT_FALSE(sibling.empty()) << error;
    EXPECT_EQ(FolderOf(sibling), folder.Path());
    EXPECT_EQ(FileName(sibling).substr(0, 11), ".wavestack-");
    {
        TTempFileGuard guard(sibling);
        ASSERT_TRUE(CopyFileContents(folder / "WORK.TMP", sibling, error)) << error;
        ASSERT_TRUE(SyncFile(sibling, error)) << error;
        ASSERT_TRUE(ReplaceFile(sibling, target, error)) << error;
        guard.Release();
    }
    EXPECT_EQ(ReadBytes(target), source);
    EXPECT_FALSE(std::filesystem::exists(sibling));

    // Failures name the file and leave the target alone; the guard removes the leftover.
    {
        const std::string leftover = MakeSiblingTempFile(target, error);
        ASSERT_FALSE(leftover.empty());
        TTempFileGuard guard(leftover);
        error.clear();
        EXPECT_FALSE(CopyFileContents(folder / "nothing.wav", leftover, error));
        EXPECT_NE(error.find("nothing.wav"), std::string::npos) << error;
        error.clear();
        EXPECT_FALSE(CopyFileContents(target, folder / "no/dir.wav", error));
        EXPECT_NE(error.find("no/dir.wav"), std::string::npos) << error;
        error.clear();
        EXPECT_FALSE(ReplaceFile(folder / "gone.tmp", target, error));
        EXPECT_FALSE(error.empty());
        error.clear();
        EXPECT_FALSE(SyncFile(folder / "gone.tmp", error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(ReadBytes(target), source);
    EXPECT_EQ(folder.Entries().size(), 2u); // take1.wav and WORK.TMP
}
