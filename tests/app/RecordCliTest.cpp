// wavestack-cli record run as a user would, against the private sound server: a take punched in
// over a selection of a silent track while another track plays a tone into the sink the
// microphone hears.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/WaveBytes.h"

namespace {

using namespace wavetest;

// 44100 Hz 16-bit stereo.
Bytes Wave(const Bytes& data) {
    return wavetest::Wave(44100, 16, 2, data);
}

int RunCli(const std::string& args) {
    const int status = std::system((std::string(WAVESTACK_CLI) + " " + args).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(RecordCli, PunchInWhileAnotherTrackPlaysKeepsTheRest) {
    if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no private sound server (PULSE_SERVER)";
    char tmpl[] = "/tmp/wavestack-record-cli-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    setenv("TMPDIR", dir.c_str(), 1);

    // Three seconds: a pattern that is never silence, so kept bytes are recognisable.
    const std::size_t seconds3 = 3 * 176400;
    Bytes take(seconds3);
    for (std::size_t i = 0; i < take.size(); ++i)
        take[i] = static_cast<uint8_t>(i * 7 + 1);
    // The other track: a 1 kHz tone at about half scale for three seconds.
    Bytes tone;
    for (int frame = 0; frame < 3 * 44100; ++frame) {
        const auto v = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 1000 * frame / 44100.0));
        PutLE(tone, static_cast<uint16_t>(v), 2);
        PutLE(tone, static_cast<uint16_t>(v), 2);
    }
    Write(dir + "/take.wav", Wave(take));
    Write(dir + "/other.wav", Wave(tone));

    // Record over 0.5 s .. 2.5 s, from the selection start.
    ASSERT_EQ(RunCli("--quiet record " + dir + "/take.wav --sel 88200:441000 --with " + dir +
                     "/other.wav -o " + dir + "/out.wav"),
              0);
    const Bytes out = Read(dir + "/out.wav");
    ASSERT_EQ(out.size(), 46 + seconds3); // the length never changes
    const Bytes data(out.begin() + 46, out.end());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 88200, take.begin()));
    EXPECT_TRUE(std::equal(data.begin() + 441000, data.end(), take.begin() + 441000));
    // The tone reached the take: the last second of the recorded stretch is loud.
    double sum = 0;
    for (std::size_t i = 264600; i < 441000; i += 2) {
        const auto v = static_cast<int16_t>(data[i] | data[i + 1] << 8);
        sum += static_cast<double>(v) * v;
    }
    EXPECT_GT(std::sqrt(sum / ((441000 - 264600) / 2)), 4000.0);
    EXPECT_EQ(Read(dir + "/take.wav"), Wave(take)); // -o leaves the input as it was
    std::system(("rm -rf " + dir).c_str());
}
