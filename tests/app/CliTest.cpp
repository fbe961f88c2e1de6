// Runs the built wavestack-cli as a user would and checks its exit status, its messages and
// the bytes of the files it leaves. Wave files are built and read here byte by byte.
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

std::string Text(const std::string& path) {
    const Bytes b = Read(path);
    return std::string(b.begin(), b.end());
}

uint16_t FormatField(const std::string& path, int offset) {
    const Bytes b = Read(path);
    return b.size() < 46 ? 0 : static_cast<uint16_t>(b[offset] | b[offset + 1] << 8);
}

Bytes Pattern(std::size_t n, uint32_t seed) {
    Bytes b(n);
    uint32_t x = seed;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wavestack-cli-XXXXXX";
        root = mkdtemp(tmpl);
        work = root + "/work";
        temp = root + "/tmp";
        config = root + "/config";
        mkdir(work.c_str(), 0700);
        mkdir(temp.c_str(), 0700);
        mkdir(config.c_str(), 0700);
    }
    void TearDown() override {
        // Every run must clean up its undo states and their pictures.
        EXPECT_EQ(FilesIn(temp), std::vector<std::string>{});
        std::system(("rm -rf " + root).c_str());
    }

    // Runs the tool in the work folder with a private TMPDIR and configuration folder.
    Result Run(const std::string& args) {
        const std::string command = "cd " + work + " && TMPDIR=" + temp +
                                    " WAVESTACK_CONFIG_DIR=" + config + " " + WAVESTACK_CLI + " " +
                                    args + " >" + root + "/out 2>" + root + "/err";
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Text(root + "/out");
        r.err = Text(root + "/err");
        return r;
    }
    std::string Put(const std::string& name, const Bytes& fileBytes) {
        Write(work + "/" + name, fileBytes);
        return work + "/" + name;
    }
    std::string At(const std::string& name) const { return work + "/" + name; }

    std::string root, work, temp, config;
    const Bytes data = Pattern(10000, 3);
    const Bytes clip = Pattern(2000, 11);
};

TEST_F(CliTest, InfoPrintsFormatLengthAndTime) {
    // 1.5 s of 16-bit stereo at 44100 Hz = 1.5 * 176400 bytes.
    Put("a.wav", Wave(44100, 16, 2, Bytes(264600, 0)));
    Result r = Run("info a.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "16 bit Stereo @44100Hz  264600 bytes  00:01.50000\n");

    // 11025 bytes of 8-bit mono at 22050 Hz: half a second.
    Put("m.wav", Wave(22050, 8, 1, Bytes(11025, 128)));
    r = Run("--quiet info m.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "8 bit Mono @22050Hz  11025 bytes  00:00.50000\n");
    EXPECT_EQ(r.err, "");

    r = Run("info missing.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;

    Put("junk.wav", Bytes{'R', 'I', 'F', 'X', 1, 2, 3, 4, 5, 6, 7, 8});
    r = Run("info junk.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Error"), std::string::npos) << r.err;
}

TEST_F(CliTest, CutCopyDeleteAndClearThroughATransferFile) {
    const Bytes input = Wave(44100, 16, 2, data);
    Put("in.wav", input);

    Result r = Run("edit in.wav -o out.wav --op cut --sel 1000:3000 --clip part.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("out.wav")), Concat({Slice(data, 0, 1000), Slice(data, 3000, 10000)}));
    EXPECT_EQ(DataOf(At("part.wav")), Slice(data, 1000, 3000));
    EXPECT_EQ(Read(At("in.wav")), input);

    // Copy leaves everything but the transfer file alone and needs no output.
    r = Run("-q edit in.wav --op copy --sel 2000:2500 --clip part.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(DataOf(At("part.wav")), Slice(data, 2000, 2500));
    EXPECT_EQ(Read(At("in.wav")), input);

    // Time texts: 0.01 s is 441 frames of 4 bytes; the ':' inside them is not the separator.
    r = Run("edit in.wav -o del.wav --op delete --sel 00:00.01000:00:00.02000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("del.wav")), Concat({Slice(data, 0, 1764), Slice(data, 3528, 10000)}));

    r = Run("edit in.wav -o clr.wav --op clear --sel 1000:3000");
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes cleared = data;
    std::fill(cleared.begin() + 1000, cleared.begin() + 3000, 0);
    EXPECT_EQ(DataOf(At("clr.wav")), cleared);

    // A byte offset inside a frame is taken back to the frame's start (1001 -> 1000).
    r = Run("edit in.wav -o odd.wav --op delete --sel 1001:3003");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("odd.wav")), Concat({Slice(data, 0, 1000), Slice(data, 3000, 10000)}));

    // No picture placeholders or leftovers beside the user's files.
    EXPECT_EQ(FilesIn(work), (std::vector<std::string>{"clr.wav", "del.wav", "in.wav", "odd.wav",
                                                       "out.wav", "part.wav"}));
}

TEST_F(CliTest, InsertPasteAndTotal) {
    Put("in.wav", Wave(44100, 16, 2, data));
    Put("part.wav", Wave(44100, 16, 2, clip));

    Result r = Run("edit in.wav -o ins.wav --op insert --play 1000 --clip part.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("ins.wav")),
              Concat({Slice(data, 0, 1000), clip, Slice(data, 1000, 10000)}));

    r = Run("edit in.wav -o p1.wav --op paste --play 1000 --clip part.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("p1.wav")), Concat({Slice(data, 0, 1000), clip, Slice(data, 3000, 10000)}));

    r = Run("edit in.wav -o p2.wav --op paste --play 9000 --clip part.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("p2.wav")), Concat({Slice(data, 0, 9000), clip}));

    // 0.1 s of 176400 bytes/s is 17640 bytes; the new part is silence.
    r = Run("edit in.wav -o long.wav --op total --length 00:00.10000");
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes longer = data;
    longer.resize(17640, 0);
    EXPECT_EQ(DataOf(At("long.wav")), longer);

    // Over the input itself: 0.02 s = 3528 bytes.
    r = Run("edit in.wav -o in.wav --op total --length 00:00.02000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("in.wav")), Slice(data, 0, 3528));

    // Without a transfer file there is nothing to insert from: the track's own message.
    r = Run("edit in.wav -o x.wav --op insert");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ClipBoard is not available for inserting"), std::string::npos) << r.err;
    r = Run("-q edit in.wav -o x.wav --op paste");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ClipBoard is not available for Pasting"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(At("x.wav")).good());

    // A selection outside the data is refused by the track and nothing is written.
    r = Run("edit in.wav -o y.wav --op cut --sel 3000:9000 --clip c.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The selection must lie inside the data"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(At("y.wav")).good());
    EXPECT_FALSE(std::ifstream(At("c.wav")).good());
}

TEST_F(CliTest, ConvertToAnotherFormat) {
    // One second of 16-bit stereo at 44100 Hz becomes one second of 8-bit mono at 22050 Hz.
    Put("in.wav", Wave(44100, 16, 2, Bytes(176400, 0)));
    Result r = Run("convert in.wav -o out.wav --format 22050,8,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("out.wav")).size(), 176400u / 8);
    EXPECT_EQ(FormatField(At("out.wav"), 20), 1);        // PCM
    EXPECT_EQ(FormatField(At("out.wav"), 22), 1);        // channels
    EXPECT_EQ(FormatField(At("out.wav"), 34), 8);        // bits per sample
    EXPECT_EQ(DataOf(At("out.wav")), Bytes(22050, 128)); // silence stays silence

    // The same format again is no conversion: a failure, and no output.
    r = Run("convert in.wav -o same.wav --format 44100,16,2");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::ifstream(At("same.wav")).good());
}

TEST_F(CliTest, FadeFromArgumentsAndFromAPreset) {
    // 8-bit mono: sample = byte - 128. Fade 100 -> 0 over 4 samples: step -0.25, gains
    // 0.75, 0.5, 0.25, 0 for samples k = 1..4, rounded half to even.
    //   229 -> 101 * 0.75 = 75.75 -> 76 -> 204
    //    27 -> -101 * 0.5 = -50.5 -> -50 -> 78
    //   201 -> 73 * 0.25 = 18.25 -> 18 -> 146
    //   100 -> -28 * 0 = 0 -> 128
    const Bytes ramp = {229, 27, 201, 100, 50, 60};
    const Bytes faded = {204, 78, 146, 128, 50, 60};
    Put("in.wav", Wave(11025, 8, 1, ramp));

    Result r = Run("effect in.wav -o out.wav --sel 0:4 --fade 100,0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("out.wav")), faded);

    {
        std::ofstream ini(config + "/EffectsPreset.Ini");
        ini << "[FADE]\nSoft=\n[FADESoft]\nVERSION=1.0\nLEFT=100\nRIGHT=0\n";
    }
    r = Run("effect in.wav -o pre.wav --sel 0:4 --preset FADE:soft");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("pre.wav")), faded);

    r = Run("effect in.wav -o none.wav --sel 0:4 --preset fade:Loud");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Loud"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(At("none.wav")).good());

    // Distortion with dry 100 and wet 0 and a band that only holds sample 0 changes nothing
    // but still succeeds; in place over the input.
    r = Run("effect in.wav -o in.wav --sel 0:6 --distortion 0,0,0,100,0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DataOf(At("in.wav")), ramp);
}

TEST_F(CliTest, BadArgumentsExitWithTwo) {
    Put("in.wav", Wave(11025, 8, 1, Bytes(100, 128)));
    for (const std::string args :
         {"",
          "bogus in.wav",
          "info",
          "info a.wav b.wav",
          "edit in.wav --op cut --sel 0:10",
          "edit in.wav -o o.wav --op chop --sel 0:10",
          "edit in.wav -o o.wav --op cut",
          "edit in.wav -o o.wav --op cut --sel 0:10 --sel 0:20",
          "edit in.wav -o o.wav --op cut --sel 20:10",
          "edit in.wav -o o.wav --op cut --sel x:y",
          "edit in.wav -o o.wav --op total",
          "edit in.wav -o o.wav --op total --length 5",
          "edit in.wav -o o.wav --op insert --play 1:2",
          "edit in.wav -o o.wav --op cut --fade 1,2",
          "convert in.wav -o o.wav",
          "convert in.wav -o o.wav --format 22050,12,1",
          "convert in.wav -o o.wav --format 22050,8",
          "effect in.wav -o o.wav --sel 0:10",
          "effect in.wav -o o.wav --sel 0:10 --fade 300,0",
          "effect in.wav -o o.wav --sel 0:10 --fade 10,20,30",
          "effect in.wav -o o.wav --sel 0:10 --fade 100,0 --eq 1,2,3,4,5,6,7,8,9,10,11",
          "effect in.wav -o o.wav --sel 0:10 --distortion 10,20,0,0,0",
          "effect in.wav -o o.wav --sel 0:10 --delay 100,0,0,0,2,10,50",
          "effect in.wav -o o.wav --sel 0:10 --delay 100,0,0,0,1,10,200",
          "effect in.wav -o o.wav --sel 0:10 --preset echo:x",
          "effect in.wav -o o.wav --fade 1,0"}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("wavestack-cli: "), std::string::npos) << args;
    }
    EXPECT_EQ(FilesIn(work), std::vector<std::string>{"in.wav"});

    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"info", "edit", "convert", "effect", "--clip", "--format",
                             "--distortion", "--fade", "--eq", "--delay", "--preset", "--quiet"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

} // namespace
