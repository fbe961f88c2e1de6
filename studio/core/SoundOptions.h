// The rules of the sound options (Options|Sound...): what the Input list and the Output list
// show and select, and what OK changes in the settings and in the song. Qt-free; the dialog
// studio/FormSound.h shows what these say, and the main window carries out the song's part
// through TSoundOptionsHost. UI thread.
//
// For the main window: implement TSoundOptionsHost (TFormStudio's Settings() and MainPanel()
// already have the signatures asked for), then run the whole command with
// RunSoundOptions(parent, host) of studio/FormSound.h.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "platform/SoundOutput.h"
#include "platform/WaveIn.h"
#include "studio/core/StudioSettings.h"
#include "ui/core/MessageSink.h"

inline constexpr const char* kWaveMapperItem = "WAVE_MAPPER";

// The wave-input device queries; tests hand in their own.
struct TInputQuery {
    std::function<uint32_t()> count = WaveInGetNumDevs;
    std::function<MMRESULT(int32_t device, TWaveInCaps& caps)> caps = WaveInGetDevCaps;
};

// What the Input group shows.
struct TInputChoices {
    std::vector<std::string> items; // "WAVE_MAPPER", then the devices' names in number order
    bool enabled = true;            // false when there is no input device: the group is greyed
    int selected = -1;              // the selected item; -1 none
};

// The Input list for the recorder number `recorder` (-1 the wave mapper). No device: reports
// "No Recording devices available." (kind 1) and answers the list with the group disabled. A
// failing device query: reports "WaveinGetDevCaps. " + its result number (kind 1) and answers
// nullopt: the command ends there, without showing the dialog.
std::optional<TInputChoices> InputChoices(const TInputQuery& query, int32_t recorder,
                                          TMessageSink& messages);

// The item that shows recorder number `recorder` in a list of `itemCount` items: 0 for the
// wave mapper, recorder + 1 for a device; -1 when that item is not in the list.
int InputItemOfRecorder(int32_t recorder, int itemCount);
// The recorder number an Input item stands for: -1 for item 0 (the wave mapper), item - 1
// for a device.
int32_t RecorderOfInputItem(int item);

// What the Output list shows: the devices' descriptions in enumeration order, the current
// device's description selected (compared without regard to ASCII case), -1 when it is absent.
struct TOutputChoices {
    std::vector<TSoundDevice> devices;
    int selected = -1;
};
TOutputChoices OutputChoices(std::vector<TSoundDevice> devices, const std::string& current);

// The dialog's answer at OK.
struct TSoundChoice {
    WAVEFORMATEX outputFormat{};        // the dialog's working copy of the output format
    int inputItem = -1;                 // the selected Input item, -1 none
    std::string inputText;              // its text
    std::optional<TSoundDevice> output; // the selected Output device, none when unselected
    bool latencyCompensation = true;    // the "Latency compensation" box
    int32_t latencyOffsetMs = 0;        // the manual offset [ms]
};

// What OK changes outside the dialog, carried out by the main window. UI thread.
class TSoundOptionsHost {
  public:
    virtual ~TSoundOptionsHost() = default;
    // The settings the dialog starts from (recorder, device, outputFormat) and OK changes.
    virtual TStudioSettings& Settings() = 0;
    // The main window's message panel: the device lists' failures and "Recording with ".
    virtual TMessageSink& MainPanel() = 0;
    // The song's tracks, in the main window's track-window order: indexes 0 .. count - 1.
    virtual int TrackCount() = 0;
    // The track records from input device `device` (-1 the wave mapper) from its next take on.
    virtual void SetTrackInputDevice(int track, int32_t device) = 0;
    // The track stops and frees its sound buffer: the device it was made on is about to go.
    virtual void ReleaseTrackSoundBuffer(int track) = 0;
    // Makes the sound-output device anew: `chosen` (also in Settings().device by now) with
    // Settings().outputFormat as its primary format, the commands that need a device disabled
    // meanwhile; a failure is reported by the host and leaves no device.
    virtual void RecreateSoundDevice(const TSoundDevice& chosen) = 0;
    // The track takes the new device (none when its creation failed) and a copy of
    // Settings().outputFormat, and is cued at its play position.
    virtual void GiveTrackSoundDevice(int track) = 0;
};

// OK: the working output format and the latency pair always replace those of Settings(), and
// the takes from then on are placed by the new pair. With an Input item
// selected, the recorder number follows it, "Recording with " + its text is reported (kind 2)
// and every track takes the number. With an Output device selected, its description becomes
// Settings().device, every track releases its sound buffer, the device is made anew, and then
// every track takes it and is cued.
void ApplySoundOptions(const TSoundChoice& choice, TSoundOptionsHost& host);

// How every take is placed from now on: the settings' latency compensation and offset. The
// main window calls it once the settings are read; OK of the dialog calls it again.
void ApplyRecordingLatency(const TStudioSettings& settings);
