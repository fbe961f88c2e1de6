#include "ui/core/MessageLog.h"

#include <cstdio>
#include <ctime>

TMessageLog::TMessageLog(Clock clock) : clock_(std::move(clock)) {}

TMessageLog::TimePoint TMessageLog::Now() const {
    return clock_ ? clock_() : std::chrono::system_clock::now();
}

std::string TMessageLog::DateTimeText(TimePoint when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return "00/00/0000 00:00:00";
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &local);
    return std::string(text, n);
}

std::string TMessageLog::ElapsedText(std::chrono::milliseconds elapsed) {
    const int64_t total = elapsed.count() < 0 ? 0 : elapsed.count();
    const int minutes = static_cast<int>(total / 60000 % 60);
    const int seconds = static_cast<int>(total / 1000 % 60);
    const int millis = static_cast<int>(total % 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%2d.%3d", minutes, seconds, millis);
    std::string result(text);
    for (char& c : result)
        if (c == ' ') c = '0';
    return result;
}

TMessageAction TMessageLog::AddMessage(uint8_t kind, const std::string& text) {
    TMessageAction action;
    switch (kind) {
    case kMsgRefusal:
        action.line = " Error : " + text;
        action.beep = true;
        action.listed = true;
        break;
    case kMsgError:
        action.line = " Error at " + DateTimeText(Now()) + " : " + text;
        action.beep = true;
        action.showBox = true;
        action.boxText = text;
        action.listed = true;
        break;
    case kMsgWarning:
        action.line = " " + text;
        action.beep = true;
        action.listed = true;
        break;
    case kMsgStamped:
        action.line = " " + DateTimeText(Now()) + " : " + text;
        action.listed = true;
        break;
    case kMsgAppend:
        action.line = statusLine_ + text;
        break;
    case kMsgStart:
        action.line = " " + text;
        startTime_ = Now();
        started_ = true;
        break;
    case kMsgDone: {
        // The start stays in place, so a second kind 7 measures from the same start rather
        // than from an elapsed time taken as a date. Without any start the span is zero.
        const auto elapsed =
            started_ ? std::chrono::duration_cast<std::chrono::milliseconds>(Now() - startTime_)
                     : std::chrono::milliseconds(0);
        lastElapsedMs_ = elapsed.count() < 0 ? 0 : elapsed.count();
        action.line = statusLine_ + "... done.  " + " Elapsed time = " + ElapsedText(elapsed);
        action.listed = true;
        break;
    }
    default: // kMsgStatus and any unknown kind
        action.line = " " + text;
        action.listed = true;
        break;
    }
    if (action.listed) lines_.push_back(action.line);
    statusLine_ = action.line;
    statusVisible_ = true;
    return action;
}
