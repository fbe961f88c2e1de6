// A message sink for the command-line tool: writes the panel's lines to C streams.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ui/core/MessageLog.h"

// Any thread may call AddMessage; one lock keeps each message's output whole and in order.
// Kinds 0 and 1 (errors) go to `err` always; everything else goes to `out` unless `quiet`.
// A line on `out` stays open after it is written, so that kind 5 ("." per block,
// " ... Action Cancelled") and kind 7 ("... done. ...") continue it the way they continue
// the panel's status line; the next other message, EndLine or the destructor ends it.
// A kind-1 message never waits: there is no user to close a box.
class TStreamMessageSink : public TMessageSink {
  public:
    TStreamMessageSink(std::FILE* out, std::FILE* err, bool quiet = false,
                       TMessageLog::Clock clock = {});
    ~TStreamMessageSink() override;
    TStreamMessageSink(const TStreamMessageSink&) = delete;
    TStreamMessageSink& operator=(const TStreamMessageSink&) = delete;

    void AddMessage(uint8_t kind, const std::string& text) override;
    // Ends the open line on `out`, if any, with a newline.
    void EndLine();
    // Copy of every listed line so far.
    std::vector<std::string> Lines() const;
    // True once a kind-0 or kind-1 message was sent; the tool's exit status.
    bool HadError() const;

  private:
    void EndLineLocked();
    void Write(std::FILE* stream, const std::string& text);

    mutable std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    const bool quiet_;
    TMessageLog log_;
    std::string openLine_; // what stands on the unterminated line of out_
    bool lineOpen_ = false;
    bool hadError_ = false;
};
