#include "ui/core/StreamMessageSink.h"

TStreamMessageSink::TStreamMessageSink(std::FILE* out, std::FILE* err, bool quiet,
                                       TMessageLog::Clock clock)
    : out_(out), err_(err), quiet_(quiet), log_(std::move(clock)) {}

TStreamMessageSink::~TStreamMessageSink() {
    std::lock_guard<std::mutex> lock(mutex_);
    EndLineLocked();
}

void TStreamMessageSink::Write(std::FILE* stream, const std::string& text) {
    if (!stream || text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream); // progress dots must show while the operation runs
}

void TStreamMessageSink::EndLineLocked() {
    if (!lineOpen_) return;
    Write(out_, "\n");
    lineOpen_ = false;
    openLine_.clear();
}

void TStreamMessageSink::EndLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    EndLineLocked();
}

void TStreamMessageSink::AddMessage(uint8_t kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    const TMessageAction action = log_.AddMessage(kind, text);
    const bool isError = kind == kMsgRefusal || kind == kMsgError;
    if (isError) {
        hadError_ = true;
        // An error must not land in the middle of a progress line when both streams are
        // the same terminal.
        EndLineLocked();
        Write(err_, action.line + "\n");
        return;
    }
    if (quiet_) return;

    if (kind == kMsgAppend) {
        // Continues what is on screen; after an error there is no open line, so the text
        // starts one of its own.
        Write(out_, text);
        openLine_ += text;
        lineOpen_ = true;
        return;
    }
    if (kind == kMsgDone && lineOpen_ && action.line.compare(0, openLine_.size(), openLine_) == 0) {
        Write(out_, action.line.substr(openLine_.size()));
        openLine_ = action.line;
        return;
    }
    EndLineLocked();
    Write(out_, action.line);
    openLine_ = action.line;
    lineOpen_ = true;
}

std::vector<std::string> TStreamMessageSink::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.Lines();
}

bool TStreamMessageSink::HadError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hadError_;
}
