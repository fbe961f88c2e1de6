#include "platform/MmioFile.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/mmiotestXXXXXX";
    if (!::mkdtemp(pattern.data())) return "";
    return pattern;
}

TEST(MmioFile, MemoryBlockReportsGrowthInSteps) {
    auto block = TMemoryBlock::Create();
    ASSERT_TRUE(block);
    auto file = TMmioFile::OpenMemory(block, TMmioFile::Mode::CreateRead);
    ASSERT_TRUE(file);
    EXPECT_EQ(block->AllocatedSize(), 8192);

    // One byte at a time: the reported size stays a multiple of 8192 that covers the bytes.
    const uint8_t byte = 0x5A;
    for (int i = 1; i <= 20000; ++i) {
        ASSERT_EQ(file->Write(&byte, 1), 1);
        const int64_t expected = i <= 8192 ? 8192 : i <= 16384 ? 16384 : 24576;
        ASSERT_EQ(block->AllocatedSize(), expected) << "after " << i << " bytes";
    }

    // The real storage grows geometrically: 4 MB written in small pieces costs a few
    // reallocations, not one per 8 KiB.
    std::set<const uint8_t*> storages;
    const std::vector<uint8_t> piece(100, 1);
    for (int i = 0; i < 40000; ++i) {
        ASSERT_EQ(file->Write(piece.data(), 100), 100);
        storages.insert(block->Data());
    }
    EXPECT_LT(storages.size(), 20u);
    EXPECT_EQ(block->Size(), 20000 + 4000000);
    EXPECT_EQ(block->AllocatedSize(), (4020000 + 8191) / 8192 * 8192);

    // The block can be handed over; the file's bytes go with it.
    std::vector<uint8_t> taken = block->TakeBytes();
    EXPECT_EQ(taken.size(), 4020000u);
    EXPECT_EQ(block->Size(), 0);
}

TEST(MmioFile, MemoryFileReadSeekAndModes) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    auto block = TMemoryBlock::FromBytes(bytes, sizeof bytes);
    auto file = TMmioFile::OpenMemory(block, TMmioFile::Mode::Read);
    ASSERT_TRUE(file);
    uint8_t out[8] = {};
    EXPECT_EQ(file->Seek(3), 3);
    EXPECT_EQ(file->Read(out, 8), 2);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(file->Tell(), 5);
    EXPECT_EQ(file->Read(out, 8), 0); // at the end
    EXPECT_EQ(file->Seek(100), 100);  // past the end is allowed, reads nothing
    EXPECT_EQ(file->Read(out, 8), 0);
    EXPECT_EQ(file->Seek(-1), -1);
    EXPECT_EQ(file->Write(bytes, 1), -1); // opened for reading
    EXPECT_EQ(file->LastErrno(), EBADF);
    EXPECT_EQ(file->Size(), 5);
    EXPECT_FALSE(TMmioFile::OpenMemory(nullptr, TMmioFile::Mode::Read));
}

TEST(MmioFile, DiskFiles) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/a.bin";

    auto file = TMmioFile::OpenDisk(path, TMmioFile::Mode::CreateRead);
    ASSERT_TRUE(file);
    const uint8_t bytes[] = {10, 20, 30, 40};
    EXPECT_EQ(file->Write(bytes, 4), 4);
    EXPECT_EQ(file->Seek(1), 1);
    EXPECT_EQ(file->Write(bytes, 1), 1); // overwrite in place
    EXPECT_EQ(file->Tell(), 2);
    EXPECT_EQ(file->Size(), 4);
    EXPECT_TRUE(file->Flush());
    EXPECT_TRUE(file->Close());
    EXPECT_TRUE(file->Close()); // idempotent
    EXPECT_EQ(file->Read(nullptr, 1), -1);

    auto reader = TMmioFile::OpenDisk(path, TMmioFile::Mode::Read);
    ASSERT_TRUE(reader);
    uint8_t out[4] = {};
    EXPECT_EQ(reader->Read(out, 4), 4);
    EXPECT_EQ(out[1], 10);
    EXPECT_EQ(out[3], 40);
    EXPECT_EQ(reader->Write(bytes, 1), -1);
    reader.reset();

    // Create truncates an existing file.
    auto again = TMmioFile::OpenDisk(path, TMmioFile::Mode::CreateRead);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Size(), 0);
    again.reset();

    errno = 0;
    EXPECT_FALSE(TMmioFile::OpenDisk(dir + "/missing", TMmioFile::Mode::Read));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(TMmioFile::OpenDisk(dir, TMmioFile::Mode::Read));
    EXPECT_EQ(errno, EISDIR);
    // A FIFO would block a reader forever; it is refused at once.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(TMmioFile::OpenDisk(fifo, TMmioFile::Mode::Read));

    // A full device reports the reason with the failed write.
    auto full = TMmioFile::OpenDisk("/dev/full", TMmioFile::Mode::CreateRead);
    if (full) {
        EXPECT_EQ(full->Write(bytes, 4), -1);
        EXPECT_EQ(full->LastErrno(), ENOSPC);
    }

    ::unlink(fifo.c_str());
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
}

TEST(MmioFile, ResultTexts) {
    EXPECT_EQ(MmioResultText(MMIOERR_CHUNKNOTFOUND), "265 (chunk not found)");
    EXPECT_EQ(MmioResultText(MMIOERR_CANNOTWRITE, ENOSPC),
              "262 (cannot write: No space left on device)");
    EXPECT_EQ(MmioResultText(999), "999 (error 999)");
}

} // namespace
