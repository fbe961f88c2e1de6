// The one way the core reports anything to the user: AddMessage(kind, text).
#pragma once

#include <cstdint>
#include <string>

// Message kinds: how a line is decorated, whether it beeps, shows a box, enters the list.
enum MessageKind : uint8_t {
    kMsgRefusal = 0,   // " Error : " + text, beep
    kMsgError = 1,     // " Error at <date-time> : " + text, beep, modal box
    kMsgStatus = 2,    // " " + text
    kMsgWarning = 3,   // " " + text, beep
    kMsgStamped = 4,   // " <date-time> : " + text
    kMsgAppend = 5,    // appended to the status line, not listed
    kMsgStart = 6,     // " " + text, starts the clock, not listed
    kMsgDone = 7,      // status line + "... done.  " + " Elapsed time = " + elapsed
};

class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    // May be called from any thread. A kind-1 message returns only after the user has
    // closed its box, so an operation that reported an error waits for the user.
    virtual void AddMessage(uint8_t kind, const std::string& text) = 0;
};
