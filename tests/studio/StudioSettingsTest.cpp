#include "studio/core/StudioSettings.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

#include "effects/EffectPresets.h"
#include "platform/ConfigPaths.h"
#include "studio/core/SongFile.h"
#include "tests/common/FileReplaceCounter.h"
#include "tests/platform/TempFilesTestFolder.h"
#include "track/RecordingState.h"

namespace {

// Sets an environment variable for a scope and puts the old value back.
class TEnvironment {
  public:
    TEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

void Touch(const std::string& path) {
    WriteBytes(path, "");
}

bool SameFormatFields(const WAVEFORMATEX& f, uint16_t tag, uint16_t channels, uint32_t rate,
                      uint32_t bytesPerSec, uint16_t align, uint16_t bits, uint16_t extra) {
    return f.wFormatTag == tag && f.nChannels == channels && f.nSamplesPerSec == rate &&
           f.nAvgBytesPerSec == bytesPerSec && f.nBlockAlign == align && f.wBitsPerSample == bits &&
           f.cbSize == extra;
}

} // namespace

TEST(StudioSettings, SettingsFileAndTracksFolderLieWhereTheUserExpects) {
    TTestFolder folder;
    const TEnvironment home("HOME", "/home/ann");
    const TEnvironment config("XDG_CONFIG_HOME", folder.Path());
    const TEnvironment own("WAVESTACK_CONFIG_DIR", "/etc/ws");
    EXPECT_EQ(SettingsFilePath(), "/etc/ws/wavestack.TXT");

    EXPECT_EQ(DefaultTracksFolder(), "/home/ann/Music/Tracks/"); // no user-dirs.dirs
    WriteBytes(folder / "user-dirs.dirs", "# written by hand\n"
                                          "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                          "XDG_MUSIC_DIR=\"$HOME/My \\\"Tunes\\\"\"\n");
    EXPECT_EQ(DefaultTracksFolder(), "/home/ann/My \"Tunes\"/Tracks/");
    WriteBytes(folder / "user-dirs.dirs", "  XDG_MUSIC_DIR=\"/srv/music/\"\n");
    EXPECT_EQ(DefaultTracksFolder(), "/srv/music/Tracks/");
    // Not an absolute folder, or a variable other than $HOME: the usual folder.
    WriteBytes(folder / "user-dirs.dirs", "XDG_MUSIC_DIR=\"music\"\n");
    EXPECT_EQ(DefaultTracksFolder(), "/home/ann/Music/Tracks/");
    WriteBytes(folder / "user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOMER/x\"\n");
    EXPECT_EQ(DefaultTracksFolder(), "/home/ann/Music/Tracks/");
}

TEST(StudioSettings, FirstStartReadsEveryDefaultAndWritesThemInOrderAtOnce) {
    TTestFolder folder;
    const TEnvironment home("HOME", "/home/ann");
    const TEnvironment config("XDG_CONFIG_HOME", folder.Path());
    const std::string path = folder / "wavestack/wavestack.TXT"; // folder not made yet
    TProfileFile file(path);

    const TStudioSettings settings = ReadStudioSettings(file);
    EXPECT_TRUE(settings.recentFiles.Paths().empty());
    EXPECT_TRUE(settings.recentFiles.MenuCaptions().empty());
    EXPECT_FALSE(settings.recentFiles.HasExitSeparator());
    EXPECT_EQ(settings.device, "");   // the first output device
    EXPECT_EQ(settings.recorder, -1); // the wave mapper
    EXPECT_TRUE(SameFormatFields(settings.trackFormat, 1, 1, 44100, 88200, 2, 16, 0));
    EXPECT_EQ(settings.trackLength, "00:30:00");
    EXPECT_EQ(settings.trackFolder, "/home/ann/Music/Tracks/");
    EXPECT_TRUE(SameFormatFields(settings.outputFormat, 1, 2, 44100, 176400, 4, 16, 0));
    EXPECT_EQ(ReadOpenFolder(file), "");
    EXPECT_FALSE(ReadFirstChildMaximized(file));
    EXPECT_FALSE(std::filesystem::exists(path)); // reading creates nothing

    ASSERT_TRUE(EnsureParentFolder(path));
    TFileReplaceCounter writes(path);
    ASSERT_TRUE(writes.Watching());
    ASSERT_TRUE(WriteStudioSettings(file, settings)) << file.LastError();
    EXPECT_EQ(writes.Take(), 1);
    EXPECT_EQ(ReadBytes(path), "[FILES]\nNUMFILES=0\n"
                               "[SOUND]\nDEVICE=\nRECORDER=-1\n"
                               "[TRACKWAVEFORMATEX]\nwFormatTag=1\nnChannels=1\n"
                               "nSamplesPerSec=44100\nnAvgBytesPerSec=88200\nnBlockAlign=2\n"
                               "wBitsPerSample=16\ncbSize=0\nLENGTH=00:30:00\n"
                               "FOLDER=/home/ann/Music/Tracks/\n"
                               "[OUTPUTWAVEFORMATEX]\nwFormatTag=1\nnChannels=2\n"
                               "nSamplesPerSec=44100\nnAvgBytesPerSec=176400\nnBlockAlign=4\n"
                               "wBitsPerSample=16\ncbSize=0\n");

    // The Open dialog's folder and the first child's state are written on their own.
    ASSERT_TRUE(WriteOpenFolder(file, "/music/songs/Mix.Sng"));
    ASSERT_TRUE(WriteFirstChildMaximized(file, true));
    EXPECT_EQ(ReadOpenFolder(file), "/music/songs/");
    EXPECT_TRUE(ReadFirstChildMaximized(file));
}

TEST(StudioSettings, RecentFileGoneAtStartIsDroppedAndItsStaleKeyStays) {
    TTestFolder folder;
    const std::string a = folder / "a.wav", b = folder / "b.wav", c = folder / "Mix.Sng";
    Touch(a);
    Touch(c); // b is gone
    const std::string path = folder / "wavestack.TXT";
    // Keys in any case, as a hand edit may leave them.
    WriteBytes(path, "[files]\nnumfiles=3\nfile1=" + a + "\nFILE2=" + b + "\nFile3=" + c + "\n");
    TProfileFile file(path);

    TStudioSettings settings = ReadStudioSettings(file);
    EXPECT_EQ(settings.recentFiles.Paths(), (std::vector<std::string>{a, c}));
    EXPECT_EQ(settings.recentFiles.MenuCaptions(),
              (std::vector<std::string>{"1. a.wav", "2. Mix.Sng"}));
    EXPECT_TRUE(settings.recentFiles.HasExitSeparator());

    ASSERT_TRUE(WriteStudioSettings(file, settings));
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.substr(0, bytes.find("[SOUND]")),
              "[files]\nnumfiles=2\nfile1=" + a + "\nFILE2=" + c + "\nFile3=" + c + "\n");
    // The stale third key is never read, and a huge count visits only the keys there are.
    EXPECT_EQ(ReadStudioSettings(file).recentFiles.Paths().size(), 2u);
    ASSERT_TRUE(file.WriteInteger("FILES", "NUMFILES", INT32_MAX));
    EXPECT_EQ(ReadStudioSettings(file).recentFiles.Paths(), (std::vector<std::string>{a, c}));
}

TEST(StudioSettings, RecentFilesKeepNineRotateANewOneInAndIgnoreAKnownOne) {
    TRecentFiles recent;
    std::vector<std::string> nine;
    for (int n = 1; n <= 9; ++n) {
        nine.push_back("/songs/take" + std::to_string(n) + ".wav");
        EXPECT_TRUE(recent.Remember(nine.back()));
    }
    EXPECT_EQ(recent.MenuCaptions().back(), "9. take9.wav");

    EXPECT_FALSE(recent.Remember("/SONGS/Take3.WAV")); // listed, in another case
    EXPECT_EQ(recent.Paths(), nine);

    EXPECT_TRUE(recent.Remember("/other/Tenth.Sng"));
    std::vector<std::string> expected = {"/other/Tenth.Sng"};
    expected.insert(expected.end(), nine.begin(), nine.end() - 1);
    EXPECT_EQ(recent.Paths(), expected);
    const std::vector<std::string> captions = recent.MenuCaptions();
    EXPECT_EQ(captions.front(), "1. Tenth.Sng");
    EXPECT_EQ(captions[1], "2. take1.wav");
    EXPECT_EQ(captions.back(), "9. take8.wav");

    // The number of a caption, digits before the first ".", picks the path; an accelerator
    // mark around it does not matter.
    EXPECT_EQ(recent.PathOfCaption("3. take2.wav"), "/songs/take2.wav");
    EXPECT_EQ(recent.PathOfCaption("&9. anything"), "/songs/take8.wav");
    for (const char* bad : {"take.wav", ". x", "0. x", "10. x", "x. y"})
        EXPECT_EQ(recent.PathOfCaption(bad), "") << bad;

    EXPECT_FALSE(recent.Remember("/songs/two\nlines.wav")); // could not be stored
}

TEST(StudioSettings, FormatFieldsTruncateAndNonNumbersReadAsDefaults) {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    WriteBytes(path, "[TRACKWAVEFORMATEX]\nnChannels=70000\nwBitsPerSample=abc\n"
                     "nSamplesPerSec=0xAC44\nnBlockAlign=-1\nLENGTH=01:00.00000\n"
                     "[SOUND]\nRECORDER=two\nDEVICE=Built-in Audio Analog Stereo\n"
                     "[OUTPUTWAVEFORMATEX]\nnAvgBytesPerSec=-1\ncbSize=$10001\n");
    TProfileFile file(path);
    const TStudioSettings settings = ReadStudioSettings(file);
    EXPECT_TRUE(
        SameFormatFields(settings.trackFormat, 1, 70000 - 65536, 44100, 88200, 65535, 16, 0));
    EXPECT_TRUE(SameFormatFields(settings.outputFormat, 1, 2, 44100, 4294967295u, 4, 16, 1));
    EXPECT_EQ(settings.recorder, -1);
    EXPECT_EQ(settings.device, "Built-in Audio Analog Stereo");
    EXPECT_EQ(settings.trackLength, "01:00.00000");

    // What is written reads back as it was held, the full 32 bits included.
    ASSERT_TRUE(WriteStudioSettings(file, settings));
    TProfileFile again(path);
    const TStudioSettings back = ReadStudioSettings(again);
    EXPECT_TRUE(SameFormat(back.trackFormat, settings.trackFormat));
    EXPECT_TRUE(SameFormat(back.outputFormat, settings.outputFormat));
}

// The takes' placement: compensation on and no offset unless the file says otherwise, an offset
// kept within half a second either way, the keys written only once they matter, and what was
// read placing the takes from then on.
TEST(StudioSettings, LatencyKeysReadClampedWrittenOnceTheyMatterAndPlaceTheTakes) {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    {
        TProfileFile file(path);
        const TStudioSettings settings = ReadStudioSettings(file);
        EXPECT_TRUE(settings.latencyCompensation);
        EXPECT_EQ(settings.latencyOffsetMs, 0);
        ASSERT_TRUE(WriteStudioSettings(file, settings));
        const std::string written = ReadBytes(path);
        EXPECT_EQ(written.find("LATENCY"), std::string::npos) << written;
    }
    for (const auto& [text, compensation, offset] :
         {std::tuple{"LATENCYCOMPENSATION=0\nLATENCYOFFSET=731\n", false, 500},
          std::tuple{"LATENCYCOMPENSATION=1\nLATENCYOFFSET=-9999\n", true, -500},
          std::tuple{"LATENCYCOMPENSATION=0\nLATENCYOFFSET=ten\n", false, 0},
          std::tuple{"LATENCYOFFSET=-20\n", true, -20}}) {
        WriteBytes(path, std::string("[SOUND]\n") + text);
        TProfileFile file(path);
        const TStudioSettings settings = ReadStudioSettings(file);
        EXPECT_EQ(settings.latencyCompensation, compensation) << text;
        EXPECT_EQ(settings.latencyOffsetMs, offset) << text;
        EXPECT_EQ(RecordingLatency().compensate, compensation) << text;
        EXPECT_EQ(RecordingLatency().offsetMs, offset) << text;
    }
    // Once in the file, a change back to the default is written too.
    TProfileFile file(path);
    TStudioSettings settings = ReadStudioSettings(file);
    settings.latencyOffsetMs = 0;
    settings.latencyCompensation = false;
    ASSERT_TRUE(WriteStudioSettings(file, settings));
    TProfileFile again(path);
    const TStudioSettings back = ReadStudioSettings(again);
    EXPECT_FALSE(back.latencyCompensation);
    EXPECT_EQ(back.latencyOffsetMs, 0);
    SetRecordingLatency({});
}

// Writes real files of each kind the profile-file reader meets, for the fuzz target to start
// from.
TEST(StudioSettings, WritesFuzzSeedCorpusWhenAsked) {
    const char* dir = std::getenv("WAVESTACK_FUZZ_CORPUS");
    if (!dir || !*dir) GTEST_SKIP() << "WAVESTACK_FUZZ_CORPUS not set";
    const std::string corpus = dir;
    TTestFolder folder;
    const std::string recent = folder / "Take.wav";
    Touch(recent);

    TStudioSettings settings = DefaultStudioSettings();
    settings.recentFiles.Remember(recent);
    settings.device = "Built-in Audio";
    TProfileFile file(corpus + "/seed-settings.TXT");
    ASSERT_TRUE(WriteStudioSettings(file, settings)) << file.LastError();
    ASSERT_TRUE(WriteOpenFolder(file, "/music/Mix.Sng"));

    // A form's layout section beside them, keys as the settings object writes them.
    TProfileBatch layout(file);
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"HEIGHT", "300"},
                                                          {"GridHeight", "120"},
                                                          {"GridVL", "1"},
                                                          {"GridC0", "30"},
                                                          {"N_PanelSIZE", "1"},
                                                          {"N_PanelBGCOLOR", "12632256"},
                                                          {"DeviceListINDEX", "2"},
                                                          {"NameBoxTEXT", "Warm"},
                                                          {"NameBoxTEXT0", "Cold"}}) {
        ASSERT_TRUE(file.WriteString("TFormOrganize", key, value));
    }
    ASSERT_TRUE(layout.Commit());

    std::vector<TTrack> saved;
    std::string error;
    const std::vector<TSongTrackOut> tracks = {
        {recent, recent, true, false, -30, 45, "00:01.50000"},
        {"/elsewhere/Bass.wav", "/elsewhere/Bass.wav", false, true, 100, -100, "01:02.00300"}};
    ASSERT_TRUE(WriteSong(corpus + "/seed-song.Sng", tracks, saved, error)) << error;

    TEffectPresets presets(corpus + "/seed-presets.Ini");
    TDelayParams delay;
    TEqualizerParams equalizer;
    ASSERT_TRUE(presets.Save("Echo Hall", delay)) << presets.LastError();
    ASSERT_TRUE(presets.Save("Bright", equalizer)) << presets.LastError();
    TLastEffectSettings last;
    TProfileFile lastFile(corpus + "/seed-last-effects.TXT");
    ASSERT_TRUE(WriteLastEffectSettings(lastFile, last));
}
