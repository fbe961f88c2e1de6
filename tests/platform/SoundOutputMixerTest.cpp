// The mixer through the hand-driven device: bytes out for bytes in, gains, rate conversion,
// cursors, locks, bad input and the lost-output path. Expected values worked by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/SoundOutput.h"
#include "tests/track/VirtualSoundDevice.h"

namespace {

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

void Fill(TSoundBuffer& buffer, const std::vector<uint8_t>& bytes) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(buffer.Lock(0, static_cast<uint32_t>(bytes.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
    ASSERT_EQ(n1, bytes.size());
    std::memcpy(p1, bytes.data(), n1);
    ASSERT_EQ(buffer.Unlock(p1, n1, p2, n2), DS_OK);
}

std::vector<uint8_t> Words(const std::vector<int16_t>& words) {
    std::vector<uint8_t> bytes(words.size() * 2);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

std::vector<int16_t> AsWords(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> words(bytes.size() / 2);
    std::memcpy(words.data(), bytes.data(), words.size() * 2);
    return words;
}

uint32_t PlayCursor(TSoundBuffer& buffer) {
    uint32_t play = 0xFFFFFFFF, write = 0xFFFFFFFF;
    EXPECT_EQ(buffer.GetCurrentPosition(&play, &write), DS_OK);
    return play;
}

} // namespace

TEST(SoundErrors, CodesAndPublishedTexts) {
    // MAKE_HRESULT(1, facility 0x878, code), worked out: 0x88780000 + code.
    EXPECT_EQ(static_cast<uint32_t>(DSERR_BUFFERLOST), 0x88780000u + 150);
    EXPECT_EQ(static_cast<uint32_t>(DSERR_BADFORMAT), 0x88780000u + 100);
    EXPECT_EQ(static_cast<uint32_t>(DSERR_NODRIVER), 0x88780000u + 120);
    EXPECT_EQ(static_cast<uint32_t>(DSERR_OBJECTNOTFOUND), 0x88780000u + 4449);
    EXPECT_EQ(static_cast<uint32_t>(DSERR_INVALIDPARAM), 0x80070057u); // E_INVALIDARG
    EXPECT_EQ(SoundErrorText(DSERR_BUFFERLOST),
              "The buffer memory has been lost and must be restored.");
    EXPECT_EQ(SoundErrorText(static_cast<HRESULT>(0x88780064u)),
              "The specified wave format is not supported.");
    EXPECT_EQ(SoundErrorText(DSERR_INVALIDPARAM),
              "An invalid parameter was passed to the returning function.");
    EXPECT_EQ(SoundErrorText(DS_OK), "The method succeeded.");
    EXPECT_EQ(SoundErrorText(1), "UnrecognizedError");
    EXPECT_EQ(SoundErrorText(static_cast<HRESULT>(0x88780097u)), "UnrecognizedError");
    // Every listed code has a text of its own.
    const HRESULT listed[] = {DS_OK,
                              DSERR_UNSUPPORTED,
                              DSERR_NOINTERFACE,
                              DSERR_GENERIC,
                              DSERR_NOAGGREGATION,
                              DSERR_ACCESSDENIED,
                              DSERR_OUTOFMEMORY,
                              DSERR_INVALIDPARAM,
                              DSERR_ALLOCATED,
                              DSERR_CONTROLUNAVAIL,
                              DSERR_INVALIDCALL,
                              DSERR_PRIOLEVELNEEDED,
                              DSERR_BADFORMAT,
                              DSERR_NODRIVER,
                              DSERR_ALREADYINITIALIZED,
                              DSERR_BUFFERLOST,
                              DSERR_OTHERAPPHASPRIO,
                              DSERR_UNINITIALIZED,
                              DSERR_BUFFERTOOSMALL,
                              DSERR_DS8_REQUIRED,
                              DSERR_SENDLOOP,
                              DSERR_BADSENDBUFFERGUID,
                              DSERR_OBJECTNOTFOUND};
    for (HRESULT code : listed)
        EXPECT_NE(SoundErrorText(code), "UnrecognizedError") << std::hex << code;
}

TEST(SoundMixer, SameFormatPassesBytesUnchangedAndLoops) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 2), 400, buffer), DS_OK);
    std::vector<uint8_t> ring(400);
    for (size_t i = 0; i < ring.size(); ++i)
        ring[i] = static_cast<uint8_t>(i * 37 + 11);
    Fill(*buffer, ring);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(150); // 100 frames of ring, then 50 again from the start
    std::vector<uint8_t> expected = ring;
    expected.insert(expected.end(), ring.begin(), ring.begin() + 200);
    EXPECT_EQ(device.Played(), expected);
    EXPECT_EQ(PlayCursor(*buffer), 200u);
}

TEST(SoundMixer, EightBitMonoSpreadsToBothChannels) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 8, 1), 4, buffer), DS_OK);
    Fill(*buffer, {0xC0, 0x00, 0xFF, 0x80});
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(4);
    // (byte - 128) * 256
    const std::vector<int16_t> expected = {16384, 16384, -32768, -32768, 32512, 32512, 0, 0};
    EXPECT_EQ(AsWords(device.Played()), expected);
}

TEST(SoundMixer, VolumePanAndSaturation) {
    TVirtualSoundDevice device;
    const WAVEFORMATEX mono16 = Pcm(44100, 16, 1);
    std::unique_ptr<TSoundBuffer> a, b;
    ASSERT_EQ(device.CreateSoundBuffer(mono16, 2, a), DS_OK);
    ASSERT_EQ(device.CreateSoundBuffer(mono16, 2, b), DS_OK);
    Fill(*a, Words({10000}));
    Fill(*b, Words({0}));
    ASSERT_EQ(a->Play(DSBPLAY_LOOPING), DS_OK);

    const auto frameAfter = [&](int32_t volume, int32_t pan) {
        EXPECT_EQ(a->SetVolume(volume), DS_OK);
        EXPECT_EQ(a->SetPan(pan), DS_OK);
        device.TakePlayed();
        device.Advance(1);
        return AsWords(device.Played());
    };
    // 10000 * 10^(-600/2000) = 5011.87; 10000 * 10^(-1000/2000) = 3162.28
    EXPECT_EQ(frameAfter(0, 0), (std::vector<int16_t>{10000, 10000}));
    EXPECT_EQ(frameAfter(-600, 0), (std::vector<int16_t>{5012, 5012}));
    EXPECT_EQ(frameAfter(0, 1000), (std::vector<int16_t>{3162, 10000}));
    EXPECT_EQ(frameAfter(0, -1000), (std::vector<int16_t>{10000, 3162}));
    EXPECT_EQ(frameAfter(0, DSBPAN_LEFT), (std::vector<int16_t>{10000, 0}));
    EXPECT_EQ(frameAfter(DSBVOLUME_MIN, 0), (std::vector<int16_t>{0, 0}));

    // Out of range: refused, the previous value stays.
    EXPECT_EQ(a->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(a->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(a->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(a->SetPan(-10001), DSERR_INVALIDPARAM);

    // Two loud buffers clip at the 16-bit range instead of wrapping.
    Fill(*a, Words({30000}));
    Fill(*b, Words({30000}));
    ASSERT_EQ(b->Play(DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(frameAfter(0, 0), (std::vector<int16_t>{32767, 32767}));
    Fill(*a, Words({-30000}));
    Fill(*b, Words({-30000}));
    EXPECT_EQ(frameAfter(0, 0), (std::vector<int16_t>{-32768, -32768}));
}

TEST(SoundMixer, RateConversionInterpolatesAndCursorCountsSourceBytes) {
    TVirtualSoundDevice device;
    ASSERT_EQ(device.SetPrimaryFormat(Pcm(44100, 16, 1)), DS_OK);
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(22050, 16, 1), 8, buffer), DS_OK);
    Fill(*buffer, Words({0, 1000, 2000, 3000}));
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(8);
    // Two output frames per source frame: the second is the midpoint; the last one
    // interpolates towards the ring's first sample (looping).
    EXPECT_EQ(AsWords(device.Played()),
              (std::vector<int16_t>{0, 500, 1000, 1500, 2000, 2500, 3000, 1500}));
    EXPECT_EQ(PlayCursor(*buffer), 0u); // 8 output frames = 4 source frames = whole ring
    device.Advance(3);                  // 1.5 source frames -> frame 1
    EXPECT_EQ(PlayCursor(*buffer), 2u);
}

TEST(SoundMixer, CursorStopsResumesAndSetsPosition) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 2), 4000, buffer), DS_OK); // 1000 frames
    EXPECT_EQ(PlayCursor(*buffer), 0u);
    device.Advance(100); // not playing: the cursor stays
    EXPECT_EQ(PlayCursor(*buffer), 0u);

    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(441);
    EXPECT_EQ(PlayCursor(*buffer), 1764u);
    ASSERT_EQ(buffer->Stop(), DS_OK);
    device.Advance(300);
    EXPECT_EQ(PlayCursor(*buffer), 1764u);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(1000); // one whole ring further
    EXPECT_EQ(PlayCursor(*buffer), 1764u);

    // Positions are frame-aligned and must lie inside the ring.
    ASSERT_EQ(buffer->SetCurrentPosition(7), DS_OK);
    EXPECT_EQ(PlayCursor(*buffer), 4u); // taken at once, before the mixer sees it
    device.Advance(10);
    EXPECT_EQ(PlayCursor(*buffer), 44u);
    EXPECT_EQ(buffer->SetCurrentPosition(4000), DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->Stop(), DS_OK);
    ASSERT_EQ(buffer->SetCurrentPosition(3996), DS_OK);
    EXPECT_EQ(PlayCursor(*buffer), 3996u);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(2);
    EXPECT_EQ(PlayCursor(*buffer), 4u); // wrapped
}

TEST(SoundMixer, OneShotPlayStopsAtTheEndWithSilenceAfter) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 1), 4, buffer), DS_OK);
    Fill(*buffer, Words({100, 200}));
    ASSERT_EQ(buffer->Play(0), DS_OK);
    device.Advance(4);
    EXPECT_EQ(AsWords(device.Played()), (std::vector<int16_t>{100, 100, 200, 200, 0, 0, 0, 0}));
    EXPECT_EQ(PlayCursor(*buffer), 0u);
    // It is stopped now, so Play starts it again from the start.
    device.TakePlayed();
    ASSERT_EQ(buffer->Play(0), DS_OK);
    device.Advance(1);
    EXPECT_EQ(AsWords(device.Played()), (std::vector<int16_t>{100, 100}));
}

TEST(SoundMixer, LockSplitsAtTheRingEndAndRefusesBadRegions) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 2), 100, buffer), DS_OK);
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(buffer->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
    auto* base = static_cast<uint8_t*>(p1);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(buffer->Lock(80, 40, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(p1, base + 80);
    EXPECT_EQ(n1, 20u);
    EXPECT_EQ(p2, base);
    EXPECT_EQ(n2, 20u);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(buffer->Lock(60, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1 + n2, 100u);

    EXPECT_EQ(buffer->Lock(80, 40, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(100, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 101, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 4, nullptr, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);

    uint8_t foreign[4];
    EXPECT_EQ(buffer->Unlock(foreign, 4, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(base + 90, 20, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(base + 90, 10, base + 1, 10), DSERR_INVALIDPARAM);
}

TEST(SoundMixer, RefusesFormatsAndSizesItCannotPlay) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    WAVEFORMATEX f = Pcm(44100, 24, 2);
    EXPECT_EQ(device.CreateSoundBuffer(f, 600, buffer), DSERR_BADFORMAT);
    f = Pcm(44100, 16, 3);
    EXPECT_EQ(device.CreateSoundBuffer(f, 600, buffer), DSERR_BADFORMAT);
    f = Pcm(50, 16, 2);
    EXPECT_EQ(device.CreateSoundBuffer(f, 600, buffer), DSERR_BADFORMAT);
    f = Pcm(44100, 16, 2);
    f.wFormatTag = 3;
    EXPECT_EQ(device.CreateSoundBuffer(f, 600, buffer), DSERR_BADFORMAT);
    f = Pcm(44100, 16, 2);
    f.nBlockAlign = 3;
    EXPECT_EQ(device.CreateSoundBuffer(f, 600, buffer), DSERR_BADFORMAT);
    f = Pcm(44100, 16, 2);
    EXPECT_EQ(device.CreateSoundBuffer(f, 0, buffer), DSERR_INVALIDPARAM);
    EXPECT_EQ(device.CreateSoundBuffer(f, 3, buffer), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(device.SetPrimaryFormat(Pcm(44100, 12, 2)), DSERR_BADFORMAT);
}

TEST(SoundMixer, LostOutputAnswersBufferLostUntilRestored) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 2), 400, buffer), DS_OK);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(10);
    device.LoseOutput();
    void* p1 = nullptr;
    uint32_t n1 = 0;
    EXPECT_EQ(buffer->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Play(DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    device.SetReconnectWorks(false);
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    device.SetReconnectWorks(true);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(device.ReconnectAttempts(), 2);
    EXPECT_EQ(buffer->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DS_OK);
    // A second buffer of the same device restores without another reconnection.
    std::unique_ptr<TSoundBuffer> other;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 16, 2), 400, other), DS_OK);
    EXPECT_EQ(other->Restore(), DS_OK);
    EXPECT_EQ(device.ReconnectAttempts(), 2);
    // Restored buffers are stopped where they were.
    EXPECT_EQ(PlayCursor(*buffer), 40u);
    device.Advance(10);
    EXPECT_EQ(PlayCursor(*buffer), 40u);
}

TEST(SoundMixer, OutputFormatChangeKeepsPlayingBuffersWhereTheyWere) {
    TVirtualSoundDevice device;
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device.CreateSoundBuffer(Pcm(44100, 8, 1), 1000, buffer), DS_OK);
    std::vector<uint8_t> ring(1000, 0x90);
    Fill(*buffer, ring);
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), DS_OK);
    device.Advance(100);
    EXPECT_EQ(PlayCursor(*buffer), 100u);
    ASSERT_EQ(device.SetPrimaryFormat(Pcm(22050, 8, 1)), DS_OK);
    device.TakePlayed();
    EXPECT_EQ(PlayCursor(*buffer), 100u);
    device.Advance(50); // 22050 Hz output: two source frames per output frame
    EXPECT_EQ(PlayCursor(*buffer), 200u);
    EXPECT_EQ(device.Played(), std::vector<uint8_t>(50, 0x90));
}

TEST(SoundMixer, BuffersComeAndGoWhileTheMixerRuns) {
    TVirtualSoundDevice device;
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        while (!done.load()) {
            device.Advance(64);
            device.TakePlayed();
        }
    });
    for (int round = 0; round < 300; ++round) {
        std::unique_ptr<TSoundBuffer> a, b;
        ASSERT_EQ(device.CreateSoundBuffer(Pcm(22050, 8, 1), 512, a), DS_OK);
        ASSERT_EQ(device.CreateSoundBuffer(Pcm(48000, 16, 2), 512, b), DS_OK);
        ASSERT_EQ(a->Play(DSBPLAY_LOOPING), DS_OK);
        ASSERT_EQ(b->Play(0), DS_OK);
        ASSERT_EQ(a->SetVolume(-round), DS_OK);
        uint32_t play = 0, write = 0;
        ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
        EXPECT_LT(play, 512u);
        EXPECT_LT(write, 512u);
        ASSERT_EQ(a->Stop(), DS_OK);
    }
    done.store(true);
    renderer.join();
}
