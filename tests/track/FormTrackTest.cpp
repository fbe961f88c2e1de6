// The track window's wiring, offscreen, in a main window of the test's own that plays the
// Studio's part. The rules behind the buttons are tested in TrackWindowRulesTest; here: that
// the window asks them, applies the answers and drives the track. Playing and recording use
// the private sound server of tests/pulse/server.sh and are skipped without it.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/WaveIn.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "track/view/PositionPanel.h"
#include "track/view/TrackWindowHost.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"
#include "ui/core/VelCriticalSection.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/LevelMeterWidget.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

struct Lines : TMessageSink {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
    void AddMessage(uint8_t kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.emplace_back(kind, text);
    }
    bool Saw(int kind, const std::string& text) {
        std::lock_guard lock(mutex);
        for (auto& [k, t] : lines)
            if (k == kind && t == text) return true;
        return false;
    }
};

// The main window's side, counting what the windows ask of it.
struct TestHost : TFormVelM, TTrackWindowHost {
    Lines panel;
    TVELCriticalSection fileLock;
    std::string folder;
    int refreshes = 0, idles = 0, songSaves = 0, playAlls = 0, stopAlls = 0, records = 0;
    bool playAllEnabled = true, stopAllEnabled = true, recordEnabled = false;
    bool songClosing = false;
    bool dampen = false;

    TFormTrack* Window(int index) const { return qobject_cast<TFormTrack*>(Child(index)); }

    void RefreshTransport() override { ++refreshes; }
    void SetTransportIdle() override { ++idles; }
    bool PlayAllEnabled() override { return playAllEnabled; }
    void PlayAll() override { ++playAlls; }
    bool StopAllEnabled() override { return stopAllEnabled; }
    void StopAll() override { ++stopAlls; }
    bool RecordEnabled() override { return recordEnabled; }
    void Record() override { ++records; }
    void EnableSongSave() override { ++songSaves; }
    // The main window's captions: "name (folder/)".
    std::string NormaliseTrackName(const std::string& path) override {
        const std::filesystem::path full = std::filesystem::absolute(path).lexically_normal();
        return full.filename().string() + " (" + full.parent_path().string() + "/)";
    }
    void CloseWindowShowing(const std::string& caption, TFormTrack& except) override {
        for (int i = ChildCount() - 1; i >= 0; --i)
            if (TFormTrack* w = Window(i); w && w != &except && w->Caption() == caption)
                w->CloseWithoutQuestions();
    }
    bool IsFileOpenAsTrack(const std::string& path) override {
        const std::string name = NormaliseTrackName(path);
        for (int i = 0; i < ChildCount(); ++i)
            if (TFormTrack* w = Window(i); w && w->Caption() == name) return true;
        return false;
    }
    std::string SongFolder() override { return folder; }
    bool SongClosing() override { return songClosing; }
    int32_t recorder = -1;
    int32_t RecorderNumber() override { return recorder; }
    TVELCriticalSection* FileLock() override { return &fileLock; }
    WAVEFORMATEX OutputFormat() override { return MakePcmFormat(44100, 16, 2); }
    bool Dampen() override { return dampen; }
    std::string MainCaption() override { return "Song1"; }
    TMessageSink& MainPanel() override { return panel; }
    TMainClientFacts ClientFacts() override {
        return {false, MdiArea()->viewport()->height(), 0, 0};
    }
};

// A dialog that stands in for the effects dialog: it counts its refreshes.
struct FakeEffects : TTrackEffectsDialog {
    using TTrackEffectsDialog::TTrackEffectsDialog;
    int refreshes = 0;
    void Refresh() override { ++refreshes; }
};

// 16-bit mono at 44100 Hz: 88200 bytes a second, a quiet saw so the picture has a shape.
wavetest::Bytes Saw(int samples) {
    wavetest::Bytes data;
    for (int i = 0; i < samples; ++i)
        wavetest::PutLE(data, static_cast<uint16_t>(static_cast<int16_t>((i % 441) * 40 - 8820)),
                        2);
    return data;
}

struct Fixture {
    std::string root;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<TSoundSetup> sound;
    Lines soundLines;
    std::map<TFormTrack*, std::vector<std::string>> questions;
    bool answerOk = true;
    TYesNoCancel answerYesNo = TYesNoCancel::Cancel;
    std::optional<std::string> saveAnswer;
    std::vector<std::pair<std::string, std::string>> saveAsked;
    std::vector<std::string> errors;

    Fixture() {
        char tmpl[] = "/tmp/wavestack-window-XXXXXX";
        root = mkdtemp(tmpl);
        setenv("TMPDIR", root.c_str(), 1);
        setenv("WAVESTACK_CONFIG_DIR", root.c_str(), 1);
        host = std::make_unique<TestHost>();
        host->folder = root + "/";
        host->resize(900, 700);
        host->show();
    }
    ~Fixture() {
        host.reset();
        sound.reset();
        std::filesystem::remove_all(root);
    }
    bool WithSound() {
        if (!std::getenv("PULSE_SERVER")) return false;
        sound = std::make_unique<TSoundSetup>(soundLines);
        return sound->Initialise("", host->OutputFormat());
    }
    std::string WriteTrack(const std::string& name, int samples) {
        const std::string path = root + "/" + name;
        wavetest::Write(path, wavetest::Wave(44100, 16, 1, Saw(samples)));
        return path;
    }
    // A window listed in the host, its boxes answered by the fixture.
    TFormTrack* NewWindow(const std::string& caption) {
        auto* w = new TFormTrack(*host, *host);
        w->SetCaption(caption);
        w->SetOkCancelBox([this, w](QWidget*, const QString& text) {
            questions[w].push_back(text.toStdString());
            return answerOk;
        });
        w->SetYesNoCancelBox([this, w](QWidget*, const QString& text) {
            questions[w].push_back(text.toStdString());
            return answerYesNo;
        });
        w->SetSaveDialog([this](QWidget*, const std::string& dir, const std::string& name) {
            saveAsked.emplace_back(dir, name);
            return saveAnswer;
        });
        w->SetErrorBox(
            [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        w->MPanel()->SetErrorBox(
            [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        host->AddChild(w);
        w->SubWindow()->resize(640, 380);
        w->SubWindow()->show();
        return w;
    }
    TFormTrack* Open(const std::string& path) {
        TFormTrack* w = NewWindow(host->NormaliseTrackName(path));
        w->InitialiseTrack(sound ? sound->Device() : nullptr, path, host->OutputFormat(),
                           MakePcmFormat(44100, 16, 1), "00:30:00", "00:00.00000");
        return w;
    }
};

bool Settles(TFormTrack* w, TTrackState state = tsReady, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (w->Track() && w->Track()->TrackState() == state && !w->Track()->InWork()) {
            QCoreApplication::processEvents();
            return true;
        }
    }
    return false;
}

QStringList PanelOrder(TFormTrack* w) {
    QList<TVelBtnBmp*> buttons = w->N_Panel()->findChildren<TVelBtnBmp*>();
    std::sort(buttons.begin(), buttons.end(),
              [](TVelBtnBmp* a, TVelBtnBmp* b) { return a->x() < b->x(); });
    QStringList names;
    for (TVelBtnBmp* button : buttons)
        if (button->isVisibleTo(w)) names << button->objectName();
    return names;
}

QStringList LabelTexts(QWidget* page) {
    QStringList texts;
    for (QLabel* label : page->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

void Leave(QLineEdit* field, QWidget* next) {
    next->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    (void)field;
}

void KeypadKey(QWidget* target, Qt::Key key) {
    QTest::keyClick(target, key, Qt::KeypadModifier);
}

// The controls a panel shows, as their rectangles in the panel.
std::vector<QRect> ShownControls(QWidget* panel) {
    std::vector<QRect> shown;
    for (QObject* child : panel->children())
        if (auto* control = qobject_cast<QWidget*>(child); control && control->isVisible())
            shown.push_back(control->geometry());
    return shown;
}

// None of them overlaps another or reaches past the panel's edge.
bool Unclipped(QWidget* panel) {
    const std::vector<QRect> shown = ShownControls(panel);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (!panel->rect().contains(shown[i])) return false;
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (shown[i].intersects(shown[j])) return false;
    }
    return true;
}

} // namespace

class FormTrackTest : public QObject {
    Q_OBJECT
  private slots:
    void TheMeterUnderTheWaveformTakesTheTracksPeaksOnceAndAClickClearsItsClip() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("meter.wav", 44100));
        QVERIFY(Settles(w));
        TLevelMeterWidget* meter = w->Meter();
        QVERIFY(meter && meter->isVisibleTo(w));
        QCOMPARE(meter->parentWidget(), w->PageControl()->widget(0));
        QVERIFY(meter->mapTo(w, QPoint(0, 0)).y() >=
                w->View()->mapTo(w, QPoint(0, w->View()->height())).y());
        QVERIFY(meter->Ballistics().AtRest());
        w->Track()->LevelMeter().Post({16384, true});
        QVERIFY(w->TickMeter(100) == (TPeak{16384, true}));
        QVERIFY(std::abs(meter->Ballistics().LevelDb() + 6.0206f) < 1e-3f);
        QVERIFY(meter->Ballistics().Clipped());
        QVERIFY(w->TickMeter(100) == TPeak{}); // taken once
        QTest::mouseClick(meter, Qt::LeftButton);
        QVERIFY(!meter->Ballistics().Clipped());
        QVERIFY(!meter->Ballistics().AtRest()); // the bar and the hold still show the peak
    }

    void TheWindowShowsItsPartsAndFollowsTheLoadedTrack() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        // At once: loading, nothing of the track usable yet.
        QVERIFY(!w->RecordBtn()->isEnabled());
        QVERIFY(Settles(w));

        QCOMPARE(PanelOrder(w),
                 QStringList({"OkBtn", "CancelBtn", "SaveBtn", "RewindBtn", "StopBtn", "PlayBtn",
                              "ForwardBtn", "RecordBtn", "MixBtn", "MuteBtn", "HelpBtn"}));
        QCOMPARE(w->OkBtn()->Hint(), QString("Ok - Save Track"));
        QCOMPARE(w->CancelBtn()->Hint(), QString("Cancel -Remove track from Song"));
        QCOMPARE(w->ForwardBtn()->Hint(), QString("Fast Forward"));
        QCOMPARE(w->ForwardBtn()->toolTip(), QString("Fast Forward"));
        QCOMPARE(w->SaveAsBtn()->Hint(), QString("Save As Dialog "));
        QCOMPARE(w->WaveBtn()->Hint(), QString("Open wave format dialog"));
        QCOMPARE(w->DefaultBtn()->Hint(), QString("Reset to Defaults"));
        QCOMPARE(w->FileNameEdit()->toolTip(), QString("Click Save to change"));
        QCOMPARE(w->WaveDesc()->toolTip(), QString("Click Open to Change"));
        QCOMPARE(w->StartsAt()->toolTip(),
                 QString("Starts at  (Minutes.Seconds.Fractional Seconds)"));
        QCOMPARE(w->Length()->toolTip(),
                 QString("Play Length  (Minutes.Seconds.Fractional Seconds)"));
        QCOMPARE(w->StartsAt()->maxLength(), 11);

        QTabWidget* pages = w->PageControl();
        QCOMPARE(pages->tabText(0), QString("Track"));
        QCOMPARE(pages->tabText(1), QString("Properties"));
        QCOMPARE(pages->tabText(2), QString("Pan/Volume"));
        QCOMPARE(w->HelpContext(), 3000);
        pages->setCurrentIndex(1);
        QCOMPARE(w->HelpContext(), 3050);
        pages->setCurrentIndex(2);
        QCOMPARE(w->HelpContext(), 3060);
        const QStringList panLabels = LabelTexts(pages->widget(2));
        for (const char* text : {"Left (-100%)", "Pan", "Right (100%)", "Silence (-100%)", "Volume",
                                 "Loudest ( 100%)"})
            QVERIFY2(panLabels.contains(text), text);
        QVERIFY(LabelTexts(pages->widget(1)).contains("Starts At"));
        QCOMPARE(w->PanBar()->Min(), -100);
        QCOMPARE(w->VolumeBar()->Max(), 100);
        QCOMPARE(w->PanBar()->Frequency(), 5);
        QCOMPARE(w->View()->SelectedColor(), 16777215);
        const Qt::WindowFlags flags = w->SubWindow()->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

        // Ready: the Properties page shows the file, and the table's Ready row holds.
        QCOMPARE(w->FileNameEdit()->text(), QString::fromStdString(w->Caption()));
        QCOMPARE(w->WaveDesc()->text(), QString("16 bit Mono @44100Hz"));
        QCOMPARE(w->Length()->TimeText(), QString("00:10.00000"));
        QCOMPARE(w->LengthInBytes()->text(), QString("File Size is 0.84 M"));
        QCOMPARE(w->IconName(), std::string("RWAVE"));
        QVERIFY(w->OkBtn()->isEnabled() && w->PlayBtn()->isEnabled());
        QVERIFY(w->ForwardBtn()->isEnabled());
        QVERIFY(!w->RewindBtn()->isEnabled()); // at the start already
        QVERIFY(!w->SaveBtn()->isEnabled());   // nothing changed
        QVERIFY(w->CloseEnabled());
        QVERIFY(!w->RecordBtn()->isEnabled() && !w->MixBtn()->isEnabled());
        // A selection made in the waveform enables Record and Effects.
        pages->setCurrentIndex(0);
        w->View()->Surface()->setFocus();
        QTest::keyClick(w->View()->Surface(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(w->Track()->HasSelection);
        QTRY_VERIFY(w->RecordBtn()->isEnabled());
        QVERIFY(w->MixBtn()->isEnabled());
        // What a user sees: the window in its main window, a stretch selected, the play marker
        // inside it; then each page.
        if (const char* shot = std::getenv("FORM_TRACK_SHOT")) {
            w->Track()->SelStart = 220500;
            w->Track()->SelEnd = 551250;
            w->Track()->PlayPosition = 330750;
            w->View()->ApplyMarkers();
            w->View()->UpdatePositionControls();
            QCoreApplication::processEvents();
            const QString base = QString::fromLocal8Bit(shot);
            QVERIFY(f.host->grab().save(base + "-track.png"));
            pages->setCurrentIndex(1);
            QVERIFY(w->SubWindow()->grab().save(base + "-properties.png"));
            pages->setCurrentIndex(2);
            QVERIFY(w->SubWindow()->grab().save(base + "-panvolume.png"));
            pages->setCurrentIndex(0);
        }
        // Busy: only Stop; the close command goes with it.
        w->Track()->SetState(tsBusy);
        QVERIFY(!w->OkBtn()->isEnabled() && !w->CancelBtn()->isEnabled());
        QVERIFY(w->StopBtn()->isEnabled() && !w->PlayBtn()->isEnabled());
        QVERIFY(!w->CloseEnabled());
        QCOMPARE(w->IconName(), std::string("MWAVE"));
        QVERIFY(!w->CloseWindow());
        w->Track()->SetState(tsReady);
        QCOMPARE(w->IconName(), std::string("RWAVE"));
    }

    void ANarrowWindowShowsFewerControlsNeverOverlappingOnes() {
        Fixture f;
        auto* w = new TFormTrack(*f.host, *f.host);
        f.host->AddChild(w);
        w->SubWindow()->show();
        // A new window has room for its rows and a waveform.
        QCOMPARE(w->SubWindow()->size(), QSize(600, 280));
        auto* positions = w->findChild<TPositionPanel*>();
        QVERIFY(positions);
        QTRY_VERIFY(positions->PlayTime()->isVisible());
        const std::size_t allTop = ShownControls(w->N_Panel()).size();
        const std::size_t allPositions = ShownControls(positions).size();
        QCOMPARE(allPositions, 11u); // three positions, six nudges, two separators
        for (int width : {420, 300, 200, 120}) {
            w->SubWindow()->resize(width, 280);
            QCoreApplication::processEvents();
            QVERIFY2(Unclipped(w->N_Panel()), qPrintable(QString::number(width)));
            QVERIFY2(Unclipped(positions), qPrintable(QString::number(width)));
            QVERIFY(ShownControls(positions).size() < allPositions);
        }
        // The play position outlasts the others while it fits.
        w->SubWindow()->resize(120, 280);
        QCoreApplication::processEvents();
        QVERIFY(positions->PlayTime()->isVisible());
        QVERIFY(!positions->FSTime()->isVisible());
        // Wide again, everything is back.
        w->SubWindow()->resize(640, 280);
        QCoreApplication::processEvents();
        QCOMPARE(ShownControls(w->N_Panel()).size(), allTop);
        QCOMPARE(ShownControls(positions).size(), allPositions);
    }

    void TheLengthAsksBeforeItTruncatesOrExtends() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        w->PageControl()->setCurrentIndex(1);
        TVelTimeEdit* length = w->Length();
        length->setFocus();
        length->setCursorPosition(0);
        QTest::keyClicks(length, "0005");
        QCOMPARE(length->TimeText(), QString("00:05.00000"));
        QCOMPARE(w->LengthInBytes()->text(), QString("File Size is 0.42 M")); // while typing
        Leave(length, w->StartsAt());
        QCOMPARE(f.questions[w], std::vector<std::string>({"Truncate Track : ten.wav from "
                                                           "00:10.00000 to 00:05.00000 (Data "
                                                           "will be lost)."}));
        QVERIFY(!length->isEnabled()); // until the change ends
        QVERIFY(Settles(w));
        QCOMPARE(w->Track()->DataLength, 441000);
        QCOMPARE(length->TimeText(), QString("00:05.00000"));
        QVERIFY(length->isEnabled());
        QVERIFY(w->SaveBtn()->isEnabled()); // the change made the track modified

        // The current length asks nothing.
        length->setFocus();
        Leave(length, w->StartsAt());
        QCOMPARE(f.questions[w].size(), 1u);

        // Refused: the text and the size go back, the track stays.
        f.answerOk = false;
        length->setFocus();
        length->setCursorPosition(0);
        QTest::keyClicks(length, "0020");
        QCOMPARE(w->LengthInBytes()->text(), QString("File Size is 1.68 M"));
        Leave(length, w->StartsAt());
        QCOMPARE(f.questions[w].back(), std::string("Extend Track : ten.wav from 00:05.00000 to "
                                                    "00:20.00000 (New data will be silent)."));
        QCOMPARE(length->TimeText(), QString("00:05.00000"));
        QCOMPARE(w->LengthInBytes()->text(), QString("File Size is 0.42 M"));
        QCOMPARE(w->Track()->TrackState(), tsReady);
        QCOMPARE(w->Track()->DataLength, 441000);

        // OK keeps the shorter track in its file and puts the window aside.
        const std::string file = w->Track()->WaveFileName();
        const int refreshes = f.host->refreshes;
        w->OkBtn()->PerformClick();
        QVERIFY(!w->Track()->Modified());
        QCOMPARE(std::filesystem::file_size(file), 46u + 441000u);
        QVERIFY(w->SubWindow()->isMinimized());
        QVERIFY(w->Minimized());
        QVERIFY(f.host->refreshes > refreshes);
        QCOMPARE(f.host->ChildCount(), 1); // still in the song
    }

    void AnOpenEffectsDialogHoldsItsControlsAndFollowsTheWindow() {
        Fixture f;
        TFormTrack::SetEffectsDialogFactory(
            [](TFormVelM& main, TFormTrack&, TVelTrack&) { return new FakeEffects(main); });
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        w->Track()->SelectAll();
        QTRY_VERIFY(w->MixBtn()->isEnabled());
        w->SubWindow()->move(10, 20);
        w->MixBtn()->PerformClick();
        auto* dialog = static_cast<FakeEffects*>(w->EffectsDialog());
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QString::fromStdString("Add Effects to " + w->Caption()));
        QCOMPARE(w->Track()->EffectState.load(), uint8_t(esReady));
        for (QWidget* held : std::initializer_list<QWidget*>{
                 w->WaveBtn(), w->SaveAsBtn(), w->Length(), w->StartsAt(), w->MixBtn()})
            QVERIFY2(!held->isEnabled(), qPrintable(held->objectName()));
        QVERIFY(w->PlayBtn()->isEnabled());
        // Under the window: its top left at the window's bottom left.
        const QRect frame = w->SubWindow()->geometry();
        QCOMPARE(dialog->SubWindow()->pos(), QPoint(frame.left(), frame.top() + frame.height()));
        w->SubWindow()->move(30, 0);
        QCOMPARE(dialog->SubWindow()->pos(), QPoint(30, frame.height()));
        // A window too tall for the space left keeps the dialog where it is.
        w->SubWindow()->resize(640, f.host->MdiArea()->viewport()->height() + 10);
        w->SubWindow()->move(40, 0);
        QCOMPARE(dialog->SubWindow()->pos(), QPoint(30, frame.height()));
        // The dialog follows every state change.
        const int before = dialog->refreshes;
        w->Track()->SetState(tsReady);
        QVERIFY(dialog->refreshes > before);

        dialog->SubWindow()->close();
        QTRY_VERIFY(!w->EffectsDialog());
        QCOMPARE(w->Track()->EffectState.load(), uint8_t(esNoDialog));
        QVERIFY(w->WaveBtn()->isEnabled() && w->Length()->isEnabled() && w->MixBtn()->isEnabled());
        // Closing the track window takes its dialog along.
        w->MixBtn()->PerformClick();
        QVERIFY(w->EffectsDialog());
        QCOMPARE(f.host->ChildCount(), 2);
        QVERIFY(w->CloseWindow());
        QTRY_COMPARE(f.host->ChildCount(), 0);
        TFormTrack::SetEffectsDialogFactory({});
    }

    void TheCloseQueryAsksWhatTheTrackNeeds() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        const std::string working = w->Track()->FileName;
        const auto workingSize = std::filesystem::file_size(working);

        // Refused removal: the window stays.
        f.answerOk = false;
        QVERIFY(!w->CloseWindow());
        QCOMPARE(f.questions[w],
                 std::vector<std::string>({"Remove Track: ten.wav From Song: Song1 ?"}));
        QCOMPARE(f.host->ChildCount(), 1);

        // A modified track: the save question; Cancel keeps it open, No lets it go.
        f.answerOk = true;
        w->Track()->SelStart = 0;
        w->Track()->SelEnd = 88200;
        w->Track()->SetHasSelection(true);
        w->Track()->Delete();
        QVERIFY(Settles(w));
        const std::string state = w->Track()->FileName; // a temporary state now
        QVERIFY(std::filesystem::exists(state));
        f.answerYesNo = TYesNoCancel::Cancel;
        QVERIFY(!w->CloseWindow());
        QCOMPARE(f.questions[w].back(), std::string("Save changes to Track: ten.wav ?"));
        f.answerYesNo = TYesNoCancel::No;
        const int refreshes = f.host->refreshes;
        QVERIFY(w->CloseWindow());
        QTRY_COMPARE(f.host->ChildCount(), 0);
        QVERIFY(f.host->refreshes > refreshes);
        QVERIFY(!std::filesystem::exists(state));  // the states went with the track
        QVERIFY(std::filesystem::exists(working)); // the user's file did not
        QCOMPARE(std::filesystem::file_size(working), workingSize);

        // "Closing..." asks nothing, and neither does closing the whole song.
        TFormTrack* closing = f.Open(f.WriteTrack("two.wav", 88200));
        QVERIFY(Settles(closing));
        closing->SetCaption("Closing...");
        QVERIFY(closing->CloseWindow());
        QVERIFY(f.questions[closing].empty());
        TFormTrack* third = f.Open(f.WriteTrack("three.wav", 88200));
        QVERIFY(Settles(third));
        f.host->songClosing = true;
        QVERIFY(third->CloseWindow());
        QVERIFY(f.questions[third].empty());
    }

    void TheKeypadAndTheWaveformKeys() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        QWidget* surface = w->View()->Surface();
        surface->setFocus();
        KeypadKey(surface, Qt::Key_4); // at the start: Rewind is disabled
        QVERIFY(f.host->panel.Saw(3, "Rewind button not enabled"));
        f.host->playAllEnabled = false;
        KeypadKey(surface, Qt::Key_6);
        QVERIFY(f.host->panel.Saw(3, "Play button not enabled"));
        f.host->playAllEnabled = true;
        KeypadKey(surface, Qt::Key_6);
        QCOMPARE(f.host->playAlls, 1);
        KeypadKey(surface, Qt::Key_0);
        QCOMPARE(f.host->stopAlls, 1);
        KeypadKey(surface, Qt::Key_Plus);
        QVERIFY(f.host->panel.Saw(3, "Record button not enabled"));
        // Before the controls: a time field with the focus does not get the digit.
        w->PageControl()->setCurrentIndex(1);
        w->StartsAt()->setFocus();
        w->StartsAt()->setCursorPosition(0);
        KeypadKey(w->StartsAt(), Qt::Key_6);
        QCOMPARE(f.host->playAlls, 2);
        QCOMPARE(w->StartsAt()->TimeText(), QString("00:00.00000"));
        // The standard keys belong to the waveform: Ctrl+A in a time field selects nothing.
        QTest::keyClick(w->StartsAt(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(!w->Track()->HasSelection);

        w->PageControl()->setCurrentIndex(0);
        surface->setFocus();
        QTest::keyClick(surface, Qt::Key_End);
        QCOMPARE(w->Track()->PlayPosition.load(), 882000);
        QVERIFY(w->RewindBtn()->isEnabled() && !w->ForwardBtn()->isEnabled());
        QTest::keyClick(surface, Qt::Key_Home);
        QCOMPARE(w->Track()->PlayPosition.load(), 0);
        w->Track()->SelStart = 88200;
        w->Track()->SelEnd = 176400;
        w->Track()->SetHasSelection(true);
        QTest::keyClick(surface, Qt::Key_Delete);
        QVERIFY(Settles(w));
        QCOMPARE(w->Track()->DataLength, 882000 - 88200);
        QTest::keyClick(surface, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(Settles(w));
        QCOMPARE(w->Track()->DataLength, 882000);
        // Disabled items stay disabled from the keyboard: nothing to undo now.
        QTest::keyClick(surface, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->Track()->TrackState(), tsReady);
        QCOMPARE(w->Track()->UndoFiles.size(), 1u);
    }

    void StartPanVolumeAndDampen() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        w->PageControl()->setCurrentIndex(1);
        TVelTimeEdit* starts = w->StartsAt();
        starts->setFocus();
        starts->setCursorPosition(3);
        const int refreshes = f.host->refreshes;
        QTest::keyClicks(starts, "02");
        QCOMPARE(w->Track()->StartOffset, 2 * 88200); // each keystroke applies
        QCOMPARE(w->Track()->PlayPosition.load(), 2 * 88200);
        QCOMPARE(w->StartsAtText(), std::string("00:02.00000"));
        QVERIFY(f.host->refreshes >= refreshes + 2);

        w->PageControl()->setCurrentIndex(2);
        QVERIFY(!w->DefaultBtn()->isEnabled());
        w->PanBar()->Bar()->setValue(-40); // as a drag
        QCOMPARE(w->Track()->Pan(), -40);
        QCOMPARE(w->PanValue(), -40);
        QVERIFY(w->DefaultBtn()->isEnabled());
        w->SetVolumePosition(25);
        QCOMPARE(w->Track()->Volume(), 25);
        QCOMPARE(w->VolumeBar()->Position(), 25);
        w->DefaultBtn()->PerformClick();
        QCOMPARE(w->Track()->Pan(), 0);
        QCOMPARE(w->Track()->Volume(), 0);
        QCOMPARE(w->PanBar()->Position(), 0);
        QVERIFY(!w->DefaultBtn()->isEnabled());
        w->SetDampen(true);
        QVERIFY(w->Track()->Dampen());
        QVERIFY(!w->VolumeBar()->isEnabled());
        // Mute: caption, picture and icon.
        w->MuteBtn()->PerformClick();
        QVERIFY(w->Muted());
        QCOMPARE(w->MuteBtn()->Caption(), QString("UnMute"));
        QVERIFY(w->MuteBtn()->UseBmp2());
        QCOMPARE(w->IconName(), std::string("MWAVE"));
        w->SetMuted(false);
        QCOMPARE(w->MuteBtn()->Caption(), QString("Mute"));
        QCOMPARE(w->IconName(), std::string("RWAVE"));
    }

    void ANewTrackIsSavedUnderTheChosenName() {
        Fixture f;
        // Another window shows the chosen file: it goes first.
        const std::string target = f.root + "/take.wav";
        f.WriteTrack("take.wav", 1000);
        TFormTrack* other = f.Open(target);
        QVERIFY(Settles(other));

        TFormTrack* w = f.NewWindow("Track 1");
        w->InitialiseTrack(nullptr, "", f.host->OutputFormat(), MakePcmFormat(22050, 8, 1),
                           "00:02.00000", "00:01.00000");
        QVERIFY(Settles(w));
        QCOMPARE(w->Track()->DataLength, 44100);
        QCOMPARE(w->Track()->StartOffset, 22050);
        QCOMPARE(w->WaveDesc()->text(), QString("8 bit Mono @22050Hz"));

        // A folder that does not exist: the save fails and the caption stays.
        f.saveAnswer = f.root + "/missing/take.wav";
        QVERIFY(!w->SaveTrack());
        QCOMPARE(w->Caption(), std::string("Track 1"));
        QCOMPARE(f.saveAsked.back(), std::make_pair(f.root + "/", std::string("Track 1")));

        f.saveAnswer = target;
        const int songSaves = f.host->songSaves;
        QVERIFY(w->SaveTrack());
        QCOMPARE(w->Caption(), "take.wav (" + f.root + "/)");
        QCOMPARE(w->FileNameEdit()->text(), QString::fromStdString(w->Caption()));
        QCOMPARE(f.host->songSaves, songSaves + 1);
        QTRY_COMPARE(f.host->ChildCount(), 1);
        QCOMPARE(f.host->Window(0), w);
        QCOMPARE(std::filesystem::file_size(target), 46u + 44100u); // an 18-byte format chunk
        QVERIFY(!w->Track()->Modified());
        // Saving again goes to the same file without a dialog.
        const std::size_t asked = f.saveAsked.size();
        w->SaveBtn()->PerformClick();
        QCOMPARE(f.saveAsked.size(), asked);
    }

    void TheFormatButtonConvertsAndDisablesItself() {
        Fixture f;
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        WAVEFORMATEX offered{};
        w->SetFormatDialog([&](QWidget*, const QString& title, const WAVEFORMATEX& current) {
            offered = current;
            [&] { QCOMPARE(title, QString("Choose a Wave Format for Conversion")); }();
            return std::optional<WAVEFORMATEX>(MakePcmFormat(22050, 16, 2));
        });
        w->WaveBtn()->PerformClick();
        QVERIFY(!w->WaveBtn()->isEnabled());
        QVERIFY(Settles(w));
        QCOMPARE(offered.nSamplesPerSec, 44100u);
        QCOMPARE(w->WaveDesc()->text(), QString("16 bit Stereo @22050Hz"));
        QCOMPARE(w->Track()->DataLength, 882000); // half the rate, twice the channels
        QCOMPARE(w->Length()->TimeText(), QString("00:10.00000"));
        QVERIFY(w->WaveBtn()->isEnabled());
    }

    void AMutedWindowPlaysUnmutedAndItsIconFollows() {
        Fixture f;
        if (!f.WithSound()) QSKIP("no private sound server");
        TFormTrack* w = f.Open(f.WriteTrack("ten.wav", 441000));
        QVERIFY(Settles(w));
        w->SetMuted(true);
        QCOMPARE(w->IconName(), std::string("MWAVE"));
        w->PlayBtn()->PerformClick();
        QVERIFY(!w->Muted());
        QTRY_COMPARE_WITH_TIMEOUT(w->IconName(), std::string("GWAVE"), 5000);
        QVERIFY(w->StopBtn()->isEnabled() && !w->OkBtn()->isEnabled());
        const int idles = f.host->idles;
        w->StopBtn()->PerformClick();
        QCOMPARE(f.host->idles, idles + 1);
        QVERIFY(Settles(w));
        QCOMPARE(w->IconName(), std::string("RWAVE"));
    }

    void ATakeIsDrawnWhileItRecords() {
        Fixture f;
        if (!f.WithSound()) QSKIP("no private sound server");
        const std::vector<TWaveInCaps> inputs = EnumerateInputDevices();
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].productName == "Test_Mic") f.host->recorder = static_cast<int32_t>(i);
        QVERIFY(f.host->recorder >= 0);
        TFormTrack* w = f.Open(f.WriteTrack("five.wav", 220500));
        QVERIFY(Settles(w));
        QVERIFY(!w->RecordBtn()->isEnabled()); // no selection yet
        TVelTrack& track = *w->Track();
        track.SelStart = 88200;
        track.SelEnd = 264600; // two seconds from the first
        track.SetHasSelection(true);
        QTRY_VERIFY(w->RecordBtn()->isEnabled());
        w->RecordBtn()->PerformClick();
        QTRY_COMPARE_WITH_TIMEOUT(w->IconName(), std::string("GWAVE"), 5000);
        QCOMPARE(track.TrackState(), tsRecording);
        // While it records: columns in the overlay, the recording marker moving on.
        QTRY_VERIFY_WITH_TIMEOUT(w->View()->Pictures().HasOverlay(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(track.RecordingMarker() > 88200 + 44100, 3000);
        QVERIFY(track.RecordingMarker() <= 264600);
        if (const char* shot = std::getenv("FORM_TRACK_SHOT"))
            QVERIFY(w->SubWindow()->grab().save(QString::fromLocal8Bit(shot) + "-recording.png"));
        QVERIFY(Settles(w, tsReady, 10000));
        // The take's redraw replaces the overlay with the picture of what was recorded.
        QVERIFY(!w->View()->Pictures().HasOverlay());
        QCOMPARE(track.RecordingMarker(), -1);
        QCOMPARE(track.DataLength, 441000);
        QCOMPARE(w->IconName(), std::string("RWAVE"));
        QVERIFY(w->SaveBtn()->isEnabled());
    }
};

QTEST_MAIN(FormTrackTest)
#include "FormTrackTest.moc"
