#include "tests/track/TrackFixture.h"

#include "audio/VelTrackUtils.h"
#include "platform/TempFiles.h"
#include "track/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

TEST_F(TrackTest, UndoStoreGrowsWithEachChangeAndUndoAllGoesBackToTheUserFile) {
    const Bytes data = Pattern(20000);
    const std::string user = OpenUserFile("take1.wav", cd, data);
    for (int i = 0; i < 3; ++i) {
        Select(0, 1000);
        Run([&] { track->Delete(); });
    }
    ASSERT_EQ(track->UndoFiles.size(), 4u);
    EXPECT_EQ(TempFiles().size(), 3u * 2); // three states, each with its picture
    EXPECT_EQ(track->FileName, track->UndoFiles.back());
    EXPECT_EQ(DataOf(track->UndoFiles[2]), Bytes(data.begin() + 2000, data.end()));

    track->Undo();
    track->WaitForWorker();
    EXPECT_EQ(track->UndoFiles.size(), 3u);
    EXPECT_EQ(Working(), Bytes(data.begin() + 2000, data.end()));
    EXPECT_EQ(TempFiles().size(), 2u * 2);

    Select(0, 1000);
    Run([&] { track->Delete(); });
    track->UndoAll();
    track->WaitForWorker();
    EXPECT_EQ(track->UndoFiles, std::vector<std::string>{user});
    EXPECT_EQ(track->FileName, user);
    EXPECT_TRUE(track->UserFileName.empty());
    EXPECT_FALSE(track->Modified());
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
    EXPECT_EQ(Working(), data);
}

TEST_F(TrackTest, ManyChangesWarnOnceAtTheThresholds) {
    OpenUserFile("a.wav", cd, Pattern(400));
    // Ten entries: no warning; eleven: one warning, not repeated.
    for (int i = 0; i < 9; ++i)
        Run([&] { track->ChangeTotal("00:00.00100"); });
    ASSERT_EQ(track->UndoFiles.size(), 10u);
    Run([&] { track->ChangeTotal("00:00.00100"); });
    EXPECT_TRUE(owner.warnings.empty());
    Run([&] { track->ChangeTotal("00:00.00100"); });
    ASSERT_EQ(owner.warnings.size(), 1u);
    EXPECT_EQ(owner.warnings[0],
              "You have made 10 changes.  There are 0 Mb of Undo Files.  You should save this "
              "track soon.");
    Run([&] { track->ChangeTotal("00:00.00100"); });
    EXPECT_EQ(owner.warnings.size(), 1u);
    track->UndoAll(); // re-arms
    track->WaitForWorker();
    EXPECT_TRUE(track->UndoWarningArmed);
}

TEST_F(TrackTest, LargeUndoFilesWarnAfterFiveChanges) {
    OpenUserFile("a.wav", cd, Pattern(400));
    // The warning reads the data length and the number of entries; give the track 30 MiB of
    // data on paper so the test need not write 150 MiB.
    auto change = [&] {
        track->Worker().Start([&] {
            track->DataLength = 31457280;
            track->BeginChange(0, "Test");
            track->EndChange(true, 0, -1, 0, "Test");
        });
        track->WaitForWorker();
    };
    for (int i = 0; i < 4; ++i)
        change();
    ASSERT_EQ(track->UndoFiles.size(), 5u);
    EXPECT_TRUE(owner.warnings.empty()); // 4 changes, 120 MiB
    change();
    ASSERT_EQ(owner.warnings.size(), 0u); // the list held 5 entries when this change began
    change();
    ASSERT_EQ(owner.warnings.size(), 1u);
    EXPECT_EQ(owner.warnings[0],
              "You have made 5 changes.  There are 150 Mb of Undo Files.  You should save this "
              "track soon.");
}

TEST_F(TrackTest, CancellingAChangeAtABlockBoundaryLeavesEverythingAsBefore) {
    const Bytes data = Pattern(3 * 524288 + 100);
    const std::string user = OpenUserFile("a.wav", cd, data);
    const auto filesBefore = TempFiles();
    int blocks = 0;
    view.onBlock = [&](int32_t) {
        if (++blocks == 2) track->Worker().Cancel();
    };
    Select(0, static_cast<int32_t>(data.size()));
    Run([&] { track->Clear(); });
    view.onBlock = nullptr;
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_TRUE(track->UndoNames.empty());
    EXPECT_EQ(track->FileName, user);
    EXPECT_TRUE(track->UserFileName.empty());
    EXPECT_EQ(TempFiles(), filesBefore);
    EXPECT_EQ(Working(), data);
    EXPECT_TRUE(sink.Saw(kMsgAppend, " ... Action Cancelled"));
    EXPECT_EQ(track->TrackState(), tsReady);

    // A cancelled second change leaves the first one in place.
    Select(0, 100);
    Run([&] { track->Delete(); });
    const auto lists = track->UndoFiles;
    blocks = 0;
    view.onBlock = [&](int32_t) {
        if (++blocks == 2) track->Worker().Cancel();
    };
    Select(0, 3 * 524288);
    Run([&] { track->Clear(); });
    EXPECT_EQ(track->UndoFiles, lists);
    EXPECT_EQ(track->FileName, lists.back());
}

TEST_F(TrackTest, AWriteFailureInTheMiddleOfAChangeKeepsThePreviousState) {
    const Bytes data = Pattern(2 * 524288);
    const std::string user = OpenUserFile("a.wav", cd, data);
    {
        FileSizeLimit limit(700000);
        Select(0, 10);
        Run([&] { track->Delete(); });
    }
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "MMIOWrite. data "));
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_EQ(track->FileName, user);
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
    EXPECT_EQ(Working(), data);
}

TEST_F(TrackTest, SaveWithoutChangesSaysSoAndTheTrackStaysUsable) {
    OpenUserFile("take1.wav", cd, Pattern(1000));
    EXPECT_FALSE(track->SaveTrackAs(""));
    EXPECT_TRUE(sink.Saw(kMsgRefusal, "Files are the same.  Nothing to do"));
    Select(0, 100);
    Run([&] { track->Delete(); });
    EXPECT_EQ(track->DataLength, 900);
}

TEST_F(TrackTest, SaveReplacesTheUserFileAndEmptiesTheStore) {
    const Bytes data = Pattern(8000);
    const std::string user = OpenUserFile("take1.wav", cd, data);
    Select(0, 1000);
    Run([&] { track->Delete(); });
    Select(0, 1000);
    Run([&] { track->Delete(); });
    ASSERT_TRUE(track->SaveTrackAs(""));
    EXPECT_EQ(ReadFile(user), WaveBytes(cd, Bytes(data.begin() + 2000, data.end())));
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_EQ(track->FileName, user);
    EXPECT_FALSE(track->Modified());
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
    EXPECT_FALSE(track->PopupMenu()[0].enabled);
    EXPECT_TRUE(
        sink.Saw(kMsgStatus, "take1.wav (16 bit Stereo @44100Hz).  Total Time : 00:00.03401"));
}

TEST_F(TrackTest, SaveAsThenChangeThenSaveWritesTheNewName) {
    const Bytes data = Pattern(4000);
    const std::string user = OpenUserFile("take1.wav", cd, data);
    Select(0, 1000);
    Run([&] { track->Delete(); });
    const std::string other = userDir + "/take2.wav";
    ASSERT_TRUE(track->SaveTrackAs(other));
    Select(0, 1000);
    Run([&] { track->Delete(); });
    ASSERT_TRUE(track->SaveTrackAs(""));
    EXPECT_EQ(ReadFile(user), WaveBytes(cd, data));
    EXPECT_EQ(DataOf(other), Bytes(data.begin() + 2000, data.end()));
    // Save As of an unchanged track copies it and leaves the original as it is.
    const std::string third = userDir + "/take3.wav";
    ASSERT_TRUE(track->SaveTrackAs(third));
    EXPECT_EQ(ReadFile(third), ReadFile(other));
    EXPECT_EQ(track->FileName, third);
}

TEST_F(TrackTest, SaveAcrossFileSystemsAndAFailedSaveLeavesTheTargetIntact) {
    // Temporary states on a tmpfs, the user's file elsewhere: a rename cannot cross, so the
    // state is copied beside the target and renamed there.
    char shmTemplate[] = "/dev/shm/wavestack-XXXXXX";
    const char* shm = mkdtemp(shmTemplate);
    if (shm) setenv("TMPDIR", shm, 1);
    const Bytes data = Pattern(3 * 524288 + 10);
    const std::string user = OpenUserFile("take1.wav", cd, data);
    const Bytes original = ReadFile(user);
    Select(0, 10);
    Run([&] { track->Delete(); });

    SetSaveFaultForTesting(600000);
    EXPECT_FALSE(track->SaveTrackAs(""));
    SetSaveFaultForTesting(-1);
    EXPECT_TRUE(sink.SawPrefix(kMsgError, "Cannot save " + user));
    EXPECT_EQ(ReadFile(user), original);
    EXPECT_EQ(track->UndoFiles.size(), 2u);
    EXPECT_EQ(FilesIn(userDir), (std::vector<std::string>{"take1.wav", "take1.wavBMP"}));

    ASSERT_TRUE(track->SaveTrackAs(""));
    EXPECT_EQ(DataOf(user), Bytes(data.begin() + 10, data.end()));
    if (shm) {
        EXPECT_EQ(FilesIn(shm), std::vector<std::string>{});
        rmdir(shm);
    }
}

TEST_F(TrackTest, NewTrackIsSilentUnsavedAndCleanedUpOnClose) {
    track->NewTrack(mono8, "00:00.10000");
    track->Reopen();
    track->WaitForWorker();
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_EQ(Working(), Bytes(1102, 128)); // 0.1 s at 11025 B/s = 1102.5, halves to even
    EXPECT_EQ(track->WaveFileName(), "");
    EXPECT_TRUE(track->Modified());
    Select(0, 100);
    Run([&] { track->Delete(); });
    EXPECT_FALSE(TempFiles().empty());
    track.reset();
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

TEST_F(TrackTest, TrackTextsAndStartOffset) {
    const std::string user = OpenUserFile("take1.wav", cd, Pattern(2205000));
    EXPECT_EQ(track->TrackDescription(),
              "take1.wav (16 bit Stereo @44100Hz).  Total Time : 00:12.50000");
    track->Cue(1000);
    track->SetStartOffsetText("00:01.00000");
    EXPECT_EQ(track->StartOffset, 176400);
    EXPECT_EQ(track->PlayPosition, 177400); // the play position keeps its place in the data
    EXPECT_EQ(track->PositionText(-1), "-1");
    EXPECT_EQ(track->TextPosition("-1"), -1);
    track->Cue(1001); // odd positions are lowered to even
    EXPECT_EQ(track->PlayPosition, 1000);

    track->FileName = userDir + "/missing.wav";
    track->Reopen();
    EXPECT_EQ(track->TrackState(), tsEmpty);
    EXPECT_TRUE(sink.Saw(kMsgError, "MMIOOpen. " + userDir + "/missing.wav not found"));
    EXPECT_EQ(track->TrackDescription(), "missing.wav.  Track is Empty.");
}

TEST_F(TrackTest, ConvertFormatChangesTheDataAndKeepsTheStartTime) {
    const Bytes data = Pattern(176400); // one second of 16-bit stereo 44100 Hz
    OpenUserFile("a.wav", cd, data);
    track->SetStartOffsetText("00:02.00000");
    Select(0, 100);

    owner.formatChoice.reset();
    Run([&] { track->ConvertFormat(); });
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Conversion Canceled"));
    owner.formatChoice = cd;
    Run([&] { track->ConvertFormat(); });
    EXPECT_TRUE(sink.Saw(kMsgStatus, "Same Format.  No Conversion made"));
    EXPECT_TRUE(track->UndoFiles.empty());

    owner.formatChoice = MakePcmFormat(22050, 8, 1);
    Run([&] { track->ConvertFormat(); });
    EXPECT_EQ(track->DataLength, 176400 / 8);
    EXPECT_TRUE(SameFormat(track->Format(), MakePcmFormat(22050, 8, 1)));
    EXPECT_EQ(track->StartOffset, 2 * 22050);
    EXPECT_EQ(track->StartOffsetText, "00:02.00000");
    EXPECT_FALSE(track->HasSelection);
    EXPECT_EQ(track->UndoNames.back(), "Conversion");

    // 8-bit mono 11025 Hz to 16-bit stereo 44100 Hz: sixteen times the bytes, over several
    // source blocks of 57344 bytes.
    track->Undo();
    track->WaitForWorker();
    owner.formatChoice = mono8;
    Run([&] { track->ConvertFormat(); });
    ASSERT_EQ(track->DataLength, 11025);
    owner.formatChoice = cd;
    Run([&] { track->ConvertFormat(); });
    EXPECT_EQ(track->DataLength, 11025 * 16);
}

// A save on a worker must not disturb files other threads create meanwhile: asking for the
// mode of a new file may not change the process's umask, even for an instant.
TEST_F(TrackTest, SaveFileModeLeavesTheUmaskAloneForOtherThreads) {
    const mode_t previous = ::umask(027);
    EXPECT_EQ(SaveFileMode(userDir + "/not-there.wav"), 0640u);
    std::atomic<bool> done{false};
    std::thread asker([&] {
        for (int i = 0; i < 20000; ++i)
            SaveFileMode(userDir + "/not-there.wav");
        done = true;
    });
    int wrongModes = 0;
    for (int i = 0; !done && i < 200000; ++i) {
        const std::string path = userDir + "/made-" + std::to_string(i % 16);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        ASSERT_GE(fd, 0);
        struct stat st {};
        ::fstat(fd, &st);
        ::close(fd);
        ::unlink(path.c_str());
        if ((st.st_mode & 0777) != 0640) ++wrongModes;
    }
    asker.join();
    ::umask(previous);
    EXPECT_EQ(wrongModes, 0);
}

// A load cancelled while its picture is drawn leaves no picture file: a part-drawn picture
// would pass for an up-to-date one at the next opening.
TEST_F(TrackTest, ACancelledLoadSavesNoPicture) {
    const std::string path = OpenUserFile("a.wav", cd, Pattern(40000));
    const std::string picture = PictureFileName(path);
    ASSERT_EQ(::access(picture.c_str(), F_OK), 0); // a whole load saves one
    ::unlink(picture.c_str());
    sink.onMessage = [&](int kind, const std::string& text) {
        if (kind == kMsgStart && text.rfind("Reading ", 0) == 0) track->Worker().Cancel();
    };
    track->Reopen();
    track->WaitForWorker();
    sink.onMessage = nullptr;
    EXPECT_EQ(track->TrackState(), tsReady);
    EXPECT_NE(::access(picture.c_str(), F_OK), 0);
    track->Reopen();
    track->WaitForWorker();
    EXPECT_EQ(::access(picture.c_str(), F_OK), 0);
}
