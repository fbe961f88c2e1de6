#include "studio/core/SoundOptions.h"

#include <algorithm>
#include <utility>

#include "track/RecordingState.h"

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

} // namespace

std::optional<TInputChoices> InputChoices(const TInputQuery& query, int32_t recorder,
                                          TMessageSink& messages) {
    TInputChoices choices;
    const uint32_t count = query.count();
    if (count == 0) {
        messages.AddMessage(kMsgError, "No Recording devices available.");
        choices.enabled = false;
    }
    choices.items.push_back(kWaveMapperItem);
    for (uint32_t device = 0; device < count; ++device) {
        TWaveInCaps caps;
        const MMRESULT result = query.caps(static_cast<int32_t>(device), caps);
        if (result != MMSYSERR_NOERROR) {
            messages.AddMessage(kMsgError, "WaveinGetDevCaps. " + std::to_string(result));
            return std::nullopt;
        }
        choices.items.push_back(caps.productName);
    }
    choices.selected = InputItemOfRecorder(recorder, static_cast<int>(choices.items.size()));
    return choices;
}

int InputItemOfRecorder(int32_t recorder, int itemCount) {
    const int64_t item = recorder == kWaveMapper ? 0 : int64_t{recorder} + 1;
    return item >= 0 && item < itemCount ? static_cast<int>(item) : -1;
}

int32_t RecorderOfInputItem(int item) {
    return item == 0 ? kWaveMapper : item - 1;
}

TOutputChoices OutputChoices(std::vector<TSoundDevice> devices, const std::string& current) {
    TOutputChoices choices;
    choices.devices = std::move(devices);
    for (std::size_t i = 0; i < choices.devices.size(); ++i)
        if (SameTextIgnoringCase(choices.devices[i].description, current)) {
            choices.selected = static_cast<int>(i);
            break;
        }
    return choices;
}

void ApplySoundOptions(const TSoundChoice& choice, TSoundOptionsHost& host) {
    TStudioSettings& settings = host.Settings();
    settings.outputFormat = choice.outputFormat;
    settings.latencyCompensation = choice.latencyCompensation;
    settings.latencyOffsetMs =
        std::clamp(choice.latencyOffsetMs, -kMaxLatencyOffsetMs, kMaxLatencyOffsetMs);
    ApplyRecordingLatency(settings);
    const int tracks = host.TrackCount();
    if (choice.inputItem >= 0) {
        settings.recorder = RecorderOfInputItem(choice.inputItem);
        host.MainPanel().AddMessage(kMsgStatus, "Recording with " + choice.inputText);
        for (int track = 0; track < tracks; ++track)
            host.SetTrackInputDevice(track, settings.recorder);
    }
    if (choice.output) {
        settings.device = choice.output->description;
        // No track may keep a buffer of the old device once it is replaced.
        for (int track = 0; track < tracks; ++track)
            host.ReleaseTrackSoundBuffer(track);
        host.RecreateSoundDevice(*choice.output);
        for (int track = 0; track < tracks; ++track)
            host.GiveTrackSoundDevice(track);
    }
}

void ApplyRecordingLatency(const TStudioSettings& settings) {
    SetRecordingLatency({settings.latencyCompensation, settings.latencyOffsetMs});
}
