// The option dialogs' rules: the Input and Output lists, what the sound options' OK changes and
// in which order, the defaults' size label, stored length and report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/core/DefaultsOptions.h"
#include "studio/core/SoundOptions.h"
#include "tests/studio/OptionsFakes.h"

namespace {

using Items = std::vector<std::string>;

// Input devices by name; the query of device `failAt` answers `failure`.
TInputQuery FakeInputs(Items names, int failAt = -1, MMRESULT failure = MMSYSERR_NODRIVER,
                       std::vector<int32_t>* asked = nullptr) {
    TInputQuery query;
    query.count = [names] { return static_cast<uint32_t>(names.size()); };
    query.caps = [names, failAt, failure, asked](int32_t device, TWaveInCaps& caps) {
        if (asked) asked->push_back(device);
        if (device == failAt) return failure;
        caps.productName = names.at(static_cast<std::size_t>(device));
        return MMSYSERR_NOERROR;
    };
    return query;
}

constexpr WAVEFORMATEX kStereo44{1, 2, 44100, 176400, 4, 16, 0};
constexpr WAVEFORMATEX kMono44{1, 1, 44100, 88200, 2, 16, 0};
constexpr WAVEFORMATEX kMono22At8{1, 1, 22050, 22050, 1, 8, 0};

} // namespace

TEST(SoundOptionsRules, InputListIsTheMapperThenTheDevicesWithTheRecorderSelected) {
    TKeepingSink sink;
    // Two devices and recorder 1: the third item. The mapper is item 0, device 0 item 1.
    const auto two = InputChoices(FakeInputs({"Line In", "USB Mic"}), 1, sink);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->items, (Items{"WAVE_MAPPER", "Line In", "USB Mic"}));
    EXPECT_EQ(two->selected, 2);
    EXPECT_TRUE(two->enabled);
    EXPECT_EQ(InputChoices(FakeInputs({"Line In", "USB Mic"}), -1, sink)->selected, 0);
    EXPECT_EQ(InputChoices(FakeInputs({"Line In", "USB Mic"}), 0, sink)->selected, 1);
    // A device number saved when more devices were there selects nothing.
    EXPECT_EQ(InputChoices(FakeInputs({"Line In", "USB Mic"}), 2, sink)->selected, -1);
    EXPECT_TRUE(sink.messages.empty());

    // Back from the list: the mapper is -1, the first device 0.
    EXPECT_EQ(RecorderOfInputItem(0), -1);
    EXPECT_EQ(RecorderOfInputItem(1), 0);
    EXPECT_EQ(RecorderOfInputItem(2), 1);
}

TEST(SoundOptionsRules, NoInputDeviceGreysTheGroupAndAFailingQueryEndsTheCommand) {
    TKeepingSink none;
    const auto empty = InputChoices(FakeInputs({}), -1, none);
    ASSERT_TRUE(empty); // the dialog still opens for the output side
    EXPECT_EQ(empty->items, Items{"WAVE_MAPPER"});
    EXPECT_FALSE(empty->enabled);
    EXPECT_EQ(empty->selected, 0);
    EXPECT_EQ(none.messages, (std::vector<TKeptMessage>{{1, "No Recording devices available."}}));

    TKeepingSink failing;
    std::vector<int32_t> asked;
    EXPECT_FALSE(
        InputChoices(FakeInputs({"Line In", "USB Mic", "Third"}, 1, 6, &asked), -1, failing));
    EXPECT_EQ(failing.messages, (std::vector<TKeptMessage>{{1, "WaveinGetDevCaps. 6"}}));
    EXPECT_EQ(asked, (std::vector<int32_t>{0, 1})); // nothing asked after the failure
}

TEST(SoundOptionsRules, OutputListSelectsTheCurrentDeviceWithoutRegardToCase) {
    const std::vector<TSoundDevice> devices{
        {"", "Default Output"}, {"testsink", "Test_Sink"}, {"testsink2", "Second_Sink"}};
    const TOutputChoices chosen = OutputChoices(devices, "SECOND_sink");
    ASSERT_EQ(chosen.devices.size(), 3u);
    EXPECT_EQ(chosen.devices[2].identifier, "testsink2");
    EXPECT_EQ(chosen.selected, 2);
    EXPECT_EQ(OutputChoices(devices, "Default Output").selected, 0);
    EXPECT_EQ(OutputChoices(devices, "Gone_Sink").selected, -1);
    EXPECT_EQ(OutputChoices(devices, "Test_Sink2").selected, -1); // whole names only
    EXPECT_EQ(OutputChoices({}, "Test_Sink").selected, -1);
}

TEST(SoundOptionsRules, OkSetsTheRecorderThenReplacesTheDeviceAroundTheTracksBuffers) {
    TLoggingHost host(2);
    host.settings.recorder = 1;
    host.settings.device = "Test_Sink";
    TSoundChoice choice;
    choice.outputFormat = kMono22At8;
    choice.inputItem = 0;
    choice.inputText = "WAVE_MAPPER";
    choice.output = TSoundDevice{"testsink2", "Second_Sink"};
    ApplySoundOptions(choice, host);

    EXPECT_EQ(host.settings.recorder, -1);
    EXPECT_EQ(host.settings.device, "Second_Sink");
    EXPECT_EQ(host.settings.outputFormat.nSamplesPerSec, 22050u);
    EXPECT_EQ(host.settings.outputFormat.wBitsPerSample, 8);
    EXPECT_EQ(host.panel.messages, (std::vector<TKeptMessage>{{2, "Recording with WAVE_MAPPER"}}));
    // Every buffer goes before the device it was made on; the new device is made with the
    // new description and format; only then do the tracks get it.
    EXPECT_EQ(host.log, (Items{"input 0 -1", "input 1 -1", "release 0", "release 1",
                               "create testsink2 Second_Sink 22050", "give 0", "give 1"}));

    // The first device stores 0; with no output selected the device stays.
    TLoggingHost second(1);
    second.settings.device = "Test_Sink";
    choice.inputItem = 1;
    choice.inputText = "Test_Mic";
    choice.output.reset();
    ApplySoundOptions(choice, second);
    EXPECT_EQ(second.settings.recorder, 0);
    EXPECT_EQ(second.settings.device, "Test_Sink");
    EXPECT_EQ(second.log, Items{"input 0 0"});
    EXPECT_EQ(second.panel.messages, (std::vector<TKeptMessage>{{2, "Recording with Test_Mic"}}));
}

TEST(SoundOptionsRules, OkWithNothingSelectedStillTakesTheOutputFormat) {
    TLoggingHost host(3);
    host.settings.recorder = 1;
    TSoundChoice choice;
    choice.outputFormat = kMono44;
    ApplySoundOptions(choice, host);
    EXPECT_EQ(host.settings.outputFormat.nChannels, 1);
    EXPECT_EQ(host.settings.outputFormat.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(host.settings.recorder, 1);
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.panel.messages.empty());
}

TEST(DefaultsRules, SizeLabelFollowsTheLengthInTheFormat) {
    // 30 s of 16-bit stereo at 44100 Hz: 30 * 176400 = 5292000 bytes = 5.047 MiB.
    EXPECT_EQ(DefaultsSizeLabel("00:30.00000", kStereo44), "File Size is 5.05 M");
    // Mono: 2646000 bytes = 2.523 MiB.
    EXPECT_EQ(DefaultsSizeLabel("00:30.00000", kMono44), "File Size is 2.52 M");
    // Blanks read as "0": "  :30.     " is the same 30 s.
    EXPECT_EQ(DefaultsSizeLabel("  :30.     ", kStereo44), "File Size is 5.05 M");
    // The longest length, 99:59.99999 of stereo: about 5999.99999 s * 176400 = 1058.4e6 bytes,
    // 1009.37 MiB, with a thousands separator.
    EXPECT_EQ(DefaultsSizeLabel("99:59.99999", kStereo44), "File Size is 1,009.37 M");
}

TEST(DefaultsRules, OkStoresTheLengthWithBlanksAsZerosAndReportsIt) {
    TStudioSettings settings;
    TKeepingSink sink;
    const WAVEFORMATEX stereo48{1, 2, 48000, 192000, 4, 16, 0};
    ApplyDefaults(settings, stereo48, "01:  .5    ", sink);
    EXPECT_EQ(settings.trackLength, "01:00.50000");
    EXPECT_EQ(settings.trackFormat.nSamplesPerSec, 48000u);
    EXPECT_EQ(settings.trackFormat.nBlockAlign, 4);
    EXPECT_EQ(sink.messages,
              (std::vector<TKeptMessage>{
                  {2, "Default New Track wave format changed to 16 bit Stereo @48000Hz, "
                      "Length 01:00.50000"}}));
}
