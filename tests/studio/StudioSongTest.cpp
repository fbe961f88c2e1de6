// The main window with real track windows on the private sound server of tests/pulse/server.sh
// (skipped without it): the control refresh, New Track, Play all and Stop all with the clock,
// Arrange, the song saved and read again, and a combine. The rules behind them are tested in
// the core; here, that the window applies them to its windows and tracks.
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "studio/StudioWindow.h"
#include "studio/core/SongFile.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

// 16-bit mono at 44100 Hz (88200 bytes a second), a quiet tone.
struct Studio {
    QTemporaryDir dir;
    std::unique_ptr<TFormStudio> form;
    std::vector<std::string> errors;
    std::vector<std::string> songQuestions;

    std::string startFile;

    // `prepare` writes files (settings, tracks, songs) before the window is made.
    explicit Studio(const std::function<void(Studio&)>& prepare = {}) {
        qputenv("WAVESTACK_CONFIG_DIR", dir.path().toLocal8Bit() + "/config");
        qputenv("TMPDIR", dir.path().toLocal8Bit());
        if (prepare) prepare(*this);
        form = std::make_unique<TFormStudio>();
        form->SetStartFile(startFile);
        form->MPanel()->SetErrorBox(
            [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        form->SetTrackWindowHook([this](TFormTrack& window) {
            window.SetOkCancelBox([](QWidget*, const QString&) { return true; });
            window.SetYesNoCancelBox([](QWidget*, const QString&) { return TYesNoCancel::No; });
            window.MPanel()->SetErrorBox(
                [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        });
        form->SetYesNoCancelBox([this](QWidget*, const QString& text) {
            songQuestions.push_back(text.toStdString());
            return 0x00010000; // No
        });
        form->resize(1030, 700);
        form->show();
    }
    ~Studio() { form.reset(); }
    std::string Path(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }
    std::string SettingsPath() const { return Path("config/wavestack.TXT"); }
    void WriteSettings(const std::string& text) const {
        std::filesystem::create_directories(Path("config"));
        wavetest::Write(SettingsPath(), wavetest::Bytes(text.begin(), text.end()));
    }
    std::string ReadSettings() const {
        const wavetest::Bytes bytes = wavetest::Read(SettingsPath());
        return std::string(bytes.begin(), bytes.end());
    }
    bool DeviceReady() {
        return QTest::qWaitFor([this] { return form->Sound().Device() != nullptr; }, 10000) &&
               form->OpenBtn()->isEnabled();
    }
    TFormTrack* OpenTrack(const std::string& name, int seconds) {
        wavetest::WriteTone(Path(name), seconds);
        form->OpenByName(Path(name));
        TFormTrack* window = nullptr;
        for (TFormTrack* w : form->TrackWindows())
            if (w->Caption() == TrackCaption(Path(name))) window = w;
        return window;
    }
    bool AllReady() {
        return QTest::qWaitFor(
            [this] {
                for (TFormTrack* w : form->TrackWindows())
                    if (!w->Track() || w->Track()->TrackState() != tsReady || w->Track()->InWork())
                        return false;
                // and the window has refreshed its controls since: the tracks' news reaches
                // it through its own thread's queue.
                return form->CloseEnabled();
            },
            20000);
    }
};

} // namespace

class StudioSongTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    }

    void TheTransportFollowsTheTracks() {
        Studio s;
        QVERIFY(s.DeviceReady());
        // No child: Open, and no transport.
        QVERIFY(s.form->OpenBtn()->isEnabled());
        for (TVelBtnBmp* b : {s.form->PlayBtn(), s.form->StopBtn(), s.form->RewindBtn(),
                              s.form->SyncBtn(), s.form->RecordBtn(), s.form->CombineBtn()})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));

        TFormTrack* one = s.OpenTrack("one.wav", 10);
        TFormTrack* two = s.OpenTrack("two.wav", 15);
        QVERIFY(one && two);
        QVERIFY(s.AllReady());
        QCOMPARE(one->Caption(), TrackCaption(s.Path("one.wav")));
        QVERIFY(s.form->PlayBtn()->isEnabled() && s.form->CombineBtn()->isEnabled());
        QVERIFY(!s.form->StopBtn()->isEnabled());
        // Opening it again brings the window forward rather than loading it twice.
        s.form->OpenByName(s.Path("one.wav"));
        QCOMPARE(s.form->TrackWindows().size(), 2u);

        // Only a muted track: Play, Stop, Rewind, Sync and Combine go.
        two->SetMuted(true);
        one->SetMuted(true);
        s.form->RefreshControls();
        QVERIFY(s.form->OpenBtn()->isEnabled());
        for (TVelBtnBmp* b : {s.form->PlayBtn(), s.form->StopBtn(), s.form->RewindBtn(),
                              s.form->SyncBtn(), s.form->CombineBtn()})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        one->SetMuted(false);
        two->SetStartsAt("00:05.00000");
        s.form->RefreshControls();

        // Play all: the unmuted track plays, the muted one stays Ready with Mute disabled;
        // the clock moves the marker.
        s.form->PlayBtn()->PerformClick();
        QCOMPARE(s.form->Mode(), TStudioMode::PlayingAll);
        QTRY_COMPARE_WITH_TIMEOUT(one->Track()->TrackState(), tsPlaying, 5000);
        QCOMPARE(two->Track()->TrackState(), tsReady);
        QVERIFY(!two->MuteBtn()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(one->Track()->PlayPosition > 88200 / 2, 5000);
        QVERIFY(s.form->StopBtn()->isEnabled());

        // Both play; Stop all ends them at one song position.
        s.form->StopAllClick();
        QVERIFY(s.AllReady());
        two->SetMuted(false);
        s.form->RewindAllClick();
        QVERIFY(s.AllReady());
        s.form->PlayAllClick();
        QTRY_VERIFY_WITH_TIMEOUT(one->Track()->TrackState() == tsPlaying &&
                                     two->Track()->TrackState() == tsPlaying,
                                 5000);
        QTest::qWait(300);
        s.form->StopAllClick();
        QCOMPARE(s.form->Mode(), TStudioMode::Idle);
        QVERIFY(s.AllReady());
        QCOMPARE(one->Track()->PositionText(one->Track()->PlayPosition),
                 two->Track()->PositionText(two->Track()->PlayPosition));
        QVERIFY(s.errors.empty());
    }

    void NewTracksArrangeAndTheSongComesBack() {
        Studio s;
        QVERIFY(s.DeviceReady());
        const WAVEFORMATEX mono = MakePcmFormat(44100, 16, 1);
        TFormTrack* first = s.form->NewTrack(mono, "00:10.00000", "00:00.00000");
        TFormTrack* second = s.form->NewTrack(mono, "00:15.00000", "00:05.00000");
        TFormTrack* third = s.form->NewTrack(mono, "00:01.00000", "00:00.00000");
        QCOMPARE(first->Caption(), std::string("New Track "));
        QCOMPARE(second->Caption(), std::string("New Track 1"));
        QCOMPARE(third->Caption(), std::string("New Track 2"));
        QVERIFY(s.AllReady());
        third->SubWindow()->showMinimized(); // left out of the chart
        QVERIFY(s.AllReady());
        s.form->ArrangeTracks();
        const QRect a = first->SubWindow()->geometry();
        const QRect b = second->SubWindow()->geometry();
        QCOMPARE(a.left(), 0);
        QCOMPARE(a.width(), 500);
        QCOMPARE(b.left(), 250);
        QCOMPARE(b.width(), 750);
        QCOMPARE(a.height(), b.height());
        QVERIFY(a.height() >= 180);
        QCOMPARE(b.top(), a.top() + a.height());

        // Never-saved tracks are not written: the song stays modified after Save.
        std::string songPath = s.Path("mix");
        s.form->SetSaveSongDialog(
            [&](QWidget*, const std::string&, const std::string&) { return songPath; });
        QVERIFY(s.form->SaveSongAs());
        QCOMPARE(s.form->SongPath(), s.Path("mix.Sng"));
        QCOMPARE(s.form->windowTitle(), QString("mix"));
        QVERIFY(s.form->SongModifiedNow());
    }

    void ASavedSongIsReadBackAsItWas() {
        std::string songPath;
        {
            Studio s;
            QVERIFY(s.DeviceReady());
            TFormTrack* one = s.OpenTrack("one.wav", 2);
            TFormTrack* two = s.OpenTrack("two.wav", 3);
            QVERIFY(s.AllReady());
            two->SetMuted(true);
            two->SetPanPosition(-30);
            two->SetVolumePosition(20);
            one->SetStartsAt("00:01.50000");
            songPath = s.Path("song.Sng");
            s.form->SetSaveSongDialog(
                [&](QWidget*, const std::string&, const std::string&) { return songPath; });
            QVERIFY(s.form->SaveSong());
            QVERIFY(!s.form->SongModifiedNow());
            QVERIFY(!s.form->SaveBtn()->isEnabled());
            // Copy the folder's files where the next window opens them.
            std::filesystem::create_directories(s.Path("../keep"));
            for (const char* name : {"one.wav", "two.wav", "song.Sng"})
                std::filesystem::copy_file(s.Path(name), s.Path("../keep/") + name,
                                           std::filesystem::copy_options::overwrite_existing);
            songPath = std::filesystem::canonical(s.Path("../keep/song.Sng")).string();
        }
        Studio s;
        QVERIFY(s.DeviceReady());
        s.form->OpenByName(songPath);
        QCOMPARE(s.form->windowTitle(), QString("song"));
        QCOMPARE(s.form->TrackWindows().size(), 2u);
        QVERIFY(s.AllReady());
        TFormTrack* one = s.form->TrackWindows()[0];
        TFormTrack* two = s.form->TrackWindows()[1];
        QCOMPARE(one->Caption(),
                 TrackCaption(std::filesystem::path(songPath).parent_path().string() + "/one.wav"));
        QCOMPARE(one->StartsAtText(), std::string("00:01.50000"));
        QVERIFY(two->Muted());
        QCOMPARE(two->PanValue(), -30);
        QCOMPARE(two->VolumeValue(), 20);
        QCOMPARE(s.form->Mode(), TStudioMode::Idle); // arranged once all were Ready
        QVERIFY(!s.form->SongModifiedNow());
        QVERIFY(!s.form->SaveBtn()->isEnabled());
        // A change makes it modified; New Song asks before it closes everything.
        two->SetPanPosition(10);
        s.form->RefreshControls();
        QVERIFY(s.form->SaveBtn()->isEnabled());
        s.form->NewSong();
        QCOMPARE(s.songQuestions, std::vector<std::string>({"Save changes to Song: song ?"}));
        QTRY_COMPARE(s.form->ChildCount(), 0);
        QCOMPARE(s.form->windowTitle(), QString("New Song"));
        std::filesystem::remove_all(std::filesystem::path(songPath).parent_path());
    }

    void TheStartFileAndTheLayoutOfExit() {
        // A wave named on the command line opens as a track, maximized as the settings say,
        // since it is the only window.
        {
            Studio s([](Studio& s) {
                s.WriteSettings("[TFormStudio]\nMAXIMIZED=1\n");
                wavetest::WriteTone(s.Path("take.WAV"), 1);
                s.startFile = s.Path("take.WAV");
            });
            QTRY_VERIFY_WITH_TIMEOUT(s.form->Sound().Device(), 10000);
            QTRY_COMPARE(s.form->TrackWindows().size(), 1u);
            TFormTrack* take = s.form->TrackWindows()[0];
            QCOMPARE(take->Caption(), TrackCaption(s.Path("take.WAV")));
            QVERIFY(take->SubWindow()->isMaximized());
            QVERIFY(s.AllReady());
            QCOMPARE(s.form->SongPath(), std::string()); // not read as a song
            // Closing the window keeps the layout as it was; only File|Exit writes it.
            QTRY_VERIFY(s.form->CloseEnabled());
            s.form->close();
            QVERIFY(!s.form->isVisible());
            QVERIFY(s.ReadSettings().find("DEVICE=") != std::string::npos); // settings written
            const std::string kept = s.ReadSettings();
            QVERIFY2(kept.find("MAXIMIZED=1") != std::string::npos, kept.c_str());
            QVERIFY2(kept.find("\nWIDTH=") == std::string::npos, kept.c_str());
        }
        // A song on the command line: its windows end up normal although the first was made
        // maximized, and File|Exit writes that the active one is not.
        Studio s([](Studio& s) {
            s.WriteSettings("[TFormStudio]\nMAXIMIZED=1\n");
            wavetest::WriteTone(s.Path("a.wav"), 1);
            wavetest::WriteTone(s.Path("b.wav"), 1);
            const std::string song = "[TRACKS]\nTRACK1=a.wav\nTRACK2=b.wav\nNUMTRACKS=2\n";
            wavetest::Write(s.Path("two.Sng"), wavetest::Bytes(song.begin(), song.end()));
            s.startFile = s.Path("two.Sng");
        });
        QTRY_VERIFY_WITH_TIMEOUT(s.form->Sound().Device(), 10000);
        QTRY_COMPARE(s.form->TrackWindows().size(), 2u);
        QVERIFY(s.AllReady());
        QCOMPARE(s.form->SongPath(), s.Path("two.Sng"));
        for (TFormTrack* w : s.form->TrackWindows())
            QVERIFY2(!w->SubWindow()->isMaximized() && !w->SubWindow()->isMinimized(),
                     w->Caption().c_str());
        // The window learns of the last track's Ready through the hand-off to its thread.
        QTRY_VERIFY(s.form->Mode() == TStudioMode::Idle && s.form->CloseEnabled());
        s.form->ExitClick();
        QVERIFY(!s.form->isVisible());
        const std::string written = s.ReadSettings();
        QVERIFY2(written.find("MAXIMIZED=0") != std::string::npos, written.c_str());
        QVERIFY2(written.find("\nWIDTH=") != std::string::npos, written.c_str());
    }

    void ACombineMakesANewTrackOfTheWholeSpan() {
        Studio s;
        QVERIFY(s.DeviceReady());
        TFormTrack* one = s.OpenTrack("one.wav", 2);
        TFormTrack* two = s.OpenTrack("two.wav", 2);
        QVERIFY(s.AllReady());
        two->SetStartsAt("00:01.00000");
        s.form->RefreshControls();
        std::vector<std::string> offered;
        s.form->SetCombineDialog([&](QWidget*, const std::vector<std::string>& names) {
            offered = names;
            return std::optional<std::vector<std::string>>(names);
        });
        QVERIFY(s.form->CombineBtn()->isEnabled());
        s.form->CombineBtn()->PerformClick();
        QCOMPARE(offered, std::vector<std::string>({one->Caption(), two->Caption()}));
        const char* shot = std::getenv("STUDIO_SHOT"); // a folder: what a user sees meanwhile
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (shot && s.form->Mode() == TStudioMode::Combining)
                    s.form->grab().save(QString::fromLocal8Bit(shot) + "/combining.png");
                return s.form->TrackWindows().size() == 3 && s.form->Mode() == TStudioMode::Idle;
            },
            30000));
        QVERIFY(s.AllReady());
        TFormTrack* target = s.form->TrackWindows()[2];
        QCOMPARE(target->Caption(), std::string("New Track "));
        // Three seconds in the output format, 16-bit stereo at 44100 Hz.
        QCOMPARE(target->Track()->DataLength, 3 * 176400);
        QCOMPARE(target->StartsAtText(), std::string("00:00.00000"));
        QVERIFY(s.errors.empty());
    }
};

QTEST_MAIN(StudioSongTest)
#include "StudioSongTest.moc"
