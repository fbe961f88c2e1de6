// Parameter records, preset file and last settings, checked through the bytes of the files.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "effects/EffectPresets.h"
#include "platform/ConfigPaths.h"
#include "tests/common/FileSizeLimit.h"

namespace {

class PresetFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fxpresetsXXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string Text(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::string dir_;
};

} // namespace

TEST_F(PresetFiles, FirstStartReadsTheStartValues) {
    TProfileFile settings(Path("none/Settings.TXT"));
    const TLastEffectSettings last = ReadLastEffectSettings(settings);
    EXPECT_EQ(last.delay.delay, 250);
    EXPECT_EQ(last.delay.functionDelay, 125);
    EXPECT_EQ(last.delay.functionFrequency, 10);
    EXPECT_EQ(last.delay.feedback, 50);
    EXPECT_TRUE(last.delay.feedbackPositive && last.delay.dryPositive && last.delay.wetPositive);
    EXPECT_EQ(last.delay.dry, 50);
    EXPECT_EQ(last.delay.wet, 50);
    EXPECT_EQ(last.delay.function, "(None)");
    EXPECT_EQ(last.delay.Type(), 0);
    EXPECT_EQ(last.fade.left, 100);
    EXPECT_EQ(last.fade.right, 0);
    EXPECT_EQ(last.equalizer.dry, 50);
    for (int32_t b : last.equalizer.bands)
        EXPECT_EQ(b, 50);
    EXPECT_EQ(last.distortion.upperThreshold, 20);
    EXPECT_EQ(last.distortion.lowerThreshold, 20);
    EXPECT_EQ(last.distortion.clamp, 20);
    EXPECT_EQ(last.distortion.dry, 50);
    EXPECT_EQ(last.distortion.wet, 50);
    EXPECT_EQ(last.page, kPageDelay);

    TEffectPresets presets(Path("none/EffectsPreset.Ini"));
    EXPECT_TRUE(presets.List("DELAY").empty());
    EXPECT_FALSE(std::filesystem::exists(Path("none"))); // reading creates nothing
}

TEST_F(PresetFiles, NegativeFeedbackRoundTripsWithItsKeysInOrder) {
    TEffectPresets presets(Path("cfg/deep/EffectsPreset.Ini")); // folders made on first save
    TDelayParams p;
    p.feedback = -40;
    p.feedbackPositive = false;
    p.function = "Sinusoidal";
    ASSERT_TRUE(presets.Save("Echo", p)) << presets.LastError();
    EXPECT_EQ(Text(presets.Path()), "[DELAYEcho]\nVERSION=1.0\nDELAY=250\nFEEDBACK=-40\n"
                                    "FEEDBACKPOSITIVE=0\nDRY=50\nDRYPOSITIVE=1\nWET=50\n"
                                    "WETPOSITIVE=1\nFUNCTION=Sinusoidal\nFUNCTIONFREQUENCY=10\n"
                                    "FUNCTIONDELAY=125\n[DELAY]\nEcho=\n");
    TDelayParams back;
    presets.Load("Echo", back);
    EXPECT_EQ(back.feedback, -40);
    EXPECT_FALSE(back.feedbackPositive);
    EXPECT_EQ(back.Type(), 1);

    TDistortionParams d;
    d.wet = -150;
    d.wetPositive = false;
    ASSERT_TRUE(presets.Save("Fuzz", d));
    TEqualizerParams e;
    e.bands[9] = 200;
    ASSERT_TRUE(presets.Save("Bright", e));
    TEqualizerParams eBack;
    presets.Load("Bright", eBack);
    EXPECT_EQ(eBack.bands, e.bands);
    const std::string text = Text(presets.Path());
    EXPECT_NE(text.find("[DISTORTIONFuzz]\nVERSION=1.0\nUPPERTHRESHOLD=20\nLOWERTHRESHOLD=20\n"
                        "CLAMP=20\nDRY=50\nDRYPOSITIVE=1\nWET=-150\nWETPOSITIVE=0\n"),
              std::string::npos);
    EXPECT_NE(text.find("[EQUALIZEBright]\nVERSION=1.0\nDRY=50\nE0=50\nE1=50\nE2=50\nE3=50\n"
                        "E4=50\nE5=50\nE6=50\nE7=50\nE8=50\nE9=200\n"),
              std::string::npos);
}

TEST_F(PresetFiles, StoredValuesAreSettledIntoTheSliders) {
    const std::string path = Path("EffectsPreset.Ini");
    Put(path, "[DELAYA]\nFEEDBACKPOSITIVE=1\nFEEDBACK=-40\nDRYPOSITIVE=0\nDRY=40\n"
              "WET=-200\nWETPOSITIVE=0\nDELAY=100\nFUNCTIONDELAY=300\nFUNCTION=sinusoidal\n"
              "FUNCTIONFREQUENCY=0x10\n"
              "[DELAYB]\nDELAY=9999\nFUNCTIONDELAY=-5\nFUNCTION=Square\nFUNCTIONFREQUENCY=x\n"
              "[DISTORTIONC]\nUPPERTHRESHOLD=30\nLOWERTHRESHOLD=70\nCLAMP=101\n"
              "[FADED]\nLEFT=-1\nRIGHT=300\n[EQUALIZEE]\nDRY=abc\nE3=250\n");
    TProfileFile file(path);
    TDelayParams a;
    ReadEffectSection(file, "A", a);
    EXPECT_EQ(a.feedback, 0); // positive mode: the low end of 0..150
    EXPECT_TRUE(a.feedbackPositive);
    EXPECT_EQ(a.dry, 0); // negative mode: the high end of -150..0
    EXPECT_FALSE(a.dryPositive);
    EXPECT_EQ(a.wet, -150);
    EXPECT_EQ(a.functionDelay, 300);
    EXPECT_EQ(a.delay, 300); // raised by the modulated delay
    EXPECT_EQ(a.function, "Sinusoidal");
    EXPECT_EQ(a.functionFrequency, 16);

    TDelayParams b;
    ReadEffectSection(file, "b", b); // section names ignore case
    EXPECT_EQ(b.delay, 2500);
    EXPECT_EQ(b.functionDelay, 0);
    EXPECT_EQ(b.function, "");
    EXPECT_EQ(b.Type(), 0);
    EXPECT_EQ(b.functionFrequency, 10); // not a number: the start value

    TDistortionParams c;
    ReadEffectSection(file, "C", c);
    EXPECT_EQ(c.lowerThreshold, 70);
    EXPECT_EQ(c.upperThreshold, 70);
    EXPECT_EQ(c.clamp, 100);

    TFadeParams d;
    ReadEffectSection(file, "D", d);
    EXPECT_EQ(d.left, 0);
    EXPECT_EQ(d.right, 200);
    TEqualizerParams e;
    ReadEffectSection(file, "E", e);
    EXPECT_EQ(e.dry, 50);
    EXPECT_EQ(e.bands[3], 200);
    EXPECT_EQ(e.bands[4], 50);
}

TEST_F(PresetFiles, SaveExistingDeleteAndReorderKeepWhatTheyShould) {
    TEffectPresets presets(Path("EffectsPreset.Ini"));
    TFadeParams p;
    for (const char* name : {"In", "Out", "Swell"}) {
        p.left += 10;
        ASSERT_TRUE(presets.Save(name, p));
    }
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"In", "Out", "Swell"}));
    const std::string indexText = "[FADE]\nIn=\nOut=\nSwell=\n";
    EXPECT_NE(Text(presets.Path()).find(indexText), std::string::npos);

    // The same name in other letters: the index stays, the keys are rewritten.
    p.right = 77;
    ASSERT_TRUE(presets.Save("OUT", p));
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"In", "Out", "Swell"}));
    TFadeParams out;
    presets.Load("Out", out);
    EXPECT_EQ(out.right, 77);
    EXPECT_NE(Text(presets.Path()).find(indexText), std::string::npos);

    // Reordering rewrites the index only; every preset section keeps its bytes.
    const std::string before = Text(presets.Path());
    const std::string sections = before.substr(0, before.find("[FADE]\n"));
    ASSERT_TRUE(presets.Reorder("FADE", {"swell", "In", "Out"}));
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"Swell", "In", "Out"}));
    EXPECT_EQ(Text(presets.Path()), sections + "[FADE]\nSwell=\nIn=\nOut=\n");
    EXPECT_FALSE(presets.Reorder("FADE", {"Swell", "In"}));
    EXPECT_FALSE(presets.Reorder("FADE", {"Swell", "In", "In"}));
    EXPECT_FALSE(presets.Reorder("FADE", {"Swell", "In", "Other"}));
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"Swell", "In", "Out"}));

    ASSERT_TRUE(presets.Delete("FADE", "in"));
    ASSERT_TRUE(presets.Delete("FADE", "Swell"));
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"Out"}));
    ASSERT_TRUE(presets.Delete("FADE", "Out"));
    EXPECT_TRUE(presets.List("FADE").empty());
    // The only preset gone: an empty index section and no preset sections.
    EXPECT_EQ(Text(presets.Path()), "[FADE]\n");
}

TEST_F(PresetFiles, ASaveTheDiskRefusesLeavesThePresetFileAsItWas) {
    TEffectPresets presets(Path("EffectsPreset.Ini"));
    TEqualizerParams p;
    ASSERT_TRUE(presets.Save("Warm", p));
    const std::string before = Text(presets.Path());
    // Room for the file and a few keys more, not for a whole second preset: the section and
    // its index entry reach the file in one write, so no part of them may appear.
    {
        const FileSizeLimit limit(before.size() + 40);
        EXPECT_FALSE(presets.Save("Bright", p));
    }
    EXPECT_FALSE(presets.LastError().empty());
    EXPECT_EQ(Text(presets.Path()), before);
    EXPECT_EQ(presets.List("EQUALIZE"), (std::vector<std::string>{"Warm"}));
    ASSERT_TRUE(presets.Save("Bright", p));
    EXPECT_EQ(presets.List("EQUALIZE"), (std::vector<std::string>{"Warm", "Bright"}));
}

TEST_F(PresetFiles, NamesThatWouldNotReadBackAreRefused) {
    TEffectPresets presets(Path("sub/EffectsPreset.Ini"));
    const std::string message =
        "Preset names cannot contain \"=\", \"]\" or line breaks, or start with \";\" or \"[\".";
    for (const std::string bad : {"a=b", "a]b", "a\nb", "a\rb", ";x", "[x"}) {
        EXPECT_FALSE(presets.Save(bad, TFadeParams{})) << bad;
        EXPECT_EQ(presets.LastError(), message) << bad;
    }
    for (const std::string blank : {"", "   ", "\t"}) {
        EXPECT_FALSE(presets.Save(blank, TFadeParams{}));
        EXPECT_EQ(presets.LastError(), "Preset names cannot be empty.");
    }
    EXPECT_FALSE(std::filesystem::exists(Path("sub")));
    // Blanks around a name are dropped; inside it they stay.
    ASSERT_TRUE(presets.Save("  Slow in  ", TFadeParams{}));
    EXPECT_EQ(presets.List("FADE"), (std::vector<std::string>{"Slow in"}));
    EXPECT_EQ(PresetNameProblem("Echo [long]"), "Preset names cannot contain \"=\", \"]\" or "
                                                "line breaks, or start with \";\" or \"[\".");
    EXPECT_EQ(PresetNameProblem("Echo [long"), "");
}

TEST_F(PresetFiles, LastSettingsRoundTripInOrderAndBadPageShowsDelay) {
    TProfileFile settings(Path("conf/Studio.TXT"));
    TLastEffectSettings last;
    last.delay.wet = -20;
    last.delay.wetPositive = false;
    last.fade.right = 150;
    last.equalizer.bands[0] = 0;
    last.distortion.clamp = 99;
    last.page = kPageDistortion;
    ASSERT_TRUE(WriteLastEffectSettings(settings, last));
    const std::string text = Text(settings.FileName());
    const auto at = [&](const char* s) { return text.find(s); };
    EXPECT_LT(at("[DELAYDELAYDEFAULT]"), at("[FADEFADEDEFAULT]"));
    EXPECT_LT(at("[FADEFADEDEFAULT]"), at("[DISTORTIONDISTORTIONDEFAULT]"));
    EXPECT_LT(at("[DISTORTIONDISTORTIONDEFAULT]"), at("[EQUALIZEEQUALIZEDEFAULT]"));
    EXPECT_NE(at("[PAGE]\nLASTPAGE=3\n"), std::string::npos);

    TProfileFile again(settings.FileName());
    const TLastEffectSettings back = ReadLastEffectSettings(again);
    EXPECT_EQ(back.delay.wet, -20);
    EXPECT_FALSE(back.delay.wetPositive);
    EXPECT_EQ(back.fade.right, 150);
    EXPECT_EQ(back.equalizer.bands[0], 0);
    EXPECT_EQ(back.distortion.clamp, 99);
    EXPECT_EQ(back.page, kPageDistortion);

    for (const char* page : {"7", "-1", "4", "x"}) {
        Put(Path("page.TXT"), std::string("[PAGE]\nLASTPAGE=") + page + "\n");
        TProfileFile f(Path("page.TXT"));
        EXPECT_EQ(ReadLastEffectSettings(f).page, kPageDelay) << page;
    }
    Put(Path("page.TXT"), "[page]\nlastpage=0\n");
    TProfileFile f(Path("page.TXT"));
    EXPECT_EQ(ReadLastEffectSettings(f).page, kPageEqualizer);
}

TEST_F(PresetFiles, ConfigFolderFollowsTheEnvironment) {
    const auto keep = [](const char* name) {
        const char* v = std::getenv(name);
        return std::pair<bool, std::string>(v != nullptr, v ? v : "");
    };
    const auto own = keep("WAVESTACK_CONFIG_DIR"), xdg = keep("XDG_CONFIG_HOME"),
               home = keep("HOME");
    setenv("WAVESTACK_CONFIG_DIR", "/x/own", 1);
    setenv("XDG_CONFIG_HOME", "/x/xdg", 1);
    setenv("HOME", "/x/home", 1);
    EXPECT_EQ(ConfigDir(), "/x/own/");
    EXPECT_EQ(PresetFilePath(), "/x/own/EffectsPreset.Ini");
    setenv("WAVESTACK_CONFIG_DIR", "", 1);
    EXPECT_EQ(ConfigDir(), "/x/xdg/wavestack/");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(ConfigDir(), "/x/home/.config/wavestack/");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ConfigDir(), "/x/home/.config/wavestack/");
    const auto restore = [](const char* name, const std::pair<bool, std::string>& v) {
        if (v.first)
            setenv(name, v.second.c_str(), 1);
        else
            unsetenv(name);
    };
    restore("WAVESTACK_CONFIG_DIR", own);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);

    EXPECT_TRUE(EnsureParentFolder(Path("a/b/c/file.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(Path("a/b/c")));
    Put(Path("plain"), "x");
    EXPECT_FALSE(EnsureParentFolder(Path("plain/inside/file.ini")));
}
