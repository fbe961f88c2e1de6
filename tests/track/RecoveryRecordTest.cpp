#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/TempFiles.h"
#include "tests/platform/TempFilesTestFolder.h"
#include "track/RecoveryRecord.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A record with every field set and undo names that a key=value line could not hold as they
// are: "=", a line break, a carriage return at the end, a backslash escape look-alike, blanks.
TRecoveryRecord SampleRecord(const TTestFolder& folder, int undoCount = 3) {
    TRecoveryRecord r;
    r.UserFileName = "/home/me/songs/take=1\nfinal.wav";
    r.StartOffset = -44100;
    r.WorkingState = folder / "WAV0000000A.TMP";
    const char* names[] = {"Cut", " Gain = 3 dB ", "Paste\nagain", "Echo\r", "C:\\x41\\n"};
    for (int i = 0; i < undoCount; ++i)
        r.Undo.push_back({folder / ("WAV0000010" + std::to_string(i) + ".TMP"), names[i % 5]});
    return r;
}

// Writes `record` from a child process that then exits, and returns the child's record.
TRecoveryRecord WriteFromExitedChild(const TTestFolder& folder, TRecoveryRecord record) {
    const std::string pathFile = folder / "child-path";
    const pid_t child = ::fork();
    if (child == 0) {
        std::string error;
        const bool ok = WriteRecoveryRecord(folder.Path(), record, error);
        if (ok) WriteBytes(pathFile, record.Path);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TRecoveryRecord read;
    std::string error;
    EXPECT_TRUE(ReadRecoveryRecord(ReadBytes(pathFile), read, error)) << error;
    ::unlink(pathFile.c_str());
    EXPECT_EQ(read.Pid, child);
    return read;
}

} // namespace

TEST(RecoveryRecord, RoundTripsEveryFieldAndReplacesInPlace) {
    TTestFolder folder;
    TRecoveryRecord record = SampleRecord(folder, 5);
    std::string error;
    ASSERT_TRUE(WriteRecoveryRecord(folder.Path(), record, error)) << error;
    EXPECT_EQ(FolderOf(record.Path), folder.Path());
    EXPECT_EQ(record.Path.substr(record.Path.size() - 4), ".REC");
    EXPECT_EQ(record.Pid, ::getpid());
    EXPECT_NE(record.ProcessStart, 0u);
    TRecoveryRecord read;
    ASSERT_TRUE(ReadRecoveryRecord(record.Path, read, error)) << error;
    EXPECT_EQ(read, record);

    // A later change replaces the same file; a shorter undo list leaves no old entry behind.
    const std::string path = record.Path;
    record.Undo.resize(1);
    record.WorkingState = folder / "WAV0000000B.TMP";
    ASSERT_TRUE(WriteRecoveryRecord(folder.Path(), record, error)) << error;
    EXPECT_EQ(record.Path, path);
    ASSERT_TRUE(ReadRecoveryRecord(path, read, error)) << error;
    EXPECT_EQ(read, record);
    EXPECT_EQ(folder.Entries().size(), 1u); // no temporary left beside it

    ASSERT_TRUE(RemoveRecoveryRecord(record, error)) << error;
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(ReadRecoveryRecord(path, read, error));
    EXPECT_TRUE(RemoveRecoveryRecord(record, error)); // already gone is fine
}

TEST(RecoveryRecord, CutOrDamagedRecordIsRefusedNeverHalfRead) {
    TTestFolder folder;
    TRecoveryRecord record = SampleRecord(folder);
    std::string error;
    ASSERT_TRUE(WriteRecoveryRecord(folder.Path(), record, error)) << error;
    const std::string bytes = ReadBytes(record.Path);
    const std::string copy = folder / "WAV0000FFFF.REC";
    int refused = 0;
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        WriteBytes(copy, bytes.substr(0, cut));
        TRecoveryRecord read;
        if (ReadRecoveryRecord(copy, read, error)) {
            EXPECT_EQ(read.Undo, record.Undo) << "cut at " << cut;
            EXPECT_EQ(read.WorkingState, record.WorkingState) << "cut at " << cut;
        } else {
            ++refused;
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(read, TRecoveryRecord{});
        }
    }
    // Only the final line end may go: everything shorter is refused.
    EXPECT_GE(refused, static_cast<int>(bytes.size()) - 1);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        WriteBytes(copy, damaged);
        TRecoveryRecord read;
        if (ReadRecoveryRecord(copy, read, error)) {
            read.Path = record.Path;
            EXPECT_EQ(read, record) << "byte " << at << " changed the record unnoticed";
        }
    }
    WriteBytes(copy, std::string(kMaxRecoveryRecordBytes + 1, 'x'));
    TRecoveryRecord read;
    EXPECT_FALSE(ReadRecoveryRecord(copy, read, error));
}

// A writer killed in the middle of replacing its record leaves the old record or the new one.
TEST(RecoveryRecord, KilledWriterLeavesAWholeRecord) {
    TTestFolder folder;
    TRecoveryRecord record = SampleRecord(folder, 40);
    std::string error;
    ASSERT_TRUE(WriteRecoveryRecord(folder.Path(), record, error)) << error;
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            TRecoveryRecord mine = record;
            for (int i = 0;; ++i) {
                mine.StartOffset = i;
                std::string childError;
                if (!WriteRecoveryRecord(folder.Path(), mine, childError)) ::_exit(1);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 + round * 397 % 5000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        TRecoveryRecord read;
        ASSERT_TRUE(ReadRecoveryRecord(record.Path, read, error)) << error << " round " << round;
        // The old offset, or one the killed child wrote in whole.
        EXPECT_TRUE(read.StartOffset == record.StartOffset || read.StartOffset >= 0);
    }
    // At most the one unfinished next version is left, and it goes with the record.
    EXPECT_LE(folder.Entries().size(), 2u);
    ASSERT_TRUE(RemoveRecoveryRecord(record, error)) << error;
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(RecoveryRecord, OnlyRecordsOfEndedProcessesAreOrphans) {
    TTestFolder folder;
    TRecoveryRecord mine = SampleRecord(folder);
    std::string error;
    ASSERT_TRUE(WriteRecoveryRecord(folder.Path(), mine, error)) << error;
    EXPECT_TRUE(RecordWriterRuns(mine));
    EXPECT_TRUE(FindOrphanRecords(folder.Path()).empty());
    EXPECT_FALSE(DiscardOrphan(mine, error)); // a running writer's record is never discarded
    EXPECT_TRUE(Exists(mine.Path));

    // Our own id with another start time: the id was taken again by someone else.
    TRecoveryRecord reused = mine;
    reused.ProcessStart += 1;
    EXPECT_FALSE(RecordWriterRuns(reused));

    TRecoveryRecord other = SampleRecord(folder, 2);
    other.WorkingState = folder / "WAV000000C0.TMP";
    other.Undo[0].StateFile = folder / "WAV000000C1.TMP";
    other.Undo[1].StateFile = folder / "WAV000000C2.TMP"; // already gone
    WriteBytes(other.WorkingState, "state");
    WriteBytes(other.Undo[0].StateFile, "undo");
    WriteBytes(PictureFileName(other.WorkingState), "picture");
    const std::string userFile = folder / "user.wav"; // named by no state: must survive
    WriteBytes(userFile, "user");
    other.UserFileName = userFile;
    const TRecoveryRecord ended = WriteFromExitedChild(folder, other);

    const std::vector<TRecoveryOrphan> orphans = FindOrphanRecords(folder.Path());
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].Record, ended);
    EXPECT_EQ(orphans[0].ExistingStates,
              (std::vector<std::string>{other.WorkingState, other.Undo[0].StateFile}));

    ASSERT_TRUE(DiscardOrphan(orphans[0].Record, error)) << error;
    EXPECT_FALSE(Exists(ended.Path));
    EXPECT_FALSE(Exists(other.WorkingState));
    EXPECT_FALSE(Exists(PictureFileName(other.WorkingState)));
    EXPECT_FALSE(Exists(other.Undo[0].StateFile));
    EXPECT_TRUE(Exists(userFile));
    EXPECT_TRUE(Exists(mine.Path));
    EXPECT_TRUE(FindOrphanRecords(folder.Path()).empty());
}

TEST(RecoveryRecord, OnlyOrphansWithWorkAreAskedAbout) {
    TTestFolder folder;
    TRecoveryOrphan orphan;
    TRecoveryRecord& r = orphan.Record;
    r.UserFileName = folder / "song.wav";
    r.WorkingState = folder / "WAV000000D0.TMP";
    r.Undo = {{r.UserFileName, "Original"}, {r.WorkingState, "Fading"}};
    orphan.ExistingStates = {r.WorkingState};
    EXPECT_TRUE(OrphanHasUnsavedWork(orphan));
    EXPECT_EQ(RecoveryQuestion(r), "Recover unsaved changes to " + r.UserFileName + "?");
    orphan.ExistingStates.clear(); // the working state is gone: nothing to give back
    EXPECT_FALSE(OrphanHasUnsavedWork(orphan));

    // The first change of a track read from the user's file, killed halfway: a take counts
    // once it had written past its start, any other change never.
    r.WorkingState = r.UserFileName;
    r.Undo.clear();
    orphan.ExistingStates = {r.WorkingState};
    r.PendingState = folder / "WAV000000D1.TMP";
    r.PendingTakeStart = 100;
    WriteBytes(r.PendingState, std::string(46 + 100, 'x'));
    EXPECT_FALSE(OrphanHasUnsavedWork(orphan));
    WriteBytes(r.PendingState, std::string(46 + 104, 'x'));
    EXPECT_TRUE(OrphanHasUnsavedWork(orphan));
    r.PendingTakeStart = -1;
    EXPECT_FALSE(OrphanHasUnsavedWork(orphan));

    r.UserFileName = folder / "WAV000000D2.TMP";
    EXPECT_EQ(RecoveryQuestion(r), "Recover unsaved changes to a new track (never saved)?");
}
