#include "track/TrackWindowRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const WAVEFORMATEX kCd = MakePcmFormat(44100, 16, 2); // 176400 bytes a second

TTrackWindowFacts ReadyTrack() {
    TTrackWindowFacts facts;
    facts.state = tsReady;
    facts.startOffset = 1000;
    facts.dataLength = 5000;
    facts.playPosition = 3000; // inside the data
    return facts;
}

// Answers the close query's questions from a script and keeps what was asked.
struct ScriptedHost : TCloseQueryHost {
    bool confirm = true;
    TYesNoCancel answer = TYesNoCancel::No;
    bool saved = true;
    std::vector<std::string> asked;
    bool ConfirmOkCancel(const std::string& q) override {
        asked.push_back(q);
        return confirm;
    }
    TYesNoCancel AskYesNoCancel(const std::string& q) override {
        asked.push_back(q);
        return answer;
    }
    bool SaveTrack() override {
        asked.push_back("save");
        return saved;
    }
};

} // namespace

TEST(TrackWindowRules, BusyStatesLeaveOnlyStopAndTheReadyStateOpensByItsFacts) {
    for (TTrackState busy : {tsLoading, tsBusy, tsPlaying, tsRecording}) {
        TTrackWindowFacts facts = ReadyTrack();
        facts.state = busy;
        facts.hasSelection = true;
        const TTrackWindowControls c = TrackWindowControls(facts);
        EXPECT_TRUE(c.stop);
        EXPECT_FALSE(c.ok || c.cancel || c.play || c.record || c.saveAs || c.length || c.mute);
        EXPECT_FALSE(c.closeCommand);
        EXPECT_TRUE(c.propertiesBusyPointer);
        const bool active = busy == tsPlaying || busy == tsRecording;
        EXPECT_EQ(TrackIconName(c.icon), active ? "GWAVE" : "MWAVE") << int(busy);
    }

    TTrackWindowFacts facts = ReadyTrack();
    TTrackWindowControls c = TrackWindowControls(facts);
    EXPECT_TRUE(c.ok && c.cancel && c.play && c.mute && c.closeCommand);
    EXPECT_TRUE(c.rewind && c.forward && c.waveBtn && c.saveAs && c.length && c.startsAt);
    EXPECT_FALSE(c.record) << "Record waits for a selection";
    EXPECT_FALSE(c.effects || c.save || c.stop || c.propertiesBusyPointer);
    EXPECT_EQ(TrackIconName(c.icon), "RWAVE");

    facts.hasSelection = true;
    facts.modified = true;
    facts.playPosition = facts.startOffset; // at the start: nothing to rewind to
    c = TrackWindowControls(facts);
    EXPECT_TRUE(c.record && c.effects && c.save && c.forward);
    EXPECT_FALSE(c.rewind);
    facts.playPosition = facts.startOffset + facts.dataLength; // at the end
    c = TrackWindowControls(facts);
    EXPECT_TRUE(c.rewind);
    EXPECT_FALSE(c.forward);

    facts.effectsDialogOpen = true;
    c = TrackWindowControls(facts);
    EXPECT_FALSE(c.waveBtn || c.saveAs || c.length || c.startsAt || c.effects);
    EXPECT_TRUE(c.play && c.record && c.mute && c.closeCommand);

    facts.state = tsCombineSource; // a combine reads it: nothing, not even Cancel
    c = TrackWindowControls(facts);
    EXPECT_FALSE(c.ok || c.cancel || c.stop || c.play || c.closeCommand);
    EXPECT_EQ(c.icon, TTrackIcon::Keep);
    facts.state = tsEmpty; // nothing to keep: no OK, but Cancel removes it
    c = TrackWindowControls(facts);
    EXPECT_TRUE(c.cancel && !c.ok && !c.closeCommand && c.icon == TTrackIcon::MWave);
}

TEST(TrackWindowRules, PlayingAMutedWindowUnmutesItAndTheIconFollows) {
    TTrackWindowFacts facts = ReadyTrack();
    facts.muted = true;
    EXPECT_EQ(TrackIconName(TrackWindowControls(facts).icon), "MWAVE");
    EXPECT_FALSE(MuteChange(true, true)) << "no change, nothing to do";

    const TMuteLook unmuted = MuteChange(true, false).value(); // Play unmutes first
    EXPECT_TRUE(unmuted.caption == "Mute" && !unmuted.secondPicture);
    facts.muted = false;
    facts.state = tsPlaying;
    EXPECT_EQ(TrackIconName(TrackWindowControls(facts).icon), "GWAVE");
    facts.state = tsReady;
    EXPECT_EQ(TrackIconName(TrackWindowControls(facts).icon), "RWAVE");

    const TMuteLook muted = MuteChange(false, true).value();
    EXPECT_TRUE(muted.caption == "UnMute" && muted.secondPicture);
    EXPECT_EQ(TrackIconName(muted.icon), "MWAVE");
}

TEST(TrackWindowRules, SizeLabelInMebibytesWithSeparatorsAndTwoDecimals) {
    // Worked out by hand: 1 MiB = 1048576 bytes, 0.005 MiB = 5242.88 bytes.
    EXPECT_EQ(FileSizeLabel(0), "File Size is 0.00 M");
    EXPECT_EQ(FileSizeLabel(5242), "File Size is 0.00 M");
    EXPECT_EQ(FileSizeLabel(5243), "File Size is 0.01 M");
    EXPECT_EQ(FileSizeLabel(1048576), "File Size is 1.00 M");
    EXPECT_EQ(FileSizeLabel(10584000), "File Size is 10.09 M"); // a minute of CD audio
    EXPECT_EQ(FileSizeLabel(1294467072), "File Size is 1,234.50 M");
    EXPECT_EQ(FileSizeLabel(2147483647), "File Size is 2,048.00 M");
    EXPECT_EQ(FileSizeLabel(int64_t{1048576} * 1048576), "File Size is 1,048,576.00 M");
    // Typed lengths: blanks read as 0, so " 1:00.00000" is a minute.
    EXPECT_EQ(LengthTextSizeLabel(" 1:00.00000", kCd), "File Size is 10.09 M");
    EXPECT_EQ(LengthTextSizeLabel("00:05.00000", kCd), "File Size is 0.84 M"); // 882000 bytes

    const TTrackProperties p = TrackProperties("/songs/take.wav", kCd, 1764000);
    EXPECT_EQ(p.lengthText + " " + p.sizeLabel, "00:10.00000 File Size is 1.68 M");
}

TEST(TrackWindowRules, LengthAsksToTruncateOrExtendAndTheSameLengthAsksNothing) {
    const TLengthChange shorter = LengthChange("00:05.00000", "00:10.00000", "take.wav");
    EXPECT_EQ(shorter.kind, TLengthChangeKind::Truncate);
    EXPECT_EQ(shorter.question,
              "Truncate Track : take.wav from 00:10.00000 to 00:05.00000 (Data will be lost).");

    const TLengthChange longer = LengthChange("01:2 .5    ", "00:10.00000", "take.wav");
    EXPECT_EQ(longer.kind, TLengthChangeKind::Extend);
    EXPECT_EQ(longer.newText, "01:20.50000");
    EXPECT_EQ(longer.question, "Extend Track : take.wav from 00:10.00000 to 01:20.50000 "
                               "(New data will be silent).");

    for (const char* same : {"00:10.00000", "  :10.00000"}) {
        const TLengthChange none = LengthChange(same, "00:10.00000", "take.wav");
        EXPECT_EQ(none.kind, TLengthChangeKind::None) << same;
        EXPECT_TRUE(none.question.empty());
    }
}

TEST(TrackWindowRules, CloseQueryAsksOnlyWhatTheFactsCallFor) {
    TCloseQueryFacts facts;
    facts.caption = "/songs/take.wav";
    facts.state = tsReady;
    facts.shortName = "take.wav";
    facts.mainCaption = "Demo.Sng";

    ScriptedHost quiet;
    TCloseQueryFacts closing = facts;
    closing.caption = "Closing...";
    closing.modified = true;
    TCloseQueryFacts empty = facts;
    empty.state = tsEmpty;
    EXPECT_TRUE(CloseQuery(closing, quiet) && CloseQuery(empty, quiet));
    EXPECT_TRUE(quiet.asked.empty());

    ScriptedHost refuse;
    refuse.confirm = false;
    EXPECT_FALSE(CloseQuery(facts, refuse));
    EXPECT_EQ(refuse.asked,
              std::vector<std::string>{"Remove Track: take.wav From Song: Demo.Sng ?"});

    facts.modified = true;
    facts.songClosing = true; // no removal question when the whole song closes
    const std::string save = "Save changes to Track: take.wav ?";
    struct Case {
        TYesNoCancel answer;
        bool saved;
        bool allowed;
        std::vector<std::string> asked;
    };
    for (const Case& k : {Case{TYesNoCancel::Yes, true, true, {save, "save"}},
                          Case{TYesNoCancel::Yes, false, false, {save, "save"}},
                          Case{TYesNoCancel::No, true, true, {save}},
                          Case{TYesNoCancel::Cancel, true, false, {save}}}) {
        ScriptedHost host;
        host.answer = k.answer;
        host.saved = k.saved;
        EXPECT_EQ(CloseQuery(facts, host), k.allowed);
        EXPECT_EQ(host.asked, k.asked);
    }
}

TEST(TrackWindowRules, SavingPlacingAndActivation) {
    EXPECT_TRUE(SaveNeedsSaveAs("WAV1A2.TMP"));
    EXPECT_TRUE(SaveNeedsSaveAs("wav1a2.tmp"));
    EXPECT_FALSE(SaveNeedsSaveAs("tmp.wav"));
    const TSaveAsStart fresh = SaveAsStart("/tmp/WAV1A2.TMP", "Track 2", "/home/u/songs");
    EXPECT_EQ(fresh.folder + "|" + fresh.fileName, "/home/u/songs|Track 2");
    const TSaveAsStart saved = SaveAsStart("/home/u/takes/bass.wav", "x", "/home/u/songs");
    EXPECT_EQ(saved.folder + "|" + saved.fileName, "/home/u/takes|bass.wav");

    EXPECT_EQ(EffectsCaption("/songs/take.wav"), "Add Effects to /songs/take.wav");
    // Client area 600 high less the panels (20 and 45) leaves 535.
    TEffectsPlacementFacts room{false, 600, 20, 45, {10, 30, 400, 535}};
    EXPECT_EQ(EffectsDialogPlace(room), (TDialogPos{10, 565}));
    room.trackWindow.height = 536;
    EXPECT_FALSE(EffectsDialogPlace(room));
    room.trackWindow.height = 200;
    room.anyChildMaximised = true;
    EXPECT_FALSE(EffectsDialogPlace(room));

    TTrackActivation activation;
    EXPECT_FALSE(activation.Activate());
    EXPECT_TRUE(activation.Activate());
    EXPECT_TRUE(activation.Activate());
}
