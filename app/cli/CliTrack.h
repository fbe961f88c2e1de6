// One track run headless for the command-line tool: the owner answers the dialogs from the
// command line, the view shows a progress indicator on a terminal, and the panel's lines go
// to stderr.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/cli/CliArgs.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"
#include "ui/core/StreamMessageSink.h"
#include "ui/core/VelCriticalSection.h"

// A percentage at the end of the terminal's current line, erased before any message is
// written so that appended text ("." per block, "... done.") continues the line. Any thread.
class TCliProgress {
  public:
    TCliProgress(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
    void SetTotal(int64_t totalBytes) { total_ = totalBytes; }
    void Show(int64_t done);
    void Clear();

  private:
    void EraseLocked();

    std::mutex mutex_;
    std::FILE* stream_;
    const bool enabled_;
    std::atomic<int64_t> total_{0};
    int shown_ = -1; // percentage on screen, -1: none
};

// The panel's lines through the stream sink, with the progress line out of their way.
class TCliSink : public TMessageSink {
  public:
    TCliSink(bool quiet, bool progressOnTerminal);
    void AddMessage(uint8_t kind, const std::string& text) override;
    bool HadError() const { return stream_.HadError(); }
    TStreamMessageSink& Stream() { return stream_; }
    TCliProgress& Progress() { return progress_; }
    // An error of the tool itself, listed and written like the track's.
    void Error(const std::string& text) { AddMessage(kMsgError, text); }

  private:
    TStreamMessageSink stream_;
    TCliProgress progress_;
};

class TCliView : public THeadlessTrackView {
  public:
    explicit TCliView(TCliSink& sink) : THeadlessTrackView(false), sink_(sink) {}
    void WorkBarAt(int32_t dataPosition) override;
    // The percentage stays until the next message or the next block replaces it.
    void WorkBarDone() override {}

  private:
    TCliSink& sink_;
};

// Answers the track's questions from the command line: the transfer file is --clip, the
// conversion format is --format, the only open track is the input.
class TCliOwner : public TTrackOwner {
  public:
    TCliOwner(TCliSink& sink, const TCliArgs& args) : sink_(sink), args_(args) {}
    bool IsFileOpenAsTrack(const std::string& path) override;
    std::optional<std::string> ChooseTransferFile(bool forSaving, const std::string& title,
                                                  const std::string& initialName) override;
    void ErrorBox(const std::string& text) override { sink_.Error(text); }
    // Reading the input back as a transfer file is harmless: it has no unsaved changes.
    bool ConfirmBox(const std::string&) override { return true; }
    std::optional<WAVEFORMATEX> ChooseConversionFormat(const WAVEFORMATEX&) override;
    void ShowUndoWarning(const std::string&) override {}

  private:
    TCliSink& sink_;
    const TCliArgs& args_;
};

// Exit status of a command: 0 done, 1 failed (reason on stderr), 2 bad arguments.
int RunInfo(const TCliArgs& args, TCliSink& sink);
int RunTrackCommand(const TCliArgs& args, TCliSink& sink);
