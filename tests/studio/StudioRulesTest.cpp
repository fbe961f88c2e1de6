// The main window's rules as plain functions: its mode, the control refresh, new-track
// captions, the arrange chart, the menus, the organize order and the song's windows. Expected
// values are worked out here by hand from the rules' formulas.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "studio/core/ArrangeGeometry.h"
#include "studio/core/MenuPaths.h"
#include "studio/core/OrganizeRows.h"
#include "studio/core/SongWindows.h"
#include "studio/core/StudioControls.h"
#include "studio/core/StudioMode.h"
#include "studio/core/TrackCaptions.h"

namespace {

using M = TStudioMode;
using E = TStudioEvent;

TEST(StudioModeTest, EachEventMovesTheModeAndCombinesCannotBeStranded) {
    struct Row {
        M from;
        E event;
        M to;
    };
    const Row rows[] = {
        {M::Idle, E::PlayAll, M::PlayingAll},
        {M::PlayingAll, E::PlayAll, M::PlayingAll}, // the clock's repeat
        {M::PlayingAll, E::StopAll, M::Idle},
        {M::PlayingAll, E::TrackStop, M::Idle},
        {M::PlayingAll, E::Record, M::Idle},
        {M::Idle, E::BeginClosing, M::Closing},
        {M::PlayingAll, E::BeginClosing, M::Closing}, // Exit while the song plays
        {M::Closing, E::ClosingEnded, M::Idle},
        {M::Closing, E::SongRead, M::SongLoaded},
        {M::Idle, E::SongRead, M::SongLoaded}, // the song named on the command line
        {M::SongLoaded, E::AllTracksReady, M::Idle},
        {M::Idle, E::AllTracksReady, M::Idle},
        {M::Idle, E::CombineConfirmed, M::CombinePreparing},
        {M::CombinePreparing, E::TargetFailed, M::Idle},
        {M::CombinePreparing, E::TargetReady, M::Combining},
        {M::Combining, E::CombineEnded, M::Idle},
        {M::CombinePreparing, E::CombineEnded, M::Idle}, // the target window went away
        // Stop all cancels the combine's worker; the clock then ends the combine.
        {M::Combining, E::StopAll, M::Combining},
        // The target's own Stop cancels it the same way: the mode must wait for the clock.
        {M::Combining, E::TrackStop, M::Combining},
        // Nothing may pull the target or its sources away while a combine is under way.
        {M::CombinePreparing, E::BeginClosing, M::CombinePreparing},
        {M::Combining, E::BeginClosing, M::Combining},
        {M::Combining, E::PlayAll, M::Combining},
        {M::Combining, E::CombineConfirmed, M::Combining},
        {M::Combining, E::SongRead, M::Combining},
        // Closing silences the refresh until every window is gone.
        {M::Closing, E::PlayAll, M::Closing},
        {M::Closing, E::TrackStop, M::Closing},
        {M::Closing, E::AllTracksReady, M::Closing},
        {M::Idle, E::TargetReady, M::Idle},
        {M::Idle, E::ClosingEnded, M::Idle},
    };
    for (const Row& r : rows)
        EXPECT_EQ(NextStudioMode(r.from, r.event), r.to)
            << "from " << int(r.from) << " on event " << int(r.event);
    EXPECT_TRUE(ClosingAllowed(M::Idle));
    EXPECT_TRUE(ClosingAllowed(M::SongLoaded));
    EXPECT_FALSE(ClosingAllowed(M::CombinePreparing));
    EXPECT_FALSE(ClosingAllowed(M::Combining));
}

// ---- the control refresh

TChildFacts Track(TTrackState state, int32_t position = 0, const std::string& text = "",
                  bool muted = false) {
    TChildFacts f;
    f.isTrackWindow = true;
    f.state = state;
    f.playPosition = position;
    f.playPositionText = text.empty() && position == 0 ? "00:00.00000" : text;
    f.muted = muted;
    return f;
}

TChildFacts EffectsDialog() {
    TChildFacts f;
    f.isTrackWindow = false;
    f.state = tsReady; // whatever it holds, a dialog is never a track
    return f;
}

// Each control's state as one string, so that a table row reads at a glance:
// Open File Options Close Stop Rewind Play Sync Record Combine Save; "1" on, "0" off, "-" kept.
std::string Lights(const TStudioControls& c) {
    std::string s;
    for (const std::optional<bool>* o :
         {&c.open, &c.fileMenu, &c.optionsMenu, &c.closeCommand, &c.stop, &c.rewind, &c.play,
          &c.sync, &c.record, &c.combine, &c.save})
        s += !o->has_value() ? '-' : **o ? '1' : '0';
    return s;
}

TEST(StudioControlsTest, TheEdgeCasesOfTheTable) {
    TStudioFacts facts;
    // No child window: Open and the menus on, every transport button off.
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000000");
    facts.songModified = true; // Save needs a track window that is Ready
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000000");

    // Only a muted track (away from 0) and an empty one: Open on; Play, Stop, Rewind, Sync and
    // Combine off. Nobody takes part, so every child counts as ready: Save follows the song
    // and Record the current window's own Record button.
    facts.children = {Track(tsReady, 4000, "00:00.02268", true), Track(tsEmpty)};
    facts.current = 0;
    facts.songModified = false;
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000000");
    facts.children[0].recordButtonEnabled = true;
    facts.songModified = true;
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000101");
    // A Closing track is no participant either, whatever its state would say.
    facts.children[1] = Track(tsClosing, 9000, "00:00.05102");
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000101");
}

TEST(StudioControlsTest, ReferencePositionReadinessAndTheCombineCount) {
    TStudioFacts facts;
    facts.children = {Track(tsReady), Track(tsReady)};
    facts.current = 1;
    // Two Ready tracks at 0: Play and Combine; neither Rewind nor Sync has anything to do.
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110010010");

    // One away from 0: Rewind and Sync too.
    facts.children[0] = Track(tsReady, 88200, "00:00.50000");
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110111010");

    // The same time text is the same position even when the byte counts differ (two formats).
    facts.children[1] = Track(tsReady, 44100, "00:00.50000");
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110110010");

    // The current window gives the reference even when muted; minimized, it gives none (nor
    // its Record), and the first participant's position is the reference instead.
    facts.children.push_back(Track(tsReady, 1000, "00:00.00567", true));
    facts.children[2].recordButtonEnabled = true;
    facts.current = 2;
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110111110");
    facts.children[2].minimized = true;
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110110010");
    // A current window that is not Ready gives no reference either.
    facts.children[2].minimized = false;
    facts.children[2].state = tsLoading; // muted: not a participant, so all stay ready
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110110010");

    // One participant playing: only Stop; the song's changes cannot be saved meanwhile.
    facts.children[2].state = tsReady;
    facts.children[0].state = tsPlaying;
    facts.songModified = true;
    EXPECT_EQ(Lights(RefreshControls(facts)), "00001000000");

    // Combine needs more than one child window: a single track cannot, a track beside the
    // effects dialog can (the rule counts windows), and the dialog is never a participant.
    facts = {};
    facts.children = {Track(tsReady)};
    facts.current = 0;
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110010000");
    facts.children.push_back(EffectsDialog());
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110010010");
    facts.children = {EffectsDialog()};
    EXPECT_EQ(Lights(RefreshControls(facts)), "11110000000");
}

TEST(StudioControlsTest, ModesThatHoldOrSilenceTheRefreshAndTheArrangeAfterASong) {
    TStudioFacts facts;
    facts.children = {Track(tsReady, 500, "00:00.00283"), Track(tsReady)};
    facts.current = 0;
    facts.songModified = true;
    facts.mode = M::Closing;
    EXPECT_EQ(Lights(RefreshControls(facts)), "-----------");
    facts.mode = M::Combining;
    EXPECT_EQ(Lights(RefreshControls(facts)), "-----------");
    // Preparing a combine holds everything but the Options menu, which it leaves as it is.
    facts.mode = M::CombinePreparing;
    EXPECT_EQ(Lights(RefreshControls(facts)), "00-00000000");
    EXPECT_FALSE(RefreshControls(facts).arrangeNow);

    // After a song is read, the tracks are arranged once, when the last one is Ready.
    facts.mode = M::SongLoaded;
    facts.children[1].state = tsLoading;
    TStudioControls c = RefreshControls(facts);
    EXPECT_FALSE(c.arrangeNow);
    EXPECT_EQ(Lights(c), "00001000000");
    facts.children[1].state = tsReady;
    c = RefreshControls(facts);
    EXPECT_TRUE(c.arrangeNow);
    EXPECT_EQ(Lights(c), "11110111011");
    facts.mode = M::Idle;
    EXPECT_FALSE(RefreshControls(facts).arrangeNow);
}

// ---- new tracks

TEST(TrackCaptionsTest, FirstFreeCaptionIgnoringCase) {
    std::vector<std::string> open;
    for (const char* expected : {"New Track ", "New Track 1", "New Track 2"}) {
        const auto caption = NewTrackCaption(open);
        ASSERT_TRUE(caption);
        EXPECT_EQ(*caption, expected);
        open.push_back(*caption);
    }
    // A gap is filled first; other case takes a caption; the blank is part of the first.
    EXPECT_EQ(NewTrackCaption({"new track ", "NEW TRACK 2", "Guitar.wav (/s/)"}), "New Track 1");
    EXPECT_EQ(NewTrackCaption({"New Track"}), "New Track ");
    EXPECT_EQ(NewTrackCaption({"New Track 1"}), "New Track ");

    std::vector<std::string> all = {"New Track "};
    for (int n = 1; n <= 98; ++n)
        all.push_back("New Track " + std::to_string(n));
    EXPECT_EQ(NewTrackCaption(all), "New Track 99");
    all.push_back("new TRACK 99");
    EXPECT_EQ(NewTrackCaption(all), std::nullopt);
    all.push_back("New Track 100"); // beyond the numbers tried
    EXPECT_EQ(NewTrackCaption(all), std::nullopt);
}

// ---- arrange

std::vector<TArrangeRect> Arrange(const std::vector<TArrangeTrack>& tracks,
                                  const TArrangeArea& area, int extraHeight = 0) {
    std::vector<TArrangeRect> placed;
    ArrangeTracks(tracks, area, [&](std::size_t index, const TArrangeRect& r) {
        EXPECT_EQ(index, placed.size());
        placed.push_back(r);
        return r.height + (index == 0 ? extraHeight : 0);
    });
    return placed;
}

TEST(ArrangeGeometryTest, TimeChartRowsAndItsLimits) {
    // 0-10 s and 5-20 s in a window 1030 wide: s 0 and 50, e 100 and 200; scale
    // (1030 - 30) / 200 = 5 px per tenth.
    const TArrangeArea area{
        1030,
        600,
        40,
        30,
    };
    std::vector<TArrangeRect> r = Arrange({{0, 10}, {5, 15}}, area);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].left, 0);
    EXPECT_EQ(r[0].width, 500);
    EXPECT_EQ(r[1].left, 250);
    EXPECT_EQ(r[1].width, 750);
    // (600 - 40 - 30 - 20) div 2 = 255, stacked from 0.
    EXPECT_EQ(r[0].height, 255);
    EXPECT_EQ(r[1].height, 255);
    EXPECT_EQ(r[0].top, 0);
    EXPECT_EQ(r[1].top, 255);

    // A low client area: (300 - 90) div 2 = 105 is raised to 180; a window that takes more
    // height than asked pushes the next row down by what it took.
    r = Arrange({{0, 10}, {5, 15}}, {1030, 300, 40, 30}, 20);
    EXPECT_EQ(r[0].height, 180);
    EXPECT_EQ(r[1].height, 180);
    EXPECT_EQ(r[1].top, 200);

    // Halves go to the even neighbour: 0.25 s gives s = round(2.5) = 2, 0.75 s of length
    // round(7.5) = 8, so e = 10; scale 1000 / 8 = 125; left round(0.5 x 125) = round(62.5) = 62,
    // width round(7.5 x 125) = round(937.5) = 938.
    r = Arrange({{0.25L, 0.75L}}, area);
    EXPECT_EQ(r[0].left, 62);
    EXPECT_EQ(r[0].width, 938);
    EXPECT_EQ(r[0].height, 510); // one row: 600 - 40 - 30 - 20

    // Nothing to chart (no length, one offset): full-width rows, still stacked.
    r = Arrange({{3, 0}, {3, 0.04L}}, area);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].left, 0);
    EXPECT_EQ(r[0].width, 1000);
    EXPECT_EQ(r[1].left, 0);
    EXPECT_EQ(r[1].width, 1000);
    EXPECT_EQ(r[1].top, 255);
    // No window that is not minimized: nothing is placed.
    EXPECT_TRUE(Arrange({}, area).empty());
}

// ---- menus

TMenuNode Item(const std::string& caption, int command = 0, std::vector<TMenuNode> items = {}) {
    return TMenuNode{caption, command, "", std::move(items)};
}

std::vector<std::string> Captions(const std::vector<TMenuNode>& level) {
    std::vector<std::string> c;
    for (const TMenuNode& n : level)
        c.push_back(n.caption);
    return c;
}

TEST(MenuPathsTest, MergeByCaptionAndFindByPath) {
    std::vector<TMenuNode> main = {
        Item("&File", 0, {Item("E&xit", 1)}),
        Item("&Window", 0,
             {Item("&Cascade", 2), Item("&Tile", 3), Item("&Arrange Icons", 4),
              Item("&Minimize All", 5)}),
        Item("&Help", 0, {Item("&Contents and Index", 6), Item("-"), Item("&About", 7)}),
    };
    const std::vector<TMenuNode> studio = {
        Item("&File", 0,
             {Item("&New", 0, {Item("&Song", 10), Item("&Track", 11)}), Item("&Open...", 12),
              Item("&Save", 0,
                   {Item("&Song", 13), Item("&Song &As...", 14), Item("&Track", 15),
                    Item("Track As...", 16)}),
              Item("-")}),
        Item("&Options", 0, {Item("&Sound...", 20), Item("&Defaults...", 21)}),
        Item("&Window", 0, {Item("Arrange Tracks", 30), Item("Organize Tracks...", 31), Item("-")}),
    };
    MergeMenus(main, studio);
    EXPECT_EQ(Captions(main), (std::vector<std::string>{"&File", "&Options", "&Window", "&Help"}));
    EXPECT_EQ(Captions(main[0].items),
              (std::vector<std::string>{"&New", "&Open...", "&Save", "-", "E&xit"}));
    EXPECT_EQ(Captions(main[2].items),
              (std::vector<std::string>{"Arrange Tracks", "Organize Tracks...", "-", "&Cascade",
                                        "&Tile", "&Arrange Icons", "&Minimize All"}));
    EXPECT_EQ(main[0].items[4].command, 1);           // kept
    EXPECT_EQ(main[0].items[2].items[3].command, 16); // copied with its submenu
    // Captions compare exactly: "&file" is another menu, inserted at its index in the source.
    std::vector<TMenuNode> other = {Item("&File")};
    MergeMenus(other, {Item("&Edit"), Item("&file")});
    EXPECT_EQ(Captions(other), (std::vector<std::string>{"&Edit", "&file", "&File"}));

    EXPECT_EQ(MenuPathKey("&Song &As..."), "SONGAS");
    EXPECT_EQ(MenuPathKey("Organize Tracks..."), "ORGANIZETRACKS");
    EXPECT_EQ(MenuPathElements("File|Save|Track As"),
              (std::vector<std::string>{"File", "Save", "Track As"}));
    // Indices level by level: File 0, Save 2, "Track As..." 3.
    EXPECT_EQ(FindMenuItem(main, "File|Save|Track As"), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(FindMenuItem(main, "File|Save|Song"), (std::vector<int>{0, 2, 0}));
    EXPECT_EQ(FindMenuItem(main, "file|save|SONG AS"), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(FindMenuItem(main, "Window|ArrangeTracks"), (std::vector<int>{2, 0}));
    EXPECT_EQ(FindMenuItem(main, "Window|Organize Tracks"), (std::vector<int>{2, 1}));
    EXPECT_EQ(FindMenuItem(main, "File|New"), (std::vector<int>{0, 0}));
    // A missing element ends the search, even when a later one would match.
    EXPECT_TRUE(FindMenuItem(main, "File|Load|Track").empty());
    EXPECT_TRUE(FindMenuItem(main, "File|Exit|Track").empty()); // Exit has no submenu
    EXPECT_TRUE(FindMenuItem(main, "Help|-").empty());          // separators never match
    EXPECT_TRUE(FindMenuItem(main, "").empty());
    EXPECT_EQ(MatchMenuElement({"", "-", "&Song", "&Song &As..."}, "Song As"), 3);
    EXPECT_EQ(MatchMenuElement({"", "-"}, ""), -1);
}

// ---- organize

TEST(OrganizeOrderTest, RowsFillTheTrackPositionsOfTheChildList) {
    // The effects dialog at position 1 stays there; the tracks' positions 0, 2, 3 take the rows'
    // order c, a, b.
    EXPECT_EQ(
        OrganizedChildOrder({"a", "Effects", "b", "c"}, {true, false, true, true}, {"c", "a", "b"}),
        (std::vector<int>{3, 1, 0, 2}));
    // Two windows of one caption both follow their row, once each; a window no row names
    // (renamed meanwhile) keeps what is left; a dialog whose caption equals a row is no track.
    EXPECT_EQ(OrganizedChildOrder({"x", "y", "x", "z", "y"}, {true, true, true, true, false},
                                  {"y", "x", "x"}),
              (std::vector<int>{1, 0, 2, 3, 4}));
    EXPECT_EQ(OrganizedChildOrder({}, {}, {"a"}), std::vector<int>{});
}

// ---- the song's windows

TSongChild Child(const std::string& file, bool muted = false,
                 const std::string& offset = "00:00.00000") {
    TSongChild c;
    c.isTrackWindow = true;
    c.waveFileName = file;
    c.state.muted = muted;
    c.state.offset = offset;
    c.state.fileName = file;
    return c;
}

TTrack Saved(const std::string& file, bool muted = false,
             const std::string& offset = "00:00.00000") {
    TTrack t;
    t.muted = muted;
    t.offset = offset;
    t.fileName = file;
    for (char& ch : t.fileName)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return t;
}

TEST(SongWindowsTest, OnlyTrackWindowsCountAndEmptyTracksAgree) {
    TSongChild dialog;
    dialog.isTrackWindow = false;
    dialog.state.fileName = "/s/ignored.wav";
    const std::vector<TSongChild> children = {Child("/s/a.wav"), dialog, Child("/s/b.wav", true)};
    const std::vector<TTrack> saved = {Saved("/s/a.wav"), Saved("/s/b.wav", true)};
    EXPECT_FALSE(SongModifiedNow(saved, children));
    const std::vector<TSongTrackOut> out = SongTracksToWrite(children);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].waveFileName, "/s/b.wav");
    EXPECT_TRUE(out[1].muted);

    // Each field of a pair counts, and so does the number of track windows.
    std::vector<TSongChild> changed = children;
    changed[2].state.offset = "00:01.00000";
    EXPECT_TRUE(SongModifiedNow(saved, changed));
    EXPECT_TRUE(SongModifiedNow({saved[0]}, children));
    EXPECT_TRUE(SongModifiedNow({saved[0], saved[1], saved[1]}, children));
    EXPECT_FALSE(SongModifiedNow({}, {dialog})); // no track and nothing saved

    // An empty track (its file missing) agrees with its saved state whatever it holds...
    changed = children;
    changed[0].emptyTrack = true;
    changed[0].state.fileName = "";
    changed[0].state.pan = 40;
    EXPECT_FALSE(SongModifiedNow(saved, changed));
    // ...but it still counts as a window.
    changed.push_back(Child("/s/c.wav"));
    changed.back().emptyTrack = true;
    EXPECT_TRUE(SongModifiedNow(saved, changed));
    // A change under way on a track makes the song differ.
    changed = children;
    changed[2].changing = true;
    EXPECT_TRUE(SongModifiedNow(saved, changed));
}

TEST(SongWindowsTest, ANeverSavedTrackIsNotWrittenAndTheSongStaysModified) {
    char tmpl[] = "/tmp/wavestack-songwin-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string song = dir + "/s.Sng";
    TSongChild fresh; // "New Track ": lives only in its temporary working file
    fresh.isTrackWindow = true;
    fresh.state.fileName = "/tmp/WAV1234.TMP";
    TSongChild dialog;
    const std::vector<TSongChild> children = {Child(dir + "/a.wav"), dialog, fresh};

    std::vector<TTrack> saved;
    std::string error;
    ASSERT_TRUE(WriteSong(song, SongTracksToWrite(children), saved, error)) << error;
    int32_t numTracks = -1;
    const std::vector<TSongEntry> entries = ReadSong(song, numTracks);
    EXPECT_EQ(numTracks, 1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, dir + "/a.wav");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(SongModifiedNow(saved, children)); // Save stays enabled after Save
    EXPECT_FALSE(SongModifiedNow(saved, {children[0], dialog}));
    std::system(("rm -rf " + dir).c_str());
}

} // namespace
