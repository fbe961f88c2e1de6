// The sound-output layer against a real sound server (tests/pulse/server.sh): devices, levels,
// pitch, alignment and cursor pace, heard back through the "Test_Mic" source.
#include <gtest/gtest.h>
#include <pulse/simple.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/SoundOutput.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPi = std::numbers::pi;

WAVEFORMATEX Pcm(uint32_t rate, uint16_t bits, uint16_t channels) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

bool HaveServer() {
    return std::getenv("PULSE_SERVER") != nullptr;
}

#define REQUIRE_SERVER()                                                                           \
    if (!HaveServer()) GTEST_SKIP() << "PULSE_SERVER not set: start tests/pulse/server.sh"

// Records Test_Mic as 44100 Hz 16-bit stereo from construction on.
class TMicRecorder {
  public:
    // Fragments of `fragmentFrames` frames (20 ms by default): the reader asks the server for
    // that latency.
    explicit TMicRecorder(uint32_t fragmentFrames = 882) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = fragmentFrames * 4;
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        int error = 0;
        simple_ = pa_simple_new(nullptr, "SoundOutputTest", PA_STREAM_RECORD, "testmic", "capture",
                                &spec, nullptr, &attr, &error);
    }
    ~TMicRecorder() {
        if (simple_ != nullptr) pa_simple_free(simple_);
    }
    bool Ok() const { return simple_ != nullptr; }
    // Blocks until `frames` frames have been heard; interleaved left, right.
    std::vector<int16_t> Read(uint32_t frames) {
        std::vector<int16_t> samples(size_t{frames} * 2);
        int error = 0;
        if (pa_simple_read(simple_, samples.data(), samples.size() * 2, &error) < 0) return {};
        return samples;
    }

  private:
    pa_simple* simple_ = nullptr;
};

double Rms(const std::vector<int16_t>& samples, int channel) {
    double sum = 0;
    size_t count = 0;
    for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += 2, ++count)
        sum += static_cast<double>(samples[i]) * samples[i];
    return count == 0 ? 0 : std::sqrt(sum / count);
}

// Upward zero crossings per second of one channel.
double Frequency(const std::vector<int16_t>& samples, int channel, double rate) {
    int crossings = 0;
    for (size_t i = static_cast<size_t>(channel) + 2; i < samples.size(); i += 2)
        if (samples[i - 2] < 0 && samples[i] >= 0) ++crossings;
    return crossings * rate / (samples.size() / 2.0);
}

// First frame at which |sample| reaches the threshold; -1 if none.
long Onset(const std::vector<int16_t>& samples, int channel, int threshold) {
    for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += 2)
        if (std::abs(samples[i]) >= threshold) return static_cast<long>(i / 2);
    return -1;
}

void Fill(TSoundBuffer& buffer, const std::vector<uint8_t>& bytes) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(buffer.Lock(0, static_cast<uint32_t>(bytes.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
    std::memcpy(p1, bytes.data(), n1);
    ASSERT_EQ(buffer.Unlock(p1, n1, p2, n2), DS_OK);
}

// One second of a 1 kHz sine at `amplitude`, 44100 Hz 16-bit stereo: exactly 1000 cycles,
// so the ring loops without a seam.
std::vector<uint8_t> ToneSecond(double amplitude) {
    std::vector<int16_t> words(44100 * 2);
    for (size_t i = 0; i < 44100; ++i) {
        const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * kPi * i / 44.1)));
        words[2 * i] = words[2 * i + 1] = v;
    }
    std::vector<uint8_t> bytes(words.size() * 2);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

std::unique_ptr<TSoundOutputDevice> OpenTestSink() {
    std::unique_ptr<TSoundOutputDevice> device;
    EXPECT_EQ(CreateSoundOutputDevice("testsink", device), DS_OK);
    return device;
}

// Sets the environment variable for one scope.
class TScopedEnv {
  public:
    TScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, hadOld_ = true;
        setenv(name, value, 1);
    }
    ~TScopedEnv() {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

// Waits until the play cursor of a looping `ring`-byte buffer has gone `bytes` further; false
// if it stalls for the guard time. The cursor follows what is heard, so this waits out a
// start-up however slow.
bool WaitHeard(TSoundBuffer& buffer, uint32_t ring, uint32_t bytes) {
    uint32_t heard = 0, last = 0, write = 0;
    if (buffer.GetCurrentPosition(&last, &write) != DS_OK) return false;
    Clock::time_point moved = Clock::now();
    while (heard < bytes) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        uint32_t play = 0;
        if (buffer.GetCurrentPosition(&play, &write) != DS_OK) return false;
        if (play != last) moved = Clock::now();
        if (Clock::now() - moved > std::chrono::seconds(5)) return false;
        heard += (play + ring - last) % ring;
        last = play;
    }
    return true;
}

// Stops every thread of this process for about `ms` milliseconds: a helper process waits until
// the stop has happened, then lets it go on.
bool FreezeThisProcess(int ms) {
    const std::string pid = std::to_string(getpid());
    const std::string script = "p=" + pid +
                               "; i=0; while [ $i -lt 500 ]; do case $(ps -o stat= -p $p) in T*) "
                               "break ;; esac; i=$((i+1)); sleep 0.01; done; sleep " +
                               std::to_string(ms / 1000.0) + "; kill -CONT $p";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t helper = 0;
    if (posix_spawn(&helper, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv),
                    environ) != 0)
        return false;
    raise(SIGSTOP);
    int status = 0;
    return waitpid(helper, &status, 0) == helper && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(SoundOutputPulse, EnumeratesTheServersSinks) {
    REQUIRE_SERVER();
    const std::vector<TSoundDevice> devices = EnumerateOutputDevices();
    ASSERT_GE(devices.size(), 3u);
    EXPECT_EQ(devices[0].identifier, "");
    bool first = false, second = false;
    for (const TSoundDevice& d : devices) {
        if (d.description == "Test_Sink") first = d.identifier == "testsink";
        if (d.description == "Second_Sink") second = d.identifier == "testsink2";
    }
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);

    std::unique_ptr<TSoundOutputDevice> device;
    EXPECT_EQ(CreateSoundOutputDevice("no_such_sink", device), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(CreateSoundOutputDevice("", device), DS_OK);
    EXPECT_EQ(device->SetCooperativeLevel(), DS_OK);
    EXPECT_EQ(device->SetPrimaryFormat(Pcm(48000, 16, 2)), DS_OK);
    EXPECT_EQ(device->SetPrimaryFormat(Pcm(48000, 20, 2)), DSERR_BADFORMAT);
}

TEST(SoundOutputPulse, UnreachableServerFailsWithoutHanging) {
    TScopedEnv env("PULSE_SERVER", "unix:/nonexistent/native");
    // Generous bound: this guards against a hang, not a speed.
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(EnumerateOutputDevices().empty());
    std::unique_ptr<TSoundOutputDevice> device;
    EXPECT_EQ(CreateSoundOutputDevice("", device), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(SoundOutputPulse, ToneArrivesAtTheLevelVolumeAndPanSay) {
    REQUIRE_SERVER();
    auto device = OpenTestSink();
    ASSERT_NE(device, nullptr);
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(44100, 16, 2), 44100 * 4, buffer), DS_OK);
    Fill(*buffer, ToneSecond(16000));
    TMicRecorder mic;
    ASSERT_TRUE(mic.Ok());
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    mic.Read(22050); // the stream's start-up, longer under the sanitizers

    // Each setting gets 0.3 s to reach the listener, then 0.3 s is measured.
    const auto measure = [&](int32_t volume, int32_t pan, double& left, double& right) {
        ASSERT_EQ(buffer->SetVolume(volume), DS_OK);
        ASSERT_EQ(buffer->SetPan(pan), DS_OK);
        mic.Read(13230);
        const std::vector<int16_t> heard = mic.Read(13230);
        ASSERT_FALSE(heard.empty());
        left = Rms(heard, 0);
        right = Rms(heard, 1);
    };
    // RMS of a sine of amplitude 16000 is 16000 / sqrt(2) = 11313.7; at -600 it is 0.50119 of
    // that, 5670.2.
    double left = 0, right = 0;
    measure(0, 0, left, right);
    EXPECT_NEAR(left, 11313.7, 11313.7 * 0.05);
    EXPECT_NEAR(right, 11313.7, 11313.7 * 0.05);
    measure(-600, 0, left, right);
    EXPECT_NEAR(left, 5670.2, 5670.2 * 0.05);
    EXPECT_NEAR(right, 5670.2, 5670.2 * 0.05);
    measure(0, DSBPAN_LEFT, left, right);
    EXPECT_NEAR(left, 11313.7, 11313.7 * 0.05);
    EXPECT_LT(right, 30.0);
    measure(DSBVOLUME_MIN, 0, left, right);
    EXPECT_LT(left, 30.0);
    EXPECT_LT(right, 30.0);
}

TEST(SoundOutputPulse, ToneGoesOnWhenARecorderChangesTheSinksLatency) {
    REQUIRE_SERVER();
    auto device = OpenTestSink();
    ASSERT_NE(device, nullptr);
    constexpr uint32_t kRing = 44100 * 4;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(44100, 16, 2), kRing, buffer), DS_OK);
    Fill(*buffer, ToneSecond(16000));
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    ASSERT_TRUE(WaitHeard(*buffer, kRing, kRing / 2));

    // A low-latency reader of the sink's monitor arrives while the tone plays: the server
    // lowers the sink's latency under the running stream, and again when a second one comes.
    TMicRecorder mic;
    ASSERT_TRUE(mic.Ok());
    mic.Read(22050);
    const std::vector<int16_t> first = mic.Read(22050);
    ASSERT_FALSE(first.empty());
    {
        TMicRecorder fast(441); // 10 ms fragments
        ASSERT_TRUE(fast.Ok());
        fast.Read(4410);
        mic.Read(22050);
    }
    const std::vector<int16_t> later = mic.Read(44100);
    ASSERT_FALSE(later.empty());
    // RMS of a sine of amplitude 16000: 11313.7. A gap of 10 ms in a second costs 1 %.
    EXPECT_NEAR(Rms(first, 0), 11313.7, 11313.7 * 0.05);
    EXPECT_NEAR(Rms(later, 0), 11313.7, 11313.7 * 0.05);
    EXPECT_NEAR(Rms(later, 1), 11313.7, 11313.7 * 0.05);

    // The whole process stands still for longer than the sound queued at the server (as it
    // does while a sanitizer symbolizes its first report): the stream runs dry, then the tone
    // must come back and the play cursor go on at the pace of what is heard.
    ASSERT_TRUE(FreezeThisProcess(300));
    mic.Read(44100);
    uint32_t before = 0, after = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&before, &write), DS_OK);
    const std::vector<int16_t> resumed = mic.Read(22050);
    ASSERT_EQ(buffer->GetCurrentPosition(&after, &write), DS_OK);
    ASSERT_FALSE(resumed.empty());
    EXPECT_NEAR(Rms(resumed, 0), 11313.7, 11313.7 * 0.05);
    EXPECT_NEAR(Rms(resumed, 1), 11313.7, 11313.7 * 0.05);
    // Half a second heard is 88200 bytes of the one-second ring; the two readings lie a
    // fragment or two apart in the recording's time.
    EXPECT_NEAR((after + kRing - before) % kRing, 88200.0, 88200.0 * 0.1);
}

TEST(SoundOutputPulse, LowRateMonoEightBitPlaysAtItsOwnPitch) {
    REQUIRE_SERVER();
    auto device = OpenTestSink();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->SetPrimaryFormat(Pcm(44100, 16, 2)), DS_OK);
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(22050, 8, 1), 22050, buffer), DS_OK);
    std::vector<uint8_t> ring(22050);
    for (size_t i = 0; i < ring.size(); ++i) // 1 kHz: 22.05 samples a cycle, 1000 cycles
        ring[i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * kPi * i / 22.05)));
    Fill(*buffer, ring);
    TMicRecorder mic;
    ASSERT_TRUE(mic.Ok());
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    mic.Read(13230);
    const std::vector<int16_t> heard = mic.Read(22050);
    ASSERT_FALSE(heard.empty());
    EXPECT_NEAR(Frequency(heard, 0, 44100), 1000.0, 20.0);
    EXPECT_NEAR(Frequency(heard, 1, 44100), 1000.0, 20.0);
    // 100 steps of 256 = 25600, RMS 18101.9; linear interpolation loses a little at 1 kHz.
    EXPECT_NEAR(Rms(heard, 0), 18101.9, 18101.9 * 0.08);
}

TEST(SoundOutputPulse, BuffersStartedTogetherStaySampleAligned) {
    REQUIRE_SERVER();
    auto device = OpenTestSink();
    ASSERT_NE(device, nullptr);
    // Two 2-second silent rings; a step on the left of A at frame 4410, on the right of B at
    // frame 4410 + 2205 (50 ms later).
    constexpr uint32_t kFrames = 88200;
    constexpr long kOffset = 2205;
    std::vector<int16_t> a(kFrames * 2, 0), b(kFrames * 2, 0);
    for (uint32_t i = 4410; i < 4410 + 4410; ++i)
        a[2 * i] = 20000;
    for (uint32_t i = 4410 + kOffset; i < 4410 + kOffset + 4410; ++i)
        b[2 * i + 1] = 20000;
    std::unique_ptr<TSoundBuffer> first, second;
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(44100, 16, 2), kFrames * 4, first), DS_OK);
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(44100, 16, 2), kFrames * 4, second), DS_OK);
    std::vector<uint8_t> bytes(kFrames * 4);
    std::memcpy(bytes.data(), a.data(), bytes.size());
    Fill(*first, bytes);
    std::memcpy(bytes.data(), b.data(), bytes.size());
    Fill(*second, bytes);
    TMicRecorder mic;
    ASSERT_TRUE(mic.Ok());
    ASSERT_EQ(first->Play(DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(second->Play(DSBPLAY_LOOPING), DS_OK);
    const std::vector<int16_t> heard = mic.Read(44100);
    ASSERT_FALSE(heard.empty());
    const long left = Onset(heard, 0, 10000), right = Onset(heard, 1, 10000);
    ASSERT_GE(left, 0);
    ASSERT_GE(right, 0);
    EXPECT_NEAR(right - left, kOffset, 132); // 3 ms
}

TEST(SoundOutputPulse, PlayCursorFollowsRealTime) {
    REQUIRE_SERVER();
    auto device = OpenTestSink();
    ASSERT_NE(device, nullptr);
    std::unique_ptr<TSoundBuffer> buffer;
    constexpr uint32_t kBytes = 44100 * 4 * 4; // four seconds: no wrap during the test
    ASSERT_EQ(device->CreateSoundBuffer(Pcm(44100, 16, 2), kBytes, buffer), DS_OK);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    uint32_t play = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    const uint32_t firstPlay = play;
    const Clock::time_point firstTime = Clock::now();
    uint32_t last = play;
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        EXPECT_GE(play, last);
        EXPECT_GE(write, play);
        EXPECT_EQ(play % 4, 0u);
        last = play;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - firstTime).count();
    const double bytesPerSecond = (play - firstPlay) / seconds;
    EXPECT_NEAR(bytesPerSecond, 176400.0, 176400.0 * 0.3);

    ASSERT_EQ(buffer->Stop(), DS_OK);
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    const uint32_t stopped = play;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, stopped);
}
