// A track in a private temporary folder, with an owner and a message sink that record what
// the track told them, and wave files built and read byte by byte without the code under test.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/WaveBytes.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"

using wavetest::Bytes;

struct RecordingSink : TMessageSink {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
    // Runs on the reporting thread after the line is kept, as a window's error box would.
    std::function<void(int kind, const std::string& text)> onMessage;
    void AddMessage(uint8_t kind, const std::string& text) override {
        {
            std::lock_guard lock(mutex);
            lines.emplace_back(kind, text);
        }
        if (onMessage) onMessage(kind, text);
    }
    bool Saw(int kind, const std::string& text) {
        std::lock_guard lock(mutex);
        for (auto& [k, t] : lines)
            if (k == kind && t == text) return true;
        return false;
    }
    bool SawPrefix(int kind, const std::string& prefix) {
        std::lock_guard lock(mutex);
        for (auto& [k, t] : lines)
            if (k == kind && t.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

struct RecordingOwner : TTrackOwner {
    std::atomic<int> stateChanges{0};
    void TrackStateChanged(TVelTrack&) override { ++stateChanges; }
    std::vector<std::string> warnings;
    std::optional<std::string> transferChoice;
    std::optional<WAVEFORMATEX> formatChoice;
    std::vector<std::string> openTracks;
    std::vector<std::string> errorBoxes;
    bool confirmAnswer = false;
    void ShowUndoWarning(const std::string& text) override { warnings.push_back(text); }
    bool IsFileOpenAsTrack(const std::string& path) override {
        for (auto& p : openTracks)
            if (p == path) return true;
        return false;
    }
    std::optional<std::string> ChooseTransferFile(bool, const std::string&,
                                                  const std::string&) override {
        return transferChoice;
    }
    void ErrorBox(const std::string& text) override { errorBoxes.push_back(text); }
    bool ConfirmBox(const std::string&) override { return confirmAnswer; }
    std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX&) override {
        return formatChoice;
    }
};

// A view that can cancel the running job at a chosen block read.
struct CancellingView : THeadlessTrackView {
    std::function<void(int32_t)> onBlock;
    void WorkBarAt(int32_t position) override {
        if (onBlock) onBlock(position);
    }
};

using wavetest::DataOf;
using wavetest::FilesIn;
using wavetest::PutLE;
inline Bytes ReadFile(const std::string& path) {
    return wavetest::Read(path);
}
inline void WriteFile(const std::string& path, const Bytes& bytes) {
    wavetest::Write(path, bytes);
}

// A PCM file of the format (the tests' formats are all consistent PCM records).
inline Bytes WaveBytes(const WAVEFORMATEX& f, const Bytes& data) {
    return wavetest::Wave(f.nSamplesPerSec, f.wBitsPerSample, f.nChannels, data);
}

inline Bytes Pattern(std::size_t n, uint32_t seed = 1) {
    Bytes b(n);
    uint32_t x = seed;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

class TrackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/wavestack-track-XXXXXX";
        root = mkdtemp(tmpl);
        tempDir = root + "/tmp";
        userDir = root + "/songs";
        mkdir(tempDir.c_str(), 0700);
        mkdir(userDir.c_str(), 0700);
        setenv("TMPDIR", tempDir.c_str(), 1);
        track = std::make_unique<TVelTrack>(owner, sink, view, clipboard, &fileLock);
    }
    void TearDown() override {
        track.reset();
        std::system(("rm -rf " + root).c_str());
    }

    // Writes a user file and opens it as the track, ready.
    std::string OpenUserFile(const std::string& name, const WAVEFORMATEX& f, const Bytes& data) {
        const std::string path = userDir + "/" + name;
        WriteFile(path, WaveBytes(f, data));
        track->FileName = path;
        track->Reopen();
        track->WaitForWorker();
        EXPECT_EQ(track->TrackState(), tsReady);
        return path;
    }
    void Select(int32_t from, int32_t to) {
        track->SelStart = from;
        track->SelEnd = to;
        track->SetHasSelection(true);
    }
    void Run(const std::function<void()>& starter) {
        starter();
        track->WaitForWorker();
    }
    Bytes Working() { return DataOf(track->FileName); }
    std::vector<std::string> TempFiles() { return FilesIn(tempDir); }

    std::string root, tempDir, userDir;
    RecordingOwner owner;
    RecordingSink sink;
    CancellingView view;
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    std::unique_ptr<TVelTrack> track;
    const WAVEFORMATEX cd = MakePcmFormat(44100, 16, 2);
    const WAVEFORMATEX mono8 = MakePcmFormat(11025, 8, 1);
};
