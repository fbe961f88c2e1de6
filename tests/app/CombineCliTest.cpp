// wavestack-cli combine run as a user would, on a song file written here by hand; expected
// samples are summed here from the inputs.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/WaveBytes.h"

namespace {

using namespace wavetest;

void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string Text(const std::string& path) {
    const Bytes b = Read(path);
    return std::string(b.begin(), b.end());
}

std::string TrackSection(int n, bool mute, int pan, int volume, const std::string& offset) {
    return "[TRACK" + std::to_string(n) + "]\nMUTE=" + (mute ? "1" : "0") +
           "\nMINIMIZED=0\nPAN=" + std::to_string(pan) + "\nVOLUME=" + std::to_string(volume) +
           "\nOFFSET=" + offset + "\n";
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class CombineCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wavestack-combine-XXXXXX";
        root = mkdtemp(tmpl);
        work = root + "/work";
        temp = root + "/tmp";
        mkdir(work.c_str(), 0700);
        mkdir(temp.c_str(), 0700);
    }
    void TearDown() override {
        EXPECT_EQ(FilesIn(temp), std::vector<std::string>{}); // no working files left
        std::system(("rm -rf " + root).c_str());
    }
    Result Run(const std::string& args) {
        const std::string command = "cd " + work + " && TMPDIR=" + temp +
                                    " WAVESTACK_CONFIG_DIR=" + root + " " + WAVESTACK_CLI + " " +
                                    args + " >" + root + "/out 2>" + root + "/err";
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Text(root + "/out");
        r.err = Text(root + "/err");
        return r;
    }
    std::string At(const std::string& name) const { return work + "/" + name; }

    std::string root, work, temp;
};

} // namespace

TEST_F(CombineCliTest, MixesTheUnmutedTracksAtTheirOffsets) {
    // a: 10000 frames of 16-bit stereo at 0.5 s; b: 30000 frames of 8-bit mono at 0 with
    // volume -50 (gain 0.5: (x - 128) * 256 * 0.5 is exact); c is muted.
    Bytes a, b, c;
    for (int f = 0; f < 10000; ++f) {
        PutLE(a, static_cast<uint16_t>(static_cast<int16_t>(f % 2000 - 1000)), 2);
        PutLE(a, static_cast<uint16_t>(static_cast<int16_t>(500 - f % 1000)), 2);
    }
    for (int f = 0; f < 30000; ++f)
        b.push_back(static_cast<uint8_t>(f * 7 % 256));
    c.assign(40000, 0x40);
    Write(At("a.wav"), Wave(44100, 16, 2, a));
    Write(At("b.wav"), Wave(44100, 8, 1, b));
    Write(At("c.wav"), Wave(44100, 16, 2, c));
    Write(At("song.Sng"), "[TRACKS]\nTRACK1=a.wav\nTRACK2=b.wav\nTRACK3=c.wav\nNUMTRACKS=3\n" +
                              TrackSection(1, false, 0, 0, "00:00.50000") +
                              TrackSection(2, false, 0, -50, "00:00.00000") +
                              TrackSection(3, true, 0, 0, "00:00.00000"));
    const Result r = Run("combine song.Sng -o mix.wav");
    ASSERT_EQ(r.status, 0) << r.err;

    // 0.5 s + 10000 frames = 22050 + 10000 frames.
    Bytes expected;
    for (int f = 0; f < 32050; ++f) {
        const int fromB = f < 30000 ? (b[static_cast<std::size_t>(f)] - 128) * 128 : 0;
        int left = fromB, right = fromB;
        if (f >= 22050) {
            left += f - 22050 < 10000 ? (f - 22050) % 2000 - 1000 : 0;
            right += f - 22050 < 10000 ? 500 - (f - 22050) % 1000 : 0;
        }
        PutLE(expected, static_cast<uint16_t>(std::clamp(left, -32767, 32767)), 2);
        PutLE(expected, static_cast<uint16_t>(std::clamp(right, -32767, 32767)), 2);
    }
    const Bytes got = DataOf(At("mix.wav"));
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(Read(At("mix.wav")).size(), 46 + expected.size()); // the layout of every file
    EXPECT_EQ(FilesIn(work),
              (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "mix.wav", "song.Sng"}));
}

TEST_F(CombineCliTest, FormatOptionAndPan) {
    // One 8-bit mono track in an 8-bit mono target at its own rate comes out unchanged (a
    // mono target has no pan).
    Bytes m;
    for (int i = 0; i < 4001; ++i)
        m.push_back(static_cast<uint8_t>(i * 13 % 256));
    Write(At("m.wav"), Wave(8000, 8, 1, m));
    Write(At("s.Sng"), "[TRACKS]\nTRACK1=" + At("m.wav") + "\nNUMTRACKS=1\n" +
                           TrackSection(1, false, 100, 0, "00:01.00000"));
    Result r = Run("-q combine s.Sng --format=8000,8,1 -o one.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(DataOf(At("one.wav")), m);

    // Pan +100 into a stereo target: left silent, right the samples.
    r = Run("combine s.Sng --format 8000,8,2 -o two.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes both;
    for (uint8_t v : m) {
        both.push_back(128);
        both.push_back(v);
    }
    EXPECT_EQ(DataOf(At("two.wav")), both);
}

TEST_F(CombineCliTest, BadArgumentsAndSongs) {
    Write(At("a.wav"), Wave(8000, 16, 1, Bytes(200, 1)));
    Write(At("muted.Sng"),
          "[TRACKS]\nTRACK1=a.wav\nNUMTRACKS=1\n" + TrackSection(1, true, 0, 0, "00:00.00000"));
    Write(At("lost.Sng"),
          "[TRACKS]\nTRACK1=gone.wav\nNUMTRACKS=1\n" + TrackSection(1, false, 0, 0, "00:00.00000"));

    Result r = Run("combine muted.Sng");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing -o OUT"), std::string::npos) << r.err;
    r = Run("combine muted.Sng -o x.wav --format 44100,12,2");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--format"), std::string::npos) << r.err;
    r = Run("combine muted.Sng -o x.wav --loud");
    EXPECT_EQ(r.status, 2);
    r = Run("combine -o x.wav");
    EXPECT_EQ(r.status, 2);

    r = Run("combine muted.Sng -o x.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No unmuted tracks"), std::string::npos) << r.err;
    r = Run("-q combine missing.Sng -o x.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.Sng"), std::string::npos) << r.err;
    r = Run("combine lost.Sng -o x.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("gone.wav"), std::string::npos) << r.err;
    EXPECT_EQ(FilesIn(work), (std::vector<std::string>{"a.wav", "lost.Sng", "muted.Sng"}));

    r = Run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("combine SONG -o OUT"), std::string::npos);
}
