#include "studio/core/SongFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <gtest/gtest.h>

#include "tests/platform/TempFilesTestFolder.h"
#include "track/SafeSave.h"

namespace {

TSongTrackOut Out(const std::string& wave, bool muted, bool minimized, int32_t pan, int32_t volume,
                  const std::string& offset) {
    return TSongTrackOut{wave, wave, muted, minimized, pan, volume, offset};
}

std::size_t EntryCount(const std::string& folder) {
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder);
         it != std::filesystem::directory_iterator(); ++it)
        ++count;
    return count;
}

} // namespace

TEST(SongFile, FreshFileHasTheExactLayoutAndReadsBack) {
    TTestFolder folder;
    const std::string song = folder / "My Mix.Sng";
    const std::vector<TSongTrackOut> tracks = {
        Out(folder / "Guitar.wav", true, false, -30, 45, "00:01.50000"),
        Out("", false, false, 0, 0, "00:00.00000"), // never saved: left out
        Out("/elsewhere/Bass.wav", false, true, 100, -100, "01:02.00300"),
    };
    std::vector<TTrack> saved;
    std::string error;
    ASSERT_TRUE(WriteSong(song, tracks, saved, error)) << error;
    EXPECT_EQ(ReadBytes(song), "[TRACKS]\n"
                               "TRACK1=Guitar.wav\n"
                               "TRACK2=/elsewhere/Bass.wav\n"
                               "NUMTRACKS=2\n"
                               "[TRACK1]\n"
                               "MUTE=1\n"
                               "MINIMIZED=0\n"
                               "PAN=-30\n"
                               "VOLUME=45\n"
                               "OFFSET=00:01.50000\n"
                               "[TRACK2]\n"
                               "MUTE=0\n"
                               "MINIMIZED=1\n"
                               "PAN=100\n"
                               "VOLUME=-100\n"
                               "OFFSET=01:02.00300\n");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].fileName, UpperCasePath(folder / "GUITAR.WAV"));
    EXPECT_EQ(saved[1].fileName, "/ELSEWHERE/BASS.WAV");
    EXPECT_TRUE(saved[0].muted);
    EXPECT_EQ(saved[1].volume, -100);

    int32_t count = -1;
    std::vector<TTrack> readStates;
    const std::vector<TSongEntry> entries = ReadSong(song, count, &readStates);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, folder / "Guitar.wav");
    EXPECT_EQ(entries[1].path, "/elsewhere/Bass.wav");
    EXPECT_TRUE(entries[0].muted);
    EXPECT_FALSE(entries[0].minimized);
    EXPECT_EQ(entries[0].pan, -30);
    EXPECT_EQ(entries[0].offset, "00:01.50000");
    EXPECT_TRUE(entries[1].minimized);
    EXPECT_EQ(entries[1].offset, "01:02.00300");
    EXPECT_FALSE(SongModified(saved, readStates));
    // The never-saved track still has a window, so the song stays modified after the save.
    std::vector<TTrack> open = saved;
    open.insert(open.begin() + 1, TTrack{false, false, 0, 0, "00:00.00000", "/TMP/WAV1.TMP"});
    EXPECT_TRUE(SongModified(saved, open));
    for (const std::string& name : folder.Entries())
        EXPECT_EQ(name, "My Mix.Sng") << "left behind";
}

TEST(SongFile, BareNamesFollowTheSongAndOnlyTheExactFolderIsBare) {
    TTestFolder folder;
    ASSERT_EQ(::mkdir((folder / "Songs").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder / "Moved").c_str(), 0700), 0);
    const std::string song = folder / "Songs/Set.Sng";
    std::vector<TTrack> saved;
    std::string error;
    ASSERT_TRUE(WriteSong(song,
                          {Out(folder / "Songs/Drums.wav", false, false, 0, 0, "00:00.00000"),
                           Out(folder / "songs/Keys.wav", false, false, 0, 0, "00:00.00000"),
                           Out(folder / "Songs/sub/Pad.wav", false, false, 0, 0, "00:00.00000")},
                          saved, error))
        << error;
    const std::string text = ReadBytes(song);
    EXPECT_NE(text.find("TRACK1=Drums.wav\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TRACK2=" + folder / "songs/Keys.wav\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TRACK3=" + folder / "Songs/sub/Pad.wav\n"), std::string::npos) << text;

    // The song moved together with its wave files finds them in its new folder.
    WriteBytes(folder / "Moved/Set.Sng", text);
    int32_t count = 0;
    const std::vector<TSongEntry> entries = ReadSong(folder / "Moved/Set.Sng", count);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, folder / "Moved/Drums.wav");
    EXPECT_EQ(entries[1].path, folder / "songs/Keys.wav");

    // A song path without any folder leaves bare names bare.
    const std::filesystem::path here = std::filesystem::current_path();
    ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
    const std::vector<TSongEntry> local = ReadSong("Moved/Set.Sng", count);
    ASSERT_EQ(local.size(), 3u);
    EXPECT_EQ(local[0].path, "Moved/Drums.wav");
    std::filesystem::current_path(here);
}

TEST(SongFile, SavingOverALongerSongErasesOnlyItsOwnSections) {
    TTestFolder folder;
    const std::string song = folder / "Old.Sng";
    WriteBytes(song, "; kept comment\n"
                     "[SETTINGS]\n"
                     "TEMPO=120\n"
                     "[TRACKS]\n"
                     "TRACK1=a.wav\n"
                     "TRACK2=b.wav\n"
                     "TRACK3=c.wav\n"
                     "NUMTRACKS=3\n"
                     "[TRACK1]\n"
                     "OFFSET=00:09.00000\n"
                     "EXTRA=stale\n"
                     "[track2]\n"
                     "PAN=5\n"
                     "[EXTRA]\n"
                     "KEEP = yes \n"
                     "garbage line\n"
                     "[TRACK3]\n"
                     "VOLUME=7\n"
                     "[TRACK9]\n"
                     "X=1\n");
    std::vector<TTrack> saved;
    std::string error;
    ASSERT_TRUE(
        WriteSong(song, {Out(folder / "d.wav", false, false, 1, 2, "00:00.10000")}, saved, error))
        << error;
    EXPECT_EQ(ReadBytes(song), "; kept comment\n"
                               "[SETTINGS]\n"
                               "TEMPO=120\n"
                               "[EXTRA]\n"
                               "KEEP = yes \n"
                               "garbage line\n"
                               "[TRACK9]\n"
                               "X=1\n"
                               "[TRACKS]\n"
                               "TRACK1=d.wav\n"
                               "NUMTRACKS=1\n"
                               "[TRACK1]\n"
                               "MUTE=0\n"
                               "MINIMIZED=0\n"
                               "PAN=1\n"
                               "VOLUME=2\n"
                               "OFFSET=00:00.10000\n");

    // A stale section beyond the old count is replaced whole when its number is reused.
    ASSERT_TRUE(WriteSong(
        song, std::vector<TSongTrackOut>(9, Out(folder / "e.wav", true, true, 0, 0, "00:00.00000")),
        saved, error))
        << error;
    const std::string text = ReadBytes(song);
    EXPECT_EQ(text.find("X=1"), std::string::npos) << text;
    EXPECT_NE(text.find("[TRACK9]\nMUTE=1\nMINIMIZED=1\nPAN=0\nVOLUME=0\nOFFSET=00:00.00000\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(saved.size(), 9u);
}

TEST(SongFile, DamagedMissingAndEmptyFilesReadAsFewerTracks) {
    TTestFolder folder;
    int32_t count = -1;
    EXPECT_TRUE(ReadSong(folder / "missing.Sng", count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ReadSong(folder.Path(), count).empty()); // a folder
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ReadSong("", count).empty());

    const std::string song = folder / "s.Sng";
    WriteBytes(song, "");
    EXPECT_TRUE(ReadSong(song, count).empty());
    EXPECT_EQ(count, 0);

    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919 + 13) % 256));
    binary += "\n[TRACKS]\n\0\0=\xff\n";
    WriteBytes(song, binary);
    EXPECT_TRUE(ReadSong(song, count).empty());

    // Only entries that exist are visited; values out of range are clamped; bad numbers and an
    // empty offset read as the defaults; "TRACK02" is not a spelling of TRACK2.
    WriteBytes(song, "[tracks]\n"
                     "numtracks=2147483647\n"
                     "track1=one.wav\n"
                     "TRACK2=\n"
                     "TRACK02=zero.wav\n"
                     "TRACK2147483646=last.wav\n"
                     "TRACK99999999999=over.wav\n"
                     "[TRACK1]\n"
                     "MUTE=yes\n"
                     "MINIMIZED=2\n"
                     "PAN=500\n"
                     "VOLUME=-0x7FFFFFFF\n"
                     "OFFSET=\n"
                     "[TRACK2147483646]\n"
                     "PAN=-101\n"
                     "VOLUME=abc\n");
    std::vector<TTrack> states;
    std::vector<TSongEntry> entries = ReadSong(song, count, &states);
    EXPECT_EQ(count, 2147483647);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, folder / "one.wav");
    EXPECT_FALSE(entries[0].muted);
    EXPECT_TRUE(entries[0].minimized);
    EXPECT_EQ(entries[0].pan, 100);
    EXPECT_EQ(entries[0].volume, -100);
    EXPECT_EQ(entries[0].offset, "00:00:00000");
    EXPECT_EQ(entries[1].path, folder / "last.wav");
    EXPECT_EQ(entries[1].pan, -100);
    EXPECT_EQ(entries[1].volume, 0);
    EXPECT_EQ(entries[1].offset, "00:00:00000");
    EXPECT_EQ(states.size(), 2u);

    WriteBytes(song, "[TRACKS]\nNUMTRACKS=-5\nTRACK1=a.wav\n");
    EXPECT_TRUE(ReadSong(song, count, &states).empty());
    EXPECT_EQ(count, -5);
    EXPECT_TRUE(states.empty());
    WriteBytes(song, "[TRACKS]\nNUMTRACKS=1x\nTRACK1=a.wav\n");
    EXPECT_TRUE(ReadSong(song, count).empty());
    EXPECT_EQ(count, 0);
    // NUMTRACKS bounds the entries: a third one beyond it is not read.
    WriteBytes(song, "[TRACKS]\nNUMTRACKS=2\nTRACK1=a.wav\nTRACK3=c.wav\n");
    entries = ReadSong(song, count);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, folder / "a.wav");
}

TEST(SongFile, AFileListedTwiceReadsOnceAndTheSongReadsAsModified) {
    TTestFolder folder;
    const std::string song = folder / "Twice.Sng";
    WriteBytes(song, "[TRACKS]\nTRACK1=Loop.wav\nTRACK2=" + folder / "Loop.wav\n" +
                         "TRACK3=loop.wav\nNUMTRACKS=3\n[TRACK1]\nPAN=10\n[TRACK2]\nPAN=20\n");
    int32_t count = 0;
    std::vector<TTrack> saved;
    const std::vector<TSongEntry> entries = ReadSong(song, count, &saved);
    EXPECT_EQ(count, 3);
    // loop.wav is another file on a case-sensitive file system.
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, folder / "Loop.wav");
    EXPECT_EQ(entries[0].pan, 10);
    EXPECT_EQ(entries[1].path, folder / "loop.wav");
    ASSERT_EQ(saved.size(), 3u);
    std::vector<TTrack> open;
    for (const TSongEntry& entry : entries)
        open.push_back(TrackStateOf(entry));
    EXPECT_TRUE(SongModified(saved, open));
}

TEST(SongFile, FailedSavesLeaveTheSongAndTheSavedStatesAlone) {
    TTestFolder folder;
    const std::string song = folder / "Keep.Sng";
    const std::string before = "[TRACKS]\nTRACK1=a.wav\nNUMTRACKS=1\n[TRACK1]\nPAN=3\n";
    WriteBytes(song, before);
    const std::vector<TTrack> previous = {TTrack{false, false, 3, 0, "00:00:00000", "/A.WAV"}};
    std::vector<TTrack> saved = previous;
    std::string error;

    // A line break cannot be stored; the second track fails after the first was written.
    EXPECT_FALSE(WriteSong(song,
                           {Out(folder / "ok.wav", false, false, 0, 0, "00:00.00000"),
                            Out(folder / "bad.wav", false, false, 0, 0, "00:00\n[TRACKS]")},
                           saved, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadBytes(song), before);
    EXPECT_FALSE(SongModified(previous, saved));
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"Keep.Sng"});

    error.clear();
    EXPECT_FALSE(WriteSong(folder / "no/such/folder/x.Sng", {}, saved, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(WriteSong(folder.Path(), {}, saved, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(WriteSong("", {}, saved, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SongModified(previous, saved));

    if (::geteuid() != 0) { // root reads anything
        ASSERT_EQ(::chmod(song.c_str(), 0200), 0);
        error.clear();
        EXPECT_FALSE(WriteSong(song, {}, saved, error));
        EXPECT_FALSE(error.empty());
        ASSERT_EQ(::chmod(song.c_str(), 0600), 0);
        EXPECT_EQ(ReadBytes(song), before);
    }

    // An empty song saves as zero tracks, keeps its permission bits and a symlink stays one.
    ASSERT_EQ(::chmod(song.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("Keep.Sng", (folder / "Link.Sng").c_str()), 0);
    ASSERT_TRUE(WriteSong(folder / "Link.Sng", {}, saved, error)) << error;
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(ReadBytes(song), "[TRACKS]\nNUMTRACKS=0\n");
    struct stat info {};
    ASSERT_EQ(::lstat((folder / "Link.Sng").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(song.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(SongFile, ModifiedComparesEveryFieldAndFileNamesWithoutCase) {
    const TTrack base{true, false, -5, 7, "00:01.00000", "/SONGS/A.WAV"};
    EXPECT_FALSE(SongModified({}, {}));
    EXPECT_TRUE(SongModified({}, {base}));
    EXPECT_TRUE(SongModified({base}, {}));
    EXPECT_FALSE(SongModified({base, base}, {base, base}));
    TTrack lower = base;
    lower.fileName = "/songs/a.wav";
    EXPECT_FALSE(SongModified({base}, {lower}));
    std::vector<TTrack> changed(6, base);
    changed[0].muted = false;
    changed[1].minimized = true;
    changed[2].pan = -4;
    changed[3].volume = 8;
    changed[4].offset = "00:01:00000"; // the same time, other text: still a change
    changed[5].fileName = "/SONGS/B.WAV";
    for (const TTrack& one : changed) {
        EXPECT_TRUE(SongModified({base}, {one}));
        EXPECT_TRUE(SongModified({base, base}, {base, one})); // the second pair differs
    }
}

TEST(SongFile, Captions) {
    EXPECT_EQ(TrackCaption("/songs/Guitar.wav"), "Guitar.wav (/songs/)");
    EXPECT_EQ(TrackCaption("/Guitar.wav"), "Guitar.wav (/)");
    EXPECT_EQ(TrackCaption("Guitar.wav"), "Guitar.wav ()");
    EXPECT_EQ(SongCaption(""), "New Song");
    EXPECT_EQ(SongCaption("/songs/My Mix.Sng"), "My Mix");
    EXPECT_EQ(SongCaption("/songs/Mix.sn"), "Mix.sn");
    EXPECT_EQ(SongCaption("/songs.d/Mix"), "Mix");
    EXPECT_EQ(SongCaption("/songs/a.b.Sng"), "a.b");
    EXPECT_EQ(SongCaption("/songs/.Sng"), "");
    EXPECT_EQ(SongCaption("Take"), "Take");
    EXPECT_EQ(ReadingReport("/s/a.Sng"), "Reading /s/a.Sng");
    EXPECT_EQ(SongReadReport("/s/a.Sng", 3), "/s/a.Sng (3 Tracks)");
    EXPECT_EQ(SavedReport("/s/a.Sng"), "Saved /s/a.Sng");
}

TEST(SongFile, EveryPlaceOfTheWorkingCopyGivesTheSameFileAndLeavesNothingBehind) {
    TTestFolder folder;
    ASSERT_EQ(::mkdir((folder / "songs").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder / "scratch").c_str(), 0700), 0);
    const std::string song = folder / "songs/S.Sng";
    const std::string before = "[OTHER]\r\nA=1\r\n[TRACKS]\r\nNUMTRACKS=1\r\nTRACK1=x.wav\r\n";
    const std::string after = "[OTHER]\r\nA=1\r\n[TRACKS]\r\nTRACK1=y.wav\r\nNUMTRACKS=1\r\n"
                              "[TRACK1]\r\nMUTE=0\r\nMINIMIZED=0\r\nPAN=0\r\nVOLUME=0\r\n"
                              "OFFSET=00:00.00000\r\n";
    const std::vector<TSongTrackOut> tracks = {
        Out(folder / "songs/y.wav", false, false, 0, 0, "00:00.00000")};
    const std::string places[] = {folder / "scratch", folder / "missing", folder / "songs"};
    std::vector<TTrack> saved;
    std::string error;
    for (const std::string& place : places) {
        SetSongScratchFolderForTesting(&place);
        WriteBytes(song, before);
        EXPECT_TRUE(WriteSong(song, tracks, saved, error)) << place << error;
        EXPECT_EQ(ReadBytes(song), after) << place;
        EXPECT_EQ(EntryCount(folder / "scratch"), 0u) << place;
        EXPECT_EQ(EntryCount(folder / "songs"), 1u) << place;
    }
    SetSongScratchFolderForTesting(nullptr);

    // The disk fills up while the finished copy is carried over: the old song stays whole.
    WriteBytes(song, before);
    saved.clear();
    SetSaveFaultForTesting(10);
    EXPECT_FALSE(WriteSong(song, tracks, saved, error));
    SetSaveFaultForTesting(-1);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(ReadBytes(song), before);
    EXPECT_EQ(EntryCount(folder / "songs"), 1u);
}
