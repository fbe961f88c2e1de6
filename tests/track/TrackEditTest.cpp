#include "tests/track/TrackFixture.h"

#include <sys/stat.h>

#include "audio/VelTrackUtils.h"
#include "effects/FadeKernel.h"
#include "platform/MmioFile.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
}
Bytes ClipboardData(TMemoryClipboard& clip) {
    auto block = clip.GetWave();
    if (!block) return {};
    const Bytes& b = block->Bytes();
    const uint32_t size = b[42] | b[43] << 8 | b[44] << 16 | static_cast<uint32_t>(b[45]) << 24;
    return Bytes(b.begin() + 46, b.begin() + 46 + size);
}

} // namespace

TEST_F(TrackTest, CutMovesTheStretchToTheClipboardAndKeepsTheUserFile) {
    const Bytes data = Pattern(10000);
    const std::string user = OpenUserFile("take1.wav", cd, data);
    track->SetStartOffsetText("00:01.00000"); // 176400 bytes
    Select(1000, 3000);
    Run([&] { track->Cut(); });

    EXPECT_EQ(Working(), Concat({Slice(data, 0, 1000), Slice(data, 3000, 10000)}));
    EXPECT_EQ(ClipboardData(clipboard), Slice(data, 1000, 3000));
    EXPECT_FALSE(track->HasSelection);
    EXPECT_EQ(track->PlayPosition, 176400 + 1000);
    EXPECT_EQ(track->DataLength, 8000);
    EXPECT_EQ(track->UndoNames, (std::vector<std::string>{"Original", "Cutting"}));
    ASSERT_EQ(track->UndoFiles.size(), 2u);
    EXPECT_EQ(track->UndoFiles[0], user);
    EXPECT_EQ(track->UserFileName, user);
    EXPECT_EQ(track->WaveFileName(), user);
    EXPECT_EQ(track->ShortFileName(), "take1.wav");
    EXPECT_TRUE(track->Modified());
    EXPECT_EQ(ReadFile(user), WaveBytes(cd, data)); // the user's file is never touched
    EXPECT_TRUE(sink.Saw(kMsgStart, "Start Cutting"));
}

TEST_F(TrackTest, DeleteAndClearOfTheSameSelection) {
    const Bytes data = Pattern(10000);
    OpenUserFile("a.wav", cd, data);
    Select(1000, 3000);
    Run([&] { track->Delete(); });
    EXPECT_EQ(Working(), Concat({Slice(data, 0, 1000), Slice(data, 3000, 10000)}));
    EXPECT_FALSE(clipboard.HoldsWave());

    track->Undo();
    track->WaitForWorker();
    EXPECT_EQ(Working(), data);
    Select(1000, 3000);
    Run([&] { track->Clear(); });
    Bytes cleared = data;
    std::fill(cleared.begin() + 1000, cleared.begin() + 3000, 0);
    EXPECT_EQ(Working(), cleared);
}

TEST_F(TrackTest, ClearOfAnEightBitTrackWritesByte128) {
    const Bytes data = Pattern(5000);
    OpenUserFile("a.wav", mono8, data);
    Select(10, 20);
    Run([&] { track->Clear(); });
    Bytes cleared = data;
    std::fill(cleared.begin() + 10, cleared.begin() + 20, 128);
    EXPECT_EQ(Working(), cleared);
}

TEST_F(TrackTest, PasteOverwritesAndGrowsOnlyPastTheEnd) {
    const Bytes data = Pattern(10000);
    const Bytes clip = Pattern(2000, 7);
    clipboard.SetWave(
        TMemoryBlock::FromBytes(WaveBytes(cd, clip).data(), WaveBytes(cd, clip).size()));
    OpenUserFile("a.wav", cd, data);

    track->Cue(9000);
    Run([&] { track->Paste(); });
    EXPECT_EQ(Working(), Concat({Slice(data, 0, 9000), clip}));
    EXPECT_EQ(track->SelStart, 9000);
    EXPECT_EQ(track->SelEnd, 11000);
    EXPECT_TRUE(track->HasSelection);

    track->Undo();
    track->WaitForWorker();
    track->Cue(1000);
    Run([&] { track->Paste(); });
    EXPECT_EQ(Working(), Concat({Slice(data, 0, 1000), clip, Slice(data, 3000, 10000)}));
    EXPECT_EQ(track->UndoNames.back(), "Pasting");
}

TEST_F(TrackTest, InsertShiftsTheRestAndSelectsTheNewStretch) {
    const Bytes data = Pattern(10000);
    const Bytes clip = Pattern(2000, 9);
    const Bytes clipFile = WaveBytes(cd, clip);
    clipboard.SetWave(TMemoryBlock::FromBytes(clipFile.data(), clipFile.size()));
    OpenUserFile("a.wav", cd, data);
    track->Cue(1000);
    Run([&] { track->Insert(); });
    EXPECT_EQ(Working(), Concat({Slice(data, 0, 1000), clip, Slice(data, 1000, 10000)}));
    EXPECT_EQ(track->SelStart, 1000);
    EXPECT_EQ(track->SelEnd, 3000);
}

TEST_F(TrackTest, InsertWithThePlayPositionOutsideTheDataUsesTheNearestEnd) {
    const Bytes data = Pattern(4000);
    const Bytes clip = Pattern(400, 3);
    const Bytes clipFile = WaveBytes(cd, clip);
    clipboard.SetWave(TMemoryBlock::FromBytes(clipFile.data(), clipFile.size()));
    OpenUserFile("a.wav", cd, data);
    track->SetStartOffsetText("00:01.00000");
    track->Cue(0); // before the data
    Run([&] { track->Insert(); });
    EXPECT_EQ(Working(), Concat({clip, data}));

    track->Undo();
    track->WaitForWorker();
    track->Cue(176400 + 100000); // far past the end
    Run([&] { track->Insert(); });
    EXPECT_EQ(Working(), Concat({data, clip}));
    EXPECT_EQ(track->SelStart, 4000);
}

TEST_F(TrackTest, InsertOfAnotherFormatConvertsAndSelectsWhatWasWritten) {
    // 8-bit mono 11025 Hz into 16-bit mono 11025 Hz: same rate, so every byte b becomes the
    // 16-bit sample (b - 128) * 256.
    const WAVEFORMATEX mono16 = MakePcmFormat(11025, 16, 1);
    const Bytes clip = {128, 0, 255, 129};
    const Bytes clipFile = WaveBytes(mono8, clip);
    clipboard.SetWave(TMemoryBlock::FromBytes(clipFile.data(), clipFile.size()));
    const Bytes data = Pattern(20);
    OpenUserFile("a.wav", mono16, data);
    track->Cue(4);
    Run([&] { track->Insert(); });
    const Bytes converted = {0x00, 0x00, 0x00, 0x80, 0x00, 0x7F, 0x00, 0x01};
    EXPECT_EQ(Working(), Concat({Slice(data, 0, 4), converted, Slice(data, 4, 20)}));
    EXPECT_EQ(track->SelEnd - track->SelStart, 8);
}

TEST_F(TrackTest, ChangeTotalExtendsWithSilenceTruncatesAndAlwaysMakesAState) {
    const Bytes data = Pattern(8000);
    OpenUserFile("a.wav", cd, data);
    Run([&] { track->ChangeTotal("00:00.10000"); }); // 17640 bytes
    Bytes longer = data;
    longer.resize(17640, 0);
    EXPECT_EQ(Working(), longer);
    Run([&] { track->ChangeTotal("00:00.02000"); }); // 3528 bytes
    EXPECT_EQ(Working(), Slice(data, 0, 3528));
    Run([&] { track->ChangeTotal("00:00.02000"); });
    EXPECT_EQ(Working(), Slice(data, 0, 3528));
    EXPECT_EQ(track->UndoNames.size(), 4u);
    // A length inside a frame is cut back to whole frames: 0.00001 s is 1.764 bytes -> 0.
    Run([&] { track->ChangeTotal("00:00.00001"); });
    EXPECT_EQ(track->DataLength, 0);
}

TEST_F(TrackTest, SelectionsOutsideTheDataAreRefusedAndChangeNothing) {
    const Bytes data = Pattern(1000);
    OpenUserFile("a.wav", cd, data);
    Select(500, 4000);
    Run([&] { track->Cut(); });
    Select(-20, 100);
    Run([&] { track->Delete(); });
    EXPECT_EQ(Working(), data);
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_TRUE(sink.SawPrefix(kMsgRefusal, "The selection must lie inside the data"));
    EXPECT_EQ(TempFiles(), std::vector<std::string>{});
}

TEST_F(TrackTest, UnavailableClipboardEndsTheCommandWithoutAState) {
    const Bytes data = Pattern(1000);
    OpenUserFile("a.wav", cd, data);
    clipboard.SetUnavailable(true);
    Select(0, 100);
    Run([&] { track->Cut(); });
    Run([&] { track->Copy(); });
    Run([&] { track->Insert(); });
    Run([&] { track->Paste(); });
    EXPECT_TRUE(sink.Saw(kMsgError, "Clipboard is unavailable for cutting"));
    EXPECT_TRUE(sink.Saw(kMsgError, "Clipboard is unavailable for copying"));
    EXPECT_TRUE(sink.Saw(kMsgStatus, "ClipBoard is not available for inserting"));
    EXPECT_TRUE(sink.Saw(kMsgStatus, "ClipBoard is not available for Pasting"));
    EXPECT_TRUE(track->UndoFiles.empty());
    EXPECT_EQ(track->TrackState(), tsReady);
}

TEST_F(TrackTest, TransferFilesFollowTheChosenTargetUntilADialogIsCancelled) {
    const Bytes data = Pattern(6000);
    const std::string user = OpenUserFile("a.wav", cd, data);
    const std::string transfer = userDir + "/part.wav";
    owner.transferChoice = transfer;
    Select(100, 300);
    ASSERT_TRUE(track->CopyTo());
    track->WaitForWorker();
    EXPECT_EQ(ReadFile(transfer), WaveBytes(cd, Slice(data, 100, 300)));
    // A transfer file is the user's file: the usual permission bits, not a private temp's.
    struct stat st {};
    ASSERT_EQ(stat(transfer.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    EXPECT_FALSE(track->UseClipboard);
    // A plain Copy goes to the same file again.
    Select(0, 50);
    Run([&] { track->Copy(); });
    EXPECT_EQ(DataOf(transfer), Slice(data, 0, 50));
    EXPECT_FALSE(clipboard.HoldsWave());

    // A cancelled dialog goes back to the clipboard.
    owner.transferChoice.reset();
    EXPECT_FALSE(track->CopyTo());
    EXPECT_TRUE(track->UseClipboard);
    Run([&] { track->Copy(); });
    EXPECT_EQ(ClipboardData(clipboard), Slice(data, 0, 50));

    // The file of an open track is refused for writing, and asked about for reading.
    owner.transferChoice = user;
    owner.openTracks = {user};
    EXPECT_FALSE(track->CutTo());
    EXPECT_EQ(owner.errorBoxes.back(), "Track " + user + " is open.  Choose a different name.");
    EXPECT_TRUE(track->UseClipboard);
    owner.confirmAnswer = false;
    EXPECT_FALSE(track->InsertFrom());
    owner.confirmAnswer = true;
    track->Cue(0);
    EXPECT_TRUE(track->InsertFrom());
    track->WaitForWorker();
    EXPECT_EQ(Working(), Concat({data, data}));
}

TEST_F(TrackTest, PositionFieldsRefuseCrossedEntries) {
    OpenUserFile("a.wav", cd, Pattern(176400 * 2));
    Select(0, 176400);
    EXPECT_FALSE(track->LeaveStartField("00:01.00000"));
    EXPECT_TRUE(sink.Saw(kMsgRefusal, "Start position must be less than 00:01.00000"));
    EXPECT_EQ(track->SelStart, 0);
    EXPECT_TRUE(track->LeaveStartField("00:00.50000"));
    EXPECT_EQ(track->SelStart, 88200);
    EXPECT_FALSE(track->LeaveEndField("00:00.25000"));
    EXPECT_TRUE(sink.Saw(kMsgRefusal, "End position must be greater than 00:00.50000"));
    EXPECT_TRUE(track->LeaveEndField("00:01.50000"));
    EXPECT_EQ(track->SelEnd, 264600);

    track->Cue(1000);
    track->SelectLeft();
    EXPECT_EQ(track->SelEnd, 1000);
    track->SelectRight();
    EXPECT_EQ(track->SelStart, 1000);
    EXPECT_EQ(track->SelEnd, 352800);
    track->SelectAll();
    EXPECT_EQ(track->SelStart, 0);
}

TEST_F(TrackTest, PopupMenuCaptionsOrderAndEnabling) {
    OpenUserFile("a.wav", cd, Pattern(4000));
    auto menu = track->PopupMenu();
    std::vector<std::string> captions;
    for (auto& item : menu)
        captions.push_back(item.caption);
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Undo", "Undo All", "-", "Cut", "Copy", "Clear", "Delete",
                                        "Insert", "Paste", "File", "-", "Select All", "Select Left",
                                        "Select Right", "-", "Refresh", "Fast Refresh"}));
    EXPECT_FALSE(menu[0].enabled);
    EXPECT_FALSE(menu[3].enabled); // no selection
    EXPECT_FALSE(menu[7].enabled); // empty clipboard
    ASSERT_EQ(menu[9].items.size(), 4u);
    EXPECT_EQ(menu[9].items[0].caption, "Cut To...");
    EXPECT_TRUE(menu[9].items[2].enabled);

    track->ChooseMenuItem("Select All");
    track->ChooseMenuItem("Cut");
    track->WaitForWorker();
    menu = track->PopupMenu();
    EXPECT_EQ(menu[0].caption, "Undo - Cutting (1)");
    EXPECT_TRUE(menu[0].enabled);
    EXPECT_TRUE(menu[7].enabled);
    EXPECT_FALSE(menu[1].enabled); // Undo All needs three entries
    track->EffectState = esReady;  // an effects dialog is open
    menu = track->PopupMenu();
    EXPECT_FALSE(menu[0].enabled);
    EXPECT_FALSE(menu[8].enabled);
}

// The window opens the pop-up menu in any state, also while a worker's change appends to the
// undo store and renames the working file.
TEST_F(TrackTest, ThePopupMenuCanBeReadWhileChangesRun) {
    OpenUserFile("a.wav", cd, Pattern(200000));
    Select(0, 100000);
    std::atomic<bool> stop{false};
    std::atomic<int> menus{0};
    std::thread window([&] {
        while (!stop) {
            const std::vector<TMenuItem> menu = track->PopupMenu();
            if (menu.front().caption.rfind("Undo", 0) == 0) ++menus;
            (void)track->Modified();
            (void)track->ShortFileName();
        }
    });
    for (int i = 0; i < 6; ++i)
        Run([&] { track->Clear(); });
    stop = true;
    window.join();
    EXPECT_GT(menus, 0);
    EXPECT_EQ(track->UndoCaption(), "Undo - Clearing (6)");
}

// "Fast Refresh" reopens the working file, which only a track between jobs may do: under a
// running change it would pull the file from under the worker.
TEST_F(TrackTest, FastRefreshWaitsForTheTrackToBeBetweenJobs) {
    const Bytes data = Pattern(3 * 524288, 9);
    OpenUserFile("a.wav", cd, data);
    Select(0, static_cast<int32_t>(data.size()));
    std::atomic<bool> inBlock{false};
    std::atomic<bool> release{false};
    view.onBlock = [&](int32_t) {
        inBlock = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    track->EffectState = esRunning;
    ASSERT_TRUE(track->StartFade(100, 0));
    while (!inBlock)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto fastRefresh = [&] {
        for (const TMenuItem& item : track->PopupMenu())
            if (item.caption == "Fast Refresh") return item.enabled;
        return false;
    };
    EXPECT_FALSE(fastRefresh());
    track->ChooseMenuItem("Fast Refresh");
    EXPECT_EQ(track->TrackState(), tsBusy);
    release = true;
    track->WaitForWorker();
    view.onBlock = nullptr;
    EXPECT_EQ(track->EffectState, esApplied);
    EXPECT_EQ(track->UndoNames.back(), "Fading");
    Bytes expected = data;
    TFadeKernel(100, 0, static_cast<int32_t>(data.size()), cd)
        .Process(expected.data(), static_cast<int32_t>(data.size()));
    EXPECT_EQ(Working(), expected);
    EXPECT_TRUE(fastRefresh());
    track->ChooseMenuItem("Fast Refresh");
    track->WaitForWorker();
    EXPECT_EQ(track->TrackState(), tsReady);
}
