// The effects dialog's wiring, offscreen, on a real track in a real track window of a main
// window of the test's own, with the private sound server of tests/pulse/server.sh when it
// runs. The rules behind the controls are tested in tests/effects; here: that the dialog asks
// them and applies the answers, drives the track, and keeps its presets and last settings
// in the files as a user would find them.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabWidget>
#include <QTest>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "effects/dialog/FormMixer.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "track/view/TrackWindowHost.h"
#include "ui/core/VelCriticalSection.h"
#include "ui/widgets/FormVelM.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"
#include "ui/widgets/VelTrackBar.h"

namespace {

struct NoSink : TMessageSink {
    void AddMessage(uint8_t, const std::string&) override {}
};

// The main window's side of the song, as little as a track window needs.
struct TestHost : TFormVelM, TTrackWindowHost {
    NoSink panel;
    TVELCriticalSection fileLock;
    std::string folder;
    void RefreshTransport() override {}
    void SetTransportIdle() override {}
    bool PlayAllEnabled() override { return false; }
    void PlayAll() override {}
    bool StopAllEnabled() override { return false; }
    void StopAll() override {}
    bool RecordEnabled() override { return false; }
    void Record() override {}
    void EnableSongSave() override {}
    std::string NormaliseTrackName(const std::string& path) override { return path; }
    void CloseWindowShowing(const std::string&, TFormTrack&) override {}
    bool IsFileOpenAsTrack(const std::string&) override { return false; }
    std::string SongFolder() override { return folder; }
    bool SongClosing() override { return false; }
    int32_t RecorderNumber() override { return -1; }
    TVELCriticalSection* FileLock() override { return &fileLock; }
    WAVEFORMATEX OutputFormat() override { return MakePcmFormat(44100, 16, 2); }
    bool Dampen() override { return false; }
    std::string MainCaption() override { return "Song1"; }
    TMessageSink& MainPanel() override { return panel; }
    TMainClientFacts ClientFacts() override {
        return {false, MdiArea()->viewport()->height(), 0, 0};
    }
};

std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of section [name] up to the next section, as they stand in the file.
std::string SectionText(const std::string& file, const std::string& name) {
    const std::size_t at = file.find("[" + name + "]");
    if (at == std::string::npos) return "";
    const std::size_t end = file.find("\n[", at + 1);
    return file.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
}

// The payload of a wave file's "data" chunk, wherever it lies.
wavetest::Bytes WaveData(const std::string& path) {
    const wavetest::Bytes b = wavetest::Read(path);
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size =
            b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | static_cast<uint32_t>(b[at + 7]) << 24;
        if (std::string(b.begin() + at, b.begin() + at + 4) == "data")
            return wavetest::Bytes(b.begin() + at + 8,
                                   b.begin() + std::min<std::size_t>(b.size(), at + 8 + size));
        at += 8 + size + (size & 1);
    }
    return {};
}

// 16-bit mono at 44100 Hz, a saw loud enough that every effect changes it.
wavetest::Bytes Saw(int samples) {
    wavetest::Bytes data;
    for (int i = 0; i < samples; ++i)
        wavetest::PutLE(data, static_cast<uint16_t>(static_cast<int16_t>((i % 441) * 120 - 26460)),
                        2);
    return data;
}

struct Fixture {
    std::string root, input;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<TSoundSetup> sound;
    NoSink soundLines;
    TFormTrack* window = nullptr;
    std::vector<std::string> saveAnswers; // the Save Preset dialog's answers, in order

    explicit Fixture(int samples = 44100, const std::string& presets = "") {
        char tmpl[] = "/tmp/wavestack-mixer-XXXXXX";
        root = mkdtemp(tmpl);
        setenv("TMPDIR", root.c_str(), 1);
        setenv("WAVESTACK_CONFIG_DIR", root.c_str(), 1);
        if (!presets.empty()) std::ofstream(root + "/EffectsPreset.Ini") << presets;
        host = std::make_unique<TestHost>();
        host->folder = root + "/";
        host->resize(900, 800);
        host->show();
        if (std::getenv("PULSE_SERVER")) {
            sound = std::make_unique<TSoundSetup>(soundLines);
            if (!sound->Initialise("", host->OutputFormat())) sound.reset();
        }
        input = root + "/in.wav";
        wavetest::Write(input, wavetest::Wave(44100, 16, 1, Saw(samples)));
        window = new TFormTrack(*host, *host);
        window->SetCaption(input);
        host->AddChild(window);
        window->SubWindow()->show();
        window->InitialiseTrack(sound ? sound->Device() : nullptr, input, host->OutputFormat(),
                                MakePcmFormat(44100, 16, 1), "00:30:00", "00:00.00000");
        TFormTrack::SetEffectsDialogFactory([](TFormVelM& main, TFormTrack& w, TVelTrack& t) {
            return new TFormMixer(main, w, t);
        });
        TFormMixer::SetOrganizeDialog(
            [](QWidget*, const QString& caption, int help,
               const std::vector<std::string>& names) -> std::optional<std::vector<std::string>> {
                if (caption != "Organize Presets" || help != 4020) return std::nullopt;
                return std::vector<std::string>(names.rbegin(), names.rend());
            });
    }
    ~Fixture() {
        TFormTrack::SetEffectsDialogFactory({});
        host.reset();
        sound.reset();
        std::filesystem::remove_all(root);
    }
    TVelTrack& Track() const { return *window->Track(); }
    uint8_t E() const { return Track().EffectState.load(); }
    bool Settles(int ms = 20000) const {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (Track().TrackState() == tsReady && !Track().InWork() && E() != esRunning) {
                QCoreApplication::processEvents();
                return true;
            }
        }
        return false;
    }
    TFormMixer* Open() {
        if (!Settles()) return nullptr;
        Track().SelectAll();
        QCoreApplication::processEvents();
        window->MixBtn()->PerformClick();
        auto* dialog = qobject_cast<TFormMixer*>(window->EffectsDialog());
        if (!dialog) return nullptr;
        dialog->SetSavePresetDialog([this](QWidget*, const QString&) -> std::optional<std::string> {
            if (saveAnswers.empty()) return std::nullopt;
            std::string name = saveAnswers.front();
            saveAnswers.erase(saveAnswers.begin());
            return name;
        });
        QCoreApplication::processEvents();
        return dialog;
    }
    bool Closed() const {
        QElapsedTimer timer;
        timer.start();
        while (window->EffectsDialog() && timer.elapsed() < 5000)
            QTest::qWait(10); // deletes what was closed, as an event loop would
        return !window->EffectsDialog();
    }
    std::string Presets() const { return Text(root + "/EffectsPreset.Ini"); }
    std::string Settings() const { return Text(root + "/wavestack.TXT"); }
    // The command line's effect on the same file and selection.
    wavetest::Bytes Cli(const std::string& effect) const {
        const std::string out = root + "/cli.wav";
        const std::string command = std::string("TMPDIR=") + root +
                                    " WAVESTACK_CONFIG_DIR=" + root + " " + WAVESTACK_CLI +
                                    " --quiet effect " + input + " -o " + out +
                                    " --sel 0:" + std::to_string(Track().DataLength) + " " + effect;
        if (std::system(command.c_str()) != 0) return {};
        return WaveData(out);
    }
};

TVelTrackBar* Bar(QWidget* dialog, const char* name) {
    return dialog->findChild<TVelTrackBar*>(QString::fromLatin1(name));
}
QComboBox* List(QWidget* dialog, const char* name) {
    return dialog->findChild<QComboBox*>(QString::fromLatin1(name));
}
TVelBtnBmp* Button(QWidget* dialog, const char* name) {
    return dialog->findChild<TVelBtnBmp*>(QString::fromLatin1(name));
}
bool Said(TFormMixer* dialog, const std::string& text) {
    for (const std::string& line : dialog->MPanel()->Log().Lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}
// A click on a signed slider's face, above its bar.
void ClickFace(TVelTrackBar* bar) {
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(6, 6));
}
// The colour the page shows at (x, y) or the pixel above: a 2-pixel line covers one of them.
bool Shows(QWidget* page, int x, int y, QColor colour) {
    const QImage image = page->grab().toImage();
    return image.pixelColor(x, y) == colour || image.pixelColor(x, y - 1) == colour;
}
void Shot(QWidget* dialog, const QString& name) {
    if (const char* dir = std::getenv("MIXER_SHOT"))
        QVERIFY(
            dialog->parentWidget()->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png"));
}

const QColor kGreen(0, 128, 0), kRed(255, 0, 0);

} // namespace

class MixerDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void AFirstStartShowsTheStartValuesAndEachApplyCanBeUndone() {
        Fixture f;
        TFormMixer* d = f.Open();
        QVERIFY(d);
        QCOMPARE(d->windowTitle(), QString::fromStdString("Add Effects to " + f.input));
        QCOMPARE(f.E(), uint8_t(esReady));
        QCOMPARE(d->PageControl()->currentIndex(), 1);
        QCOMPARE(d->HelpContext(), 4040);
        for (auto [name, value] : {std::pair{"DelayBar", 250},
                                   {"DelayVBar", 125},
                                   {"DelayFreqBar", 10},
                                   {"DelayFeedBackBar", 50},
                                   {"DelayDryBar", 50},
                                   {"DelayWetBar", 50},
                                   {"FadeLeftBar", 100},
                                   {"FadeRightBar", 0},
                                   {"EqDryBar", 50},
                                   {"EqE9Bar", 50},
                                   {"DistUThresholdBar", 20},
                                   {"DistLThresholdBar", 20},
                                   {"DistClampBar", 20},
                                   {"DistWetBar", 50}})
            QVERIFY2(Bar(d, name)->Position() == value, name);
        QCOMPARE(Bar(d, "DelayBar")->Box()->text(), QString("0.0250"));
        QCOMPARE(Bar(d, "DelayFreqBar")->Box()->text(), QString("1.0"));
        QCOMPARE(List(d, "DelayTypeList")->currentText(), QString("(None)"));
        QVERIFY(!Bar(d, "DelayFreqBar")->isVisible() && !Bar(d, "DelayVBar")->isVisible());
        QCOMPARE(Bar(d, "DelayWetBar")->toolTip(), QString("Click to invert"));
        QCOMPARE(Bar(d, "DelayFreqBar")->TrackHint(), QString("Clck or drag to change"));
        QVERIFY(List(d, "EqPresetLIst") && !Button(d, "DeleteEqPresetBtn")->isEnabled());

        // Each page: Apply, what it locks, Undo back to the bytes before.
        const wavetest::Bytes before = WaveData(f.Track().FileName);
        const QStringList names = {"equalizer", "delay", "fade", "distortion"};
        for (int page : {0, 1, 2, 3}) {
            d->PageControl()->setCurrentIndex(page);
            constexpr std::array kHelp{4030, 4040, 4060, 4070};
            QCOMPARE(d->HelpContext(), kHelp[page]);
            Shot(d, names[page] + "-before");
            d->MixBtn()->PerformClick();
            QVERIFY(f.Settles());
            QCOMPARE(f.E(), uint8_t(esApplied));
            QVERIFY(!d->MixBtn()->isEnabled() && d->UnMixBtn()->isEnabled());
            QVERIFY(d->CancelBtn()->isEnabled() && d->OkBtn()->isEnabled());
            for (const char* locked : {"EqE0Bar", "DelayWetBar", "FadeLeftBar", "DistClampBar"})
                QVERIFY2(!Bar(d, locked)->isEnabled(), locked);
            QVERIFY(!List(d, "DelayPresetList")->isEnabled());
            QVERIFY(!List(d, "DelayTypeList")->isEnabled());
            QVERIFY(Button(d, "SaveDelayPresetBtn")->isEnabled());
            const wavetest::Bytes applied = WaveData(f.Track().FileName);
            QCOMPARE(applied.size(), before.size());
            QVERIFY(applied != before);
            // The command line gives the same bytes for the same values.
            if (page == 1) QVERIFY(applied == f.Cli("--delay 250,50,50,50,0,10,125"));
            if (page == 2) QVERIFY(applied == f.Cli("--fade 100,0"));
            Shot(d, names[page] + "-after");
            // Locked: another page and inverting are refused with their messages.
            d->PageControl()->setCurrentIndex((page + 1) % 4);
            QCOMPARE(d->PageControl()->currentIndex(), page);
            QVERIFY(Said(d, "You must Undo the effect before changing pages"));
            if (page == 1) {
                ClickFace(Bar(d, "DelayWetBar"));
                QVERIFY(Said(d, "You must Undo the effect before inverting"));
                QCOMPARE(Bar(d, "DelayWetBar")->Caption(), QString("Wet+"));
                QCOMPARE(Bar(d, "DelayWetBar")->Position(), 50);
            }
            d->UnMixBtn()->PerformClick();
            QVERIFY(f.Settles());
            QCOMPARE(f.E(), uint8_t(esReady));
            QVERIFY(WaveData(f.Track().FileName) == before);
            QVERIFY(d->MixBtn()->isEnabled() && !d->UnMixBtn()->isEnabled());
            QVERIFY(Bar(d, "DelayWetBar")->isEnabled() && List(d, "FadePresetList")->isEnabled());
        }
    }

    void CancelUndoesOkKeepsAndAClosedDialogLeavesNoEffectState() {
        Fixture f(44100 * 60);
        // Cancel with an applied effect undoes it and closes.
        TFormMixer* d = f.Open();
        QVERIFY(d);
        const wavetest::Bytes before = WaveData(f.Track().FileName);
        const std::string settings = f.Settings();
        d->PageControl()->setCurrentIndex(3);
        d->MixBtn()->PerformClick();
        QVERIFY(f.Settles());
        QCOMPARE(f.E(), uint8_t(esApplied));
        d->CancelBtn()->PerformClick();
        QVERIFY(f.Closed());
        QVERIFY(f.Settles());
        QCOMPARE(f.E(), uint8_t(esNoDialog));
        QVERIFY(WaveData(f.Track().FileName) == before);
        // Cancel without one just closes; neither Cancel wrote the settings file.
        QVERIFY((d = f.Open()));
        d->CancelBtn()->PerformClick();
        QVERIFY(f.Closed());
        QCOMPARE(f.Settings(), settings);

        // OK keeps the effect, and the settings and the page for the next opening.
        QVERIFY((d = f.Open()));
        d->PageControl()->setCurrentIndex(3);
        Bar(d, "DistClampBar")->SetPosition(33);
        ClickFace(Bar(d, "DistDryBar"));
        d->MixBtn()->PerformClick();
        QVERIFY(f.Settles());
        d->OkBtn()->PerformClick();
        QVERIFY(f.Closed());
        QCOMPARE(f.E(), uint8_t(esNoDialog));
        QVERIFY(WaveData(f.Track().FileName) != before);
        QVERIFY(f.window->MixBtn()->isEnabled());
        const std::string saved = f.Settings();
        QVERIFY(saved.find("[PAGE]\nLASTPAGE=3") != std::string::npos);
        QVERIFY(SectionText(saved, "DISTORTIONDISTORTIONDEFAULT").find("DRYPOSITIVE=0") !=
                std::string::npos);
        QVERIFY((d = f.Open()));
        QCOMPARE(d->PageControl()->currentIndex(), 3);
        QCOMPARE(d->HelpContext(), 4070);
        QCOMPARE(Bar(d, "DistClampBar")->Position(), 33);
        QCOMPARE(Bar(d, "DistDryBar")->Position(), -50);
        QCOMPARE(Bar(d, "DistDryBar")->Caption(), QString("Dry-"));

        // Closed by its close box while its effect still runs: 0 at the end, not 1 or 2, so
        // that the track window's edits come back.
        d->PageControl()->setCurrentIndex(1);
        d->MixBtn()->PerformClick();
        QCOMPARE(f.E(), uint8_t(esRunning));
        QVERIFY(d->OkBtn()->isEnabled() && !d->CancelBtn()->isEnabled());
        QVERIFY(d->SubWindow()->close());
        QVERIFY(f.Closed());
        QVERIFY(f.Settles(60000));
        QCOMPARE(f.E(), uint8_t(esNoDialog));
        QCOMPARE(f.Settings(), saved);
    }

    void TheControlsKeepTheirInvariantsAndTheirPictures() {
        Fixture f;
        TFormMixer* d = f.Open();
        QVERIFY(d);
        QWidget* delayPage = d->PageControl()->widget(1);
        auto* input = d->findChild<QWidget*>("InputBmp");
        auto* output = d->findChild<QWidget*>("OutputBmp");
        QComboBox* type = List(d, "DelayTypeList");
        TVelTrackBar *total = Bar(d, "DelayBar"), *modulated = Bar(d, "DelayVBar");
        TVelTrackBar *feedback = Bar(d, "DelayFeedBackBar"), *wet = Bar(d, "DelayWetBar");

        type->setCurrentIndex(1);
        QVERIFY(modulated->isVisible() && Bar(d, "DelayFreqBar")->isVisible());
        QCOMPARE(input->geometry().center().y(), feedback->geometry().center().y());
        modulated->SetPosition(2000);
        QCOMPARE(total->Position(), 2000);
        total->SetPosition(900);
        QCOMPARE(modulated->Position(), 900);
        type->setCurrentIndex(0);
        QVERIFY(!modulated->isVisible() && !Bar(d, "DelayFreqBar")->isVisible());
        QCOMPARE(input->geometry().center().y(), output->geometry().center().y());

        // The feedback line into the first tap: green, then gone at 0.
        const int y = feedback->geometry().center().y();
        const int x =
            (d->findChild<QWidget*>("DelayTap1Btn")->geometry().center().x() + feedback->x()) / 2;
        QVERIFY(Shows(delayPage, x, y, kGreen));
        feedback->SetPosition(0);
        QVERIFY(!Shows(delayPage, x, y, kGreen));
        // Inverting wet: the line from the wet slider to the second tap turns red.
        const int wx =
            (wet->geometry().right() + d->findChild<QWidget*>("DelayTap2Btn")->geometry().left()) /
            2;
        const int wy = wet->geometry().center().y();
        QVERIFY(Shows(delayPage, wx, wy, kGreen));
        ClickFace(wet);
        QCOMPARE(wet->Caption(), QString("Wet-"));
        QCOMPARE(wet->Position(), -50);
        QCOMPARE(wet->Min(), -150);
        QVERIFY(Shows(delayPage, wx, wy, kRed));

        // Distortion: a lower threshold above the upper one drags it up, and back down.
        d->PageControl()->setCurrentIndex(3);
        TVelTrackBar *upper = Bar(d, "DistUThresholdBar"), *lower = Bar(d, "DistLThresholdBar");
        upper->SetPosition(30);
        lower->SetPosition(50);
        QCOMPARE(upper->Position(), 50);
        upper->SetPosition(40);
        QCOMPARE(lower->Position(), 40);

        // Any slider move clears the page's preset selection and disables its Delete.
        f.saveAnswers = {"Crunch"};
        Button(d, "SaveDistPresetBtn")->PerformClick();
        QComboBox* presets = List(d, "DistPresetList");
        QCOMPARE(presets->currentText(), QString("Crunch"));
        QVERIFY(Button(d, "DeleteDistPresetBtn")->isEnabled());
        Bar(d, "DistClampBar")->SetPosition(21);
        QCOMPARE(presets->currentIndex(), -1);
        QVERIFY(!Button(d, "DeleteDistPresetBtn")->isEnabled());
        // Picked again it loads its values; picked once more it stays selected.
        for (int pick : {1, 2}) {
            presets->setCurrentIndex(0);
            d->PresetListChange(3);
            QCOMPARE(Bar(d, "DistClampBar")->Position(), 20);
            QCOMPARE(presets->currentIndex(), pick == 1 ? -1 : 0);
        }
        QVERIFY(Button(d, "DeleteDistPresetBtn")->isEnabled());
        d->PageControl()->setCurrentIndex(2);
        Shot(d, "fade-moved");
    }

    void PresetsAreSavedLoadedDeletedAndOrganized() {
        Fixture f(44100, "[DELAY]\nOdd=\n[DELAYOdd]\nFEEDBACKPOSITIVE=1\nFEEDBACK=-40\n"
                         "FUNCTION=Triangle\n");
        TFormMixer* d = f.Open();
        QVERIFY(d);
        QComboBox* list = List(d, "DelayPresetList");
        TVelTrackBar* feedback = Bar(d, "DelayFeedBackBar");
        QCOMPARE(list->count(), 1);
        // A positive mode with a negative value loads at 0; an unknown type chooses nothing,
        // and choosing it is no parameter change of its own (only the feedback moved).
        list->setCurrentIndex(0);
        d->PresetListChange(1);
        QCOMPARE(feedback->Position(), 0);
        QCOMPARE(feedback->Caption(), QString("Feedback+"));
        QCOMPARE(List(d, "DelayTypeList")->currentIndex(), -1);
        QVERIFY(Bar(d, "DelayVBar")->isVisible()); // not "(None)"
        list->setCurrentIndex(0);
        d->PresetListChange(1);
        QCOMPARE(list->currentIndex(), 0);

        // A negative feedback of 40, saved and loaded back.
        ClickFace(feedback);
        feedback->SetPosition(-40);
        QCOMPARE(feedback->Caption(), QString("Feedback-"));
        f.saveAnswers = {"Neg"};
        Button(d, "SaveDelayPresetBtn")->PerformClick();
        const std::string neg = SectionText(f.Presets(), "DELAYNeg");
        QVERIFY(neg.find("FEEDBACK=-40\n") != std::string::npos);
        QVERIFY(neg.find("FEEDBACKPOSITIVE=0\n") != std::string::npos);
        ClickFace(feedback);
        QCOMPARE(feedback->Position(), 40);
        list->setCurrentIndex(1);
        d->PresetListChange(1);
        QCOMPARE(feedback->Position(), -40);
        QCOMPARE(feedback->Min(), -150);

        // Under a listed name in another case: same list and index, the keys rewritten.
        const std::string index = SectionText(f.Presets(), "DELAY");
        Bar(d, "DelayDryBar")->SetPosition(70);
        f.saveAnswers = {"neg"};
        Button(d, "SaveDelayPresetBtn")->PerformClick();
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentText(), QString("Neg"));
        QCOMPARE(SectionText(f.Presets(), "DELAY"), index);
        QVERIFY(SectionText(f.Presets(), "DELAYNeg").find("DRY=70\n") != std::string::npos);
        // A name that would not read back is refused with the reason.
        f.saveAnswers = {"a=b"};
        Button(d, "SaveDelayPresetBtn")->PerformClick();
        QCOMPARE(list->count(), 2);
        QVERIFY(Said(d, PresetNameProblem("a=b")));

        // Organize: a new order, the preset sections byte for byte as they were.
        f.saveAnswers = {"Two"};
        Button(d, "SaveDelayPresetBtn")->PerformClick();
        const std::string file = f.Presets();
        Button(d, "OrganizeDelayPresetBtn")->PerformClick();
        QCOMPARE(list->itemText(0), QString("Two"));
        QCOMPARE(list->itemText(2), QString("Odd"));
        QCOMPARE(SectionText(f.Presets(), "DELAY"), std::string("[DELAY]\nTwo=\nNeg=\nOdd=\n"));
        for (const char* section : {"DELAYOdd", "DELAYNeg", "DELAYTwo"})
            QCOMPARE(SectionText(f.Presets(), section), SectionText(file, section));

        // Deleting the only fade preset leaves an empty index section.
        d->PageControl()->setCurrentIndex(2);
        f.saveAnswers = {"Only"};
        Button(d, "SaveFadePresetBtn")->PerformClick();
        QVERIFY(Button(d, "DeleteFadePresetBtn")->isEnabled());
        Button(d, "DeleteFadePresetBtn")->PerformClick();
        QCOMPARE(List(d, "FadePresetList")->count(), 0);
        QVERIFY(!Button(d, "DeleteFadePresetBtn")->isEnabled());
        QCOMPARE(SectionText(f.Presets(), "FADE"), std::string("[FADE]\n"));
        QVERIFY(f.Presets().find("FADEOnly") == std::string::npos);
    }
};

QTEST_MAIN(MixerDialogTest)
#include "MixerDialogTest.moc"
