// Doubles for the option dialogs' tests: a message sink that keeps what it is told, and a main
// window that logs what the sound options' OK asks of it, in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "studio/core/SoundOptions.h"
#include "studio/core/StudioSettings.h"
#include "ui/core/MessageSink.h"

struct TKeptMessage {
    uint8_t kind;
    std::string text;
    bool operator==(const TKeptMessage&) const = default;
};

class TKeepingSink : public TMessageSink {
  public:
    void AddMessage(uint8_t kind, const std::string& text) override {
        messages.push_back({kind, text});
    }
    std::vector<TKeptMessage> messages;
};

class TLoggingHost : public TSoundOptionsHost {
  public:
    explicit TLoggingHost(int tracks) : tracks_(tracks) {}

    TStudioSettings& Settings() override { return settings; }
    TMessageSink& MainPanel() override { return panel; }
    int TrackCount() override { return tracks_; }
    void SetTrackInputDevice(int track, int32_t device) override {
        log.push_back("input " + std::to_string(track) + " " + std::to_string(device));
    }
    void ReleaseTrackSoundBuffer(int track) override {
        log.push_back("release " + std::to_string(track));
    }
    void RecreateSoundDevice(const TSoundDevice& chosen) override {
        // What the host reads from the settings at this point matters: the device is made
        // with them.
        log.push_back("create " + chosen.identifier + " " + settings.device + " " +
                      std::to_string(settings.outputFormat.nSamplesPerSec));
        if (recreate) recreate(chosen);
    }
    void GiveTrackSoundDevice(int track) override {
        log.push_back("give " + std::to_string(track));
    }

    TStudioSettings settings;
    TKeepingSink panel;
    std::vector<std::string> log;
    std::function<void(const TSoundDevice&)> recreate; // optional: a real device

  private:
    int tracks_;
};
