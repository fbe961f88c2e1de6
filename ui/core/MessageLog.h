// The message panel's model: builds each message's line from its kind, keeps the status line
// and the list of logged lines, and tells the caller what the user must see or hear.
// No Qt; not thread-safe: one owner thread calls it (the panel's UI thread, or the stream
// sink under its own lock).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/core/MessageSink.h"

// What one AddMessage asks of the user interface.
struct TMessageAction {
    std::string line;     // the new status line, also the listed line when `listed`
    bool beep = false;    // sound the platform's beep
    bool showBox = false; // show a modal error box with `boxText` and an OK button
    std::string boxText;  // the caller's text alone, undecorated
    bool listed = false;  // `line` was entered into the list
};

class TMessageLog {
  public:
    using TimePoint = std::chrono::system_clock::time_point;
    using Clock = std::function<TimePoint()>;

    // An empty clock reads the system clock; tests inject their own.
    explicit TMessageLog(Clock clock = {});

    TMessageAction AddMessage(uint8_t kind, const std::string& text);

    // The last line built; empty and hidden until the first message.
    const std::string& StatusLine() const { return statusLine_; }
    bool StatusVisible() const { return statusVisible_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    // The elapsed time the last kind-7 message reported [ms], or 0 before any.
    int64_t LastElapsedMs() const { return lastElapsedMs_; }

    // Local date and time as "dd/mm/yyyy hh:mm:ss", e.g. "07/03/2024 14:05:09".
    static std::string DateTimeText(TimePoint when);
    // Minutes ":" seconds "." milliseconds, hours dropped, e.g. "05:00.500". A negative span
    // (the wall clock was set back) reads as zero.
    static std::string ElapsedText(std::chrono::milliseconds elapsed);

  private:
    TimePoint Now() const;

    Clock clock_;
    std::string statusLine_;
    bool statusVisible_ = false;
    std::vector<std::string> lines_;
    bool started_ = false; // a kind-6 message has set startTime_
    TimePoint startTime_{};
    int64_t lastElapsedMs_ = 0;
};
