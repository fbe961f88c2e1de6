#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ui/core/MessageLog.h"
#include "ui/core/StreamMessageSink.h"

namespace {

using std::chrono::milliseconds;
using TimePoint = TMessageLog::TimePoint;

// 7 March 2024, 14:05:09 local time (no daylight-saving change near it in any zone we run in).
TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

struct FakeClock {
    TimePoint now = LocalTime(2024, 3, 7, 14, 5, 9);
    TMessageLog::Clock Fn() {
        return [this] { return now; };
    }
};

// Reads everything written to a memory stream so far.
struct MemoryStream {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
    ~MemoryStream() {
        if (file) std::fclose(file);
        std::free(data);
    }
    std::string Text() {
        std::fflush(file);
        return std::string(data, size);
    }
};

} // namespace

TEST(MessageLog, EveryKindBuildsItsLineAndFlags) {
    FakeClock clock;
    TMessageLog log(clock.Fn());
    EXPECT_FALSE(log.StatusVisible());
    EXPECT_EQ(log.StatusLine(), "");

    struct Case {
        uint8_t kind;
        std::string text, line;
        bool beep, box;
    };
    const std::vector<Case> cases = {
        {0, "Nothing to do", " Error : Nothing to do", true, false},
        {1, "MMIOCreateChunk. fmt 3", " Error at 07/03/2024 14:05:09 : MMIOCreateChunk. fmt 3",
         true, true},
        {2, "16 bit Stereo @44100Hz", " 16 bit Stereo @44100Hz", false, false},
        {3, "Play button not enabled", " Play button not enabled", true, false},
        {4, "Saved", " 07/03/2024 14:05:09 : Saved", false, false},
        {9, "odd kind", " odd kind", false, false},
        {255, "top kind", " top kind", false, false},
    };
    std::vector<std::string> expectedList;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        const TMessageAction a = log.AddMessage(c.kind, c.text);
        EXPECT_EQ(a.line, c.line);
        EXPECT_EQ(a.beep, c.beep);
        EXPECT_EQ(a.showBox, c.box);
        EXPECT_TRUE(a.listed);
        // The box shows the text undecorated.
        EXPECT_EQ(a.boxText, c.box ? c.text : std::string());
        EXPECT_TRUE(log.StatusVisible());
        EXPECT_EQ(log.StatusLine(), c.line);
        expectedList.push_back(c.line);
    }
    EXPECT_EQ(log.Lines(), expectedList);
}

TEST(MessageLog, AppendOnAnEmptyStatusLineShowsOnlyTheTextAndListsNothing) {
    TMessageLog log;
    const TMessageAction a = log.AddMessage(kMsgAppend, ".");
    EXPECT_EQ(a.line, ".");
    EXPECT_FALSE(a.beep);
    EXPECT_FALSE(a.showBox);
    EXPECT_FALSE(a.listed);
    EXPECT_TRUE(log.StatusVisible()); // any first message shows the status line
    EXPECT_EQ(log.StatusLine(), ".");
    EXPECT_TRUE(log.Lines().empty());
}

TEST(MessageLog, TimedOperationCompletesTheStatusLineWithTheElapsedTime) {
    FakeClock clock;
    TMessageLog log(clock.Fn());
    TMessageAction a = log.AddMessage(kMsgStart, "Start Cutting");
    EXPECT_EQ(a.line, " Start Cutting");
    EXPECT_FALSE(a.listed);
    EXPECT_TRUE(log.StatusVisible());
    log.AddMessage(kMsgAppend, ".");
    log.AddMessage(kMsgAppend, ".");
    EXPECT_EQ(log.StatusLine(), " Start Cutting..");
    EXPECT_TRUE(log.Lines().empty());

    clock.now += milliseconds(2125);
    // The text of a kind-7 message is not used.
    a = log.AddMessage(kMsgDone, "End Copying");
    const std::string done = " Start Cutting..... done.   Elapsed time = 00:02.125";
    EXPECT_EQ(a.line, done);
    EXPECT_TRUE(a.listed);
    EXPECT_FALSE(a.beep);
    EXPECT_EQ(log.LastElapsedMs(), 2125);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], done);

    // A cancel note goes on screen only; the list keeps the completed line.
    a = log.AddMessage(kMsgAppend, " ... Action Cancelled");
    EXPECT_EQ(a.line, done + " ... Action Cancelled");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{done});

    // A second kind 7 still measures from the last start, not from a date.
    clock.now += milliseconds(1000);
    a = log.AddMessage(kMsgDone, "");
    EXPECT_EQ(a.line, done + " ... Action Cancelled... done.   Elapsed time = 00:03.125");
}

TEST(MessageLog, ElapsedTextDropsHoursAndPadsWithZeros) {
    using std::chrono::hours;
    using std::chrono::minutes;
    using std::chrono::seconds;
    EXPECT_EQ(TMessageLog::ElapsedText(hours(1) + minutes(5) + milliseconds(500)), "05:00.500");
    EXPECT_EQ(TMessageLog::ElapsedText(minutes(3) + milliseconds(7250)), "03:07.250");
    EXPECT_EQ(TMessageLog::ElapsedText(milliseconds(0)), "00:00.000");
    EXPECT_EQ(TMessageLog::ElapsedText(milliseconds(7)), "00:00.007");
    EXPECT_EQ(TMessageLog::ElapsedText(minutes(59) + seconds(59) + milliseconds(999)), "59:59.999");
    EXPECT_EQ(TMessageLog::ElapsedText(hours(2)), "00:00.000");
    EXPECT_EQ(TMessageLog::ElapsedText(milliseconds(-1500)), "00:00.000");

    // Through the log: a 1 h 5 min 0.5 s operation, and a clock set back during one.
    FakeClock clock;
    TMessageLog log(clock.Fn());
    log.AddMessage(kMsgStart, "Start Combining");
    clock.now += hours(1) + minutes(5) + milliseconds(500);
    EXPECT_EQ(log.AddMessage(kMsgDone, "").line,
              " Start Combining... done.   Elapsed time = 05:00.500");
    log.AddMessage(kMsgStart, "Start Pasting");
    clock.now -= minutes(1);
    EXPECT_EQ(log.AddMessage(kMsgDone, "").line,
              " Start Pasting... done.   Elapsed time = 00:00.000");
}

TEST(MessageLog, DoneWithoutAnyStartReportsZero) {
    FakeClock clock;
    TMessageLog log(clock.Fn());
    log.AddMessage(kMsgStatus, "Ready");
    clock.now += std::chrono::hours(30);
    EXPECT_EQ(log.AddMessage(kMsgDone, "x").line, " Ready... done.   Elapsed time = 00:00.000");
}

TEST(MessageLog, DateTimeTextIsLocalDayMonthYear) {
    EXPECT_EQ(TMessageLog::DateTimeText(LocalTime(2024, 3, 7, 14, 5, 9)), "07/03/2024 14:05:09");
    EXPECT_EQ(TMessageLog::DateTimeText(LocalTime(1999, 12, 31, 0, 0, 0)), "31/12/1999 00:00:00");
}

TEST(StreamMessageSink, WritesLinesAndContinuesTheOpenLine) {
    FakeClock clock;
    MemoryStream out, err;
    {
        TStreamMessageSink sink(out.file, err.file, false, clock.Fn());
        sink.AddMessage(kMsgStatus, "Loaded");
        sink.AddMessage(kMsgStart, "Start Cutting");
        sink.AddMessage(kMsgAppend, ".");
        sink.AddMessage(kMsgAppend, ".");
        EXPECT_EQ(out.Text(), " Loaded\n Start Cutting..");
        clock.now += milliseconds(1500);
        sink.AddMessage(kMsgDone, "ignored");
        sink.AddMessage(kMsgAppend, " ... Action Cancelled");
        sink.AddMessage(kMsgError, "Disk full");
        EXPECT_TRUE(sink.HadError());
        sink.AddMessage(kMsgWarning, "Careful");
        EXPECT_EQ(sink.Lines(),
                  (std::vector<std::string>{
                      " Loaded", " Start Cutting..... done.   Elapsed time = 00:01.500",
                      " Error at 07/03/2024 14:05:10 : Disk full", " Careful"}));
    }
    EXPECT_EQ(out.Text(), " Loaded\n"
                          " Start Cutting..... done.   Elapsed time = 00:01.500"
                          " ... Action Cancelled\n"
                          " Careful\n");
    EXPECT_EQ(err.Text(), " Error at 07/03/2024 14:05:10 : Disk full\n");
}

TEST(StreamMessageSink, QuietWritesOnlyErrors) {
    MemoryStream out, err;
    TStreamMessageSink sink(out.file, err.file, true);
    EXPECT_FALSE(sink.HadError());
    sink.AddMessage(kMsgStart, "Start Cutting");
    sink.AddMessage(kMsgAppend, ".");
    sink.AddMessage(kMsgDone, "");
    sink.AddMessage(kMsgStatus, "Done");
    sink.AddMessage(kMsgWarning, "Careful");
    sink.AddMessage(kMsgStamped, "Saved");
    sink.AddMessage(kMsgRefusal, "Nothing to do");
    sink.EndLine();
    EXPECT_EQ(out.Text(), "");
    EXPECT_EQ(err.Text(), " Error : Nothing to do\n");
    EXPECT_TRUE(sink.HadError());
}

TEST(StreamMessageSink, ErrorsOnTheSameStreamEndTheProgressLineFirst) {
    MemoryStream out;
    TStreamMessageSink sink(out.file, out.file);
    sink.AddMessage(kMsgStart, "Reading a.wav");
    sink.AddMessage(kMsgAppend, ".");
    sink.AddMessage(kMsgRefusal, "Bad header");
    sink.AddMessage(kMsgAppend, " ... Action Cancelled"); // no open line: starts its own
    sink.EndLine();
    sink.EndLine(); // a second end writes nothing
    EXPECT_EQ(out.Text(), " Reading a.wav.\n Error : Bad header\n ... Action Cancelled\n");
}

TEST(StreamMessageSink, LinesFromManyThreadsStayWhole) {
    MemoryStream out;
    {
        TStreamMessageSink sink(out.file, nullptr);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&sink, t] {
                for (int i = 0; i < 100; ++i)
                    sink.AddMessage(kMsgStatus,
                                    "thread " + std::to_string(t) + " line " + std::to_string(i));
            });
        for (auto& th : threads)
            th.join();
        EXPECT_EQ(sink.Lines().size(), 400u);
    }
    const std::string text = out.Text();
    int next[4] = {0, 0, 0, 0};
    size_t begin = 0, count = 0;
    while (begin < text.size()) {
        const size_t end = text.find('\n', begin);
        ASSERT_NE(end, std::string::npos);
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(text.c_str() + begin, " thread %d line %d", &t, &i), 2);
        ASSERT_TRUE(t >= 0 && t < 4);
        EXPECT_EQ(i, next[t]++); // each thread's lines in the order it sent them
        begin = end + 1;
        ++count;
    }
    EXPECT_EQ(count, 400u);
}
