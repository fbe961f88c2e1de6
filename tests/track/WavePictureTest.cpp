// The track's waveform picture as the core builds it, on the in-memory view: when the picture
// file spares the computation, what stands in while a picture is computed, the last column's
// block, and which block reads show the work bar. Expected columns are worked out here from the
// drawing rules (height 100: half 50; 8-bit full scale 32).
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/TempFiles.h"
#include "tests/track/TrackFixture.h"
#include "tests/track/VirtualSoundDevice.h"
#include "track/PlaybackState.h"
#include "track/WavePicture.h"

namespace {

// 8-bit samples: +16 then -16 over and over. Every column of 100 such samples averages +16 and
// -16: rows 50 - round(16 / 32 * 50) + 1 = 26 and 50 + 25 + 1 = 76.
Bytes Loud8(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = i % 2 == 0 ? 144 : 112;
    return b;
}

bool Is(const THeadlessColumn& c, int yTop, int yBottom) {
    return c.drawn && c.yTop == yTop && c.yBottom == yBottom;
}

// Moves a file's modification time an hour back.
void Age(const std::string& path) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec -= 3600;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

using WavePictureTest = TrackTest;

} // namespace

TEST_F(WavePictureTest, ThePictureFileSparesTheComputationAndTheStandByFillsAPartialRedraw) {
    // 40000 bytes on 400 px: 100 samples a column (stride 1), columns 0 .. 398 drawn.
    const std::string path = OpenUserFile("a.wav", mono8, Loud8(40000));
    EXPECT_EQ(view.ColumnsDrawn(), 399);
    EXPECT_EQ(view.PicturesLoaded(), 0);
    const std::vector<THeadlessColumn> first = view.Clean();
    for (int c = 0; c < 399; ++c)
        ASSERT_TRUE(Is(first[c], 26, 76)) << c;
    EXPECT_FALSE(first[399].drawn);

    // Up to date: the picture comes from its file and no column is computed.
    track->Reopen();
    track->WaitForWorker();
    EXPECT_EQ(view.PicturesLoaded(), 1);
    EXPECT_EQ(view.ColumnsDrawn(), 399);
    EXPECT_EQ(view.Clean().size(), first.size());

    // Older than its working file: computed again. The track has no undo entries, so nothing
    // stands in meanwhile; the whole read saves the picture anew.
    Age(PictureFileName(path));
    track->Reopen();
    track->WaitForWorker();
    EXPECT_EQ(view.PicturesLoaded(), 1);
    EXPECT_EQ(view.ColumnsDrawn(), 2 * 399);
    EXPECT_EQ(view.StandbysDrawn(), 0);
    EXPECT_TRUE(PictureUpToDate(PictureFileName(path), path));

    // Clear 10000 .. 20000: the new state has no picture yet and the store two entries, so
    // the previous state's picture stands in and only the cleared stretch is read again.
    // Columns trunc(10000 / 40000 * 398) = 99 to trunc(20000 / 40000 * 398) = 199; the read
    // starts at column 99's first byte, trunc(99 / 398 * 40000) = 9949 lowered to 9948, 100
    // bytes a column: column 99 holds 52 loud bytes, columns 100 .. 198 only silence (rows 51
    // and 51), column 199 (19948 up to column 200's 20100) the loud bytes after 20000.
    Select(10000, 20000);
    Run([&] { track->Clear(); });
    ASSERT_EQ(track->UndoFiles.size(), 2u);
    EXPECT_EQ(view.StandbysDrawn(), 1);
    EXPECT_EQ(view.ColumnsDrawn(), 2 * 399 + 101);
    const std::vector<THeadlessColumn> cleared = view.Clean();
    for (int c = 0; c < 399; ++c) {
        const bool silent = c >= 100 && c <= 198;
        EXPECT_TRUE(silent ? Is(cleared[c], 51, 51) : Is(cleared[c], 26, 76)) << c;
    }
    EXPECT_TRUE(PictureUpToDate(PictureFileName(track->FileName), track->FileName));

    // Undo goes back to the user's file, whose picture is still up to date on disk.
    track->Undo();
    track->WaitForWorker();
    EXPECT_EQ(track->FileName, path);
    EXPECT_EQ(view.PicturesLoaded(), 2);
    EXPECT_EQ(view.ColumnsDrawn(), 2 * 399 + 101);
    const std::vector<THeadlessColumn> back = view.Clean();
    for (int c = 0; c < 399; ++c)
        EXPECT_TRUE(Is(back[c], 26, 76)) << c;
}

TEST_F(WavePictureTest, TheLastColumnReadsAndExaminesTheDataUpToItsEnd) {
    // A 10 px view: positions map onto 8 columns, the data's end on column 8; columns 0 .. 8
    // are drawn, 9 never.
    THeadlessTrackView narrowView(true, 10, 100);
    TVelTrack narrow(owner, sink, narrowView, clipboard, &fileLock);
    const auto open = [&](const std::string& name, const Bytes& data) {
        const std::string path = userDir + "/" + name;
        WriteFile(path, WaveBytes(mono8, data));
        narrow.FileName = path;
        narrow.Reopen();
        narrow.WaitForWorker();
        ASSERT_EQ(narrow.TrackState(), tsReady);
    };

    // 107 bytes: 107 / 10 = 10 samples a column, stride 1. Columns 0 .. 7 read 10 bytes each,
    // column 8 the remaining 27 (80 .. 106), all of which it examines. A +32 at byte 35 tops
    // column 3 at row 50 - 50 + 1 = 1; bytes 90 .. 106 alternate +16 (nine) and -16 (eight),
    // giving column 8 rows 26 and 76. Reading only 10 bytes there would show silence.
    Bytes shortData(107, 128);
    shortData[35] = 160;
    for (int i = 90; i < 107; ++i)
        shortData[i] = (i - 90) % 2 == 0 ? 144 : 112;
    open("short.wav", shortData);
    std::vector<THeadlessColumn> c = narrowView.Clean();
    ASSERT_EQ(c.size(), 10u);
    EXPECT_EQ(narrowView.ColumnsDrawn(), 9);
    for (int k : {0, 1, 2, 4, 5, 6, 7})
        EXPECT_TRUE(Is(c[k], 51, 51)) << k;
    EXPECT_TRUE(Is(c[3], 1, 51));
    EXPECT_TRUE(Is(c[8], 26, 76));
    EXPECT_FALSE(c[9].drawn);

    // 5000 bytes: 500 samples a column, halved to 250 at stride 2: 500 bytes a column, so
    // column 8 reads the last 1000 (4000 .. 4999). By the same rule its 1000 samples give 250
    // at stride 4, advancing 3 and 5: block offsets 8k and 8k + 3 up to 995. Only the last 40
    // bytes are loud (+16), and ten of them are examined (960, 963, ..., 992, 995): row 26;
    // no negative sample: row 51.
    Bytes longData(5000, 128);
    for (int i = 4960; i < 5000; ++i)
        longData[i] = 144;
    open("long.wav", longData);
    c = narrowView.Clean();
    EXPECT_EQ(narrowView.ColumnsDrawn(), 9 + 9);
    for (int k = 0; k < 8; ++k)
        EXPECT_TRUE(Is(c[k], 51, 51)) << k;
    EXPECT_TRUE(Is(c[8], 26, 51));
}

TEST_F(WavePictureTest, OnlyAnEditsBlockReadsShowTheWorkBar) {
    // Six seconds: more than the eight half-second chunks of the ring, so the feeder reads the
    // file while it plays.
    TVirtualSoundDevice device;
    track->SetSoundDevice(&device, cd);
    const Bytes data = Pattern(6 * 176400, 3);
    OpenUserFile("a.wav", cd, data);
    EXPECT_TRUE(view.WorkBarColumns().empty()); // the picture's reads

    track->Play();
    ASSERT_EQ(track->TrackState(), tsPlaying);
    for (int step = 0; step < 10; ++step) {
        device.Advance(22050);
        track->UpdatePlayPosition();
        const uint32_t before = track->Playback()->serviceRounds;
        track->Semaphore().Release();
        for (int i = 0; i < 20000 && track->Playback()->serviceRounds == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_NE(track->Playback()->serviceRounds, before) << "the feeder never woke";
    }
    track->Stop();
    track->WaitForWorker();
    // Seconds 4 and 5 came from the feeder's reads, after the cue's first fill.
    const Bytes played = device.Played();
    ASSERT_GE(played.size(), 5u * 176400);
    EXPECT_TRUE(std::equal(data.begin() + 4 * 176400, data.begin() + 5 * 176400,
                           played.begin() + 4 * 176400));
    EXPECT_TRUE(view.WorkBarColumns().empty());

    // An edit's block reads do show it, and it goes when the edit is done.
    Select(176400, 2 * 176400);
    Run([&] { track->Clear(); });
    EXPECT_FALSE(view.WorkBarColumns().empty());
    EXPECT_EQ(view.WorkBarColumn(), -1);
}
