// The main window's song-wide transport with real track windows on the private sound server of
// tests/pulse/server.sh (skipped without it): Stop all over playing tracks and a take, Play
// all's repeat and what ends it, a combine against the command-line tool's of the same song,
// and Options|Sound... changing the output device under the song's tracks.
#include <QComboBox>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "audio/VelTrackUtils.h"
#include "studio/FormSound.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "tests/common/WaveBytes.h"
#include "track/VelTrack.h"
#include "track/view/FormTrack.h"
#include "ui/widgets/VelButtons.h"
#include "ui/widgets/VelMpnl.h"

namespace {

using wavetest::Bytes;

// The format fields of a file in the layout of WaveBytes.h: tag, channels, rate, bytes a
// second, block align, bits.
Bytes FormatOf(const std::string& path) {
    const Bytes b = wavetest::Read(path);
    if (b.size() < 36) return {};
    return Bytes(b.begin() + 20, b.begin() + 36);
}

int16_t Sample16(const Bytes& data, std::size_t i) {
    return static_cast<int16_t>(data[i] | data[i + 1] << 8);
}

// Acts as the user while `dialog` is up; a dialog left open is closed after 10 s.
void WhileShown(QDialog& dialog, std::function<void()> user) {
    QTimer::singleShot(0, &dialog, [&dialog, user] {
        if (!QTest::qWaitForWindowExposed(&dialog)) return dialog.reject();
        user();
    });
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
}

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items << list.itemText(i);
    return items;
}

// What the sound server says: its output streams' sink names, one per stream.
std::vector<std::string> StreamSinks() {
    const auto run = [](const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("pactl"), args);
        if (!p.waitForFinished(5000)) return QStringList();
        return QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    std::map<QString, std::string> sinkNames; // index -> name
    for (const QString& line : run({"list", "short", "sinks"})) {
        const QStringList f = line.split('\t');
        if (f.size() > 1) sinkNames[f[0]] = f[1].toStdString();
    }
    std::vector<std::string> sinks;
    for (const QString& line : run({"list", "short", "sink-inputs"})) {
        const QStringList f = line.split('\t');
        if (f.size() > 1) sinks.push_back(sinkNames.count(f[1]) ? sinkNames[f[1]] : "?");
    }
    return sinks;
}

struct Studio {
    QTemporaryDir dir;
    std::unique_ptr<TFormStudio> form;
    std::vector<std::string> errors;

    Studio() {
        qputenv("WAVESTACK_CONFIG_DIR", dir.path().toLocal8Bit() + "/config");
        qputenv("TMPDIR", dir.path().toLocal8Bit());
        form = std::make_unique<TFormStudio>();
        form->MPanel()->SetErrorBox(
            [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        form->SetTrackWindowHook([this](TFormTrack& window) {
            window.SetOkCancelBox([](QWidget*, const QString&) { return true; });
            window.SetYesNoCancelBox([](QWidget*, const QString&) { return TYesNoCancel::No; });
            window.MPanel()->SetErrorBox(
                [this](QWidget*, const QString& text) { errors.push_back(text.toStdString()); });
        });
        form->SetYesNoCancelBox([](QWidget*, const QString&) { return 0x00010000; }); // No
        form->resize(1030, 700);
        form->show();
    }
    ~Studio() { form.reset(); }
    std::string Path(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }
    bool DeviceReady() {
        return QTest::qWaitFor([this] { return form->Sound().Device() != nullptr; }, 10000) &&
               form->OpenBtn()->isEnabled();
    }
    TFormTrack* Open(const std::string& name, uint32_t rate, uint16_t bits, uint16_t channels,
                     double seconds, double hz = 440) {
        wavetest::Write(Path(name),
                        wavetest::Wave(rate, bits, channels,
                                       wavetest::Tone(rate, bits, channels, seconds, hz)));
        form->OpenByName(Path(name));
        for (TFormTrack* w : form->TrackWindows())
            if (w->Caption() == TrackCaption(Path(name))) return w;
        return nullptr;
    }
    bool AllReady(int ms = 20000) {
        return QTest::qWaitFor(
            [this] {
                for (TFormTrack* w : form->TrackWindows())
                    if (!w->Track() || w->Track()->TrackState() != tsReady || w->Track()->InWork())
                        return false;
                return true;
            },
            ms);
    }
    // Whether any track plays at any moment of the next `ms` milliseconds.
    bool AnyPlaysWithin(int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            for (TFormTrack* w : form->TrackWindows())
                if (w->Track()->TrackState() == tsPlaying) return true;
            QTest::qWait(5);
        }
        return false;
    }
    static std::string SongPosition(TFormTrack* w) {
        return w->Track()->PositionText(w->Track()->PlayPosition);
    }
};

// Follows a playing track's marker: a restart is a play position back near the start after it
// had gone beyond `far`.
struct Restarts {
    int32_t far;
    int32_t maxSeen = 0;
    bool wentFar = false;
    int count = 0;
    void Look(const TVelTrack& t) {
        if (t.TrackState() != tsPlaying) return;
        const int32_t at = t.PlayPosition;
        maxSeen = std::max(maxSeen, at);
        if (at > far) wentFar = true;
        if (wentFar && at < far / 3) {
            ++count;
            wentFar = false;
        }
    }
};

} // namespace

class StudioTransportTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    }

    void StopAllEndsTwoPlayingTracksAndATakeAtOneSongPosition() {
        Studio s;
        QVERIFY(s.DeviceReady());
        // One rate, so that each song position is one time text in all three; the second track
        // starts half a second into the song.
        TFormTrack* stereo = s.Open("stereo.wav", 44100, 16, 2, 4);
        TFormTrack* late = s.Open("late.wav", 44100, 16, 1, 4, 660);
        QVERIFY(stereo && late);
        TFormTrack* take = s.form->NewTrack(MakePcmFormat(44100, 16, 1), "00:04.00000", "");
        QVERIFY(take);
        QVERIFY(s.AllReady());
        late->SetStartsAt("00:00.50000");
        QCOMPARE(late->Track()->StartOffset, 44100);
        // The take replaces the whole new track, from where it stands (the song's start).
        TVelTrack& recorder = *take->Track();
        QCOMPARE(recorder.DataLength, 4 * 88200);
        recorder.SelStart = 0;
        recorder.SelEnd = recorder.DataLength;
        recorder.SetHasSelection(true);
        s.form->MdiArea()->setActiveSubWindow(take->SubWindow());
        QTRY_VERIFY(take->RecordBtn()->isEnabled());
        s.form->RefreshControls();
        QVERIFY(s.form->RecordBtn()->isEnabled());

        s.form->RecordBtn()->PerformClick();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.TrackState(), tsRecording, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(stereo->Track()->TrackState() == tsPlaying &&
                                     late->Track()->TrackState() == tsPlaying,
                                 5000);
        QCOMPARE(s.form->Mode(), TStudioMode::Idle); // a take is no Play all
        // Well past the late track's start, so that all three have moved on.
        QTRY_VERIFY_WITH_TIMEOUT(stereo->Track()->PlayPosition > 176400 * 6 / 5, 10000);
        QVERIFY(late->Track()->PlayPosition > 88200);
        QVERIFY(recorder.TrackState() == tsRecording);
        s.form->StopAllClick();
        QVERIFY(s.AllReady());
        QVERIFY2(s.errors.empty(), s.errors.empty() ? "" : s.errors.front().c_str());

        // One song position: the same time text, the start offset inside each position.
        const std::string at = Studio::SongPosition(stereo);
        QVERIFY2(TimeTextToSeconds(at) >= 1.2L, at.c_str());
        QVERIFY2(TimeTextToSeconds(at) < 3.5L, at.c_str()); // stopped, not run out
        QCOMPARE(Studio::SongPosition(late), at);
        QCOMPARE(Studio::SongPosition(take), at);

        // The take holds what the server's microphone heard of the two tracks up to the stop,
        // and the new track's silence from there on.
        QCOMPARE(recorder.DataLength, 4 * 88200);
        const std::string saved = s.Path("take.wav");
        take->SetSaveDialog(
            [&](QWidget*, const std::string&, const std::string&) { return saved; });
        QVERIFY(take->SaveTrackAs());
        const Bytes data = wavetest::DataOf(saved);
        QCOMPARE(static_cast<int>(data.size()), 4 * 88200);
        const auto stop = static_cast<std::size_t>(recorder.PlayPosition);
        QCOMPARE(stop % 2, 0u);
        int loud = 0;
        for (std::size_t i = 0; i < stop; i += 2)
            if (std::abs(Sample16(data, i)) > 500) ++loud;
        QVERIFY2(loud > 44100 / 4, qPrintable(QString::number(loud)));
        std::size_t firstNonZero = data.size();
        for (std::size_t i = stop; i < data.size(); ++i)
            if (data[i] != 0) {
                firstNonZero = i;
                break;
            }
        QCOMPARE(firstNonZero, data.size());
    }

    void PlayAllRepeatsUntilStopAllOrATracksOwnStop() {
        Studio s;
        QVERIFY(s.DeviceReady());
        // A track of one second, and one of four seconds that stops at its selection's end at
        // one second: both are cued back to the start when they end.
        TFormTrack* shortOne = s.Open("short.wav", 44100, 16, 1, 1);
        TFormTrack* selected = s.Open("selected.wav", 44100, 16, 1, 4, 660);
        QVERIFY(shortOne && selected);
        QVERIFY(s.AllReady());
        TVelTrack& a = *shortOne->Track();
        TVelTrack& b = *selected->Track();
        b.SelStart = 0;
        b.SelEnd = 88200;
        b.SetHasSelection(true);
        QVERIFY(s.AllReady());
        s.form->RefreshControls();
        QVERIFY(s.form->PlayBtn()->isEnabled());

        s.form->PlayBtn()->PerformClick();
        QCOMPARE(s.form->Mode(), TStudioMode::PlayingAll);
        Restarts ra{88200 * 7 / 10}, rb{88200 * 7 / 10};
        QVERIFY(QTest::qWaitFor(
            [&] {
                ra.Look(a);
                rb.Look(b);
                return ra.count >= 2 && rb.count >= 2;
            },
            15000));
        QCOMPARE(s.form->Mode(), TStudioMode::PlayingAll);
        // Each round ends at the selection's end, never beyond it.
        QVERIFY2(rb.maxSeen <= 88201, qPrintable(QString::number(rb.maxSeen)));
        QCOMPARE(b.SelEnd, 88200);

        // Stop all ends the repeat: nothing starts again over several ticks.
        s.form->StopBtn()->PerformClick();
        QCOMPARE(s.form->Mode(), TStudioMode::Idle);
        QVERIFY(s.AllReady());
        QVERIFY(!s.AnyPlaysWithin(5 * TFormStudio::kClockInterval));
        QCOMPARE(s.form->Mode(), TStudioMode::Idle);

        // So does a track window's own Stop, while the other track plays on to its end.
        s.form->RewindAllClick();
        QVERIFY(s.AllReady());
        s.form->PlayAllClick();
        QCOMPARE(s.form->Mode(), TStudioMode::PlayingAll);
        QTRY_VERIFY_WITH_TIMEOUT(a.TrackState() == tsPlaying && b.TrackState() == tsPlaying &&
                                     a.PlayPosition > 88200 / 5,
                                 5000);
        QVERIFY(shortOne->StopBtn()->isEnabled());
        shortOne->StopBtn()->PerformClick();
        QCOMPARE(s.form->Mode(), TStudioMode::Idle);
        QVERIFY(b.TrackState() == tsPlaying || b.TrackState() == tsStopping ||
                b.TrackState() == tsReady);
        QVERIFY(s.AllReady(5000));
        // Both Ready with Play enabled again: a repeat would start within a tick.
        s.form->RefreshControls();
        QVERIFY(s.form->PlayBtn()->isEnabled());
        QVERIFY(!s.AnyPlaysWithin(6 * TFormStudio::kClockInterval));
        QCOMPARE(s.form->Mode(), TStudioMode::Idle);
        QVERIFY(s.errors.empty());
    }

    void TheWindowsCombineEqualsTheCommandLinesOfTheSameSong() {
        Studio s;
        QVERIFY(s.DeviceReady());
        // Three formats, so that each source is converted to the output format on its way in;
        // offsets, pan and volume that the song file carries; a muted track both leave out.
        TFormTrack* a = s.Open("a.wav", 44100, 16, 2, 1.0, 440);
        TFormTrack* b = s.Open("b.wav", 22050, 8, 1, 1.5, 330);
        TFormTrack* c = s.Open("c.wav", 11025, 16, 1, 0.8, 550);
        TFormTrack* muted = s.Open("muted.wav", 44100, 16, 1, 3.0, 220);
        QVERIFY(a && b && c && muted);
        QVERIFY(s.AllReady());
        a->SetStartsAt("00:00.20000");
        a->SetPanPosition(-40);
        b->SetStartsAt("00:00.50000");
        b->SetVolumePosition(-30);
        c->SetStartsAt("00:01.40000");
        c->SetPanPosition(50);
        c->SetVolumePosition(20);
        muted->SetMuted(true);
        s.form->RefreshControls();

        const std::string song = s.Path("mix.Sng");
        s.form->SetSaveSongDialog(
            [&](QWidget*, const std::string&, const std::string&) { return song; });
        QVERIFY(s.form->SaveSongAs());

        const QString cliOut = QString::fromStdString(s.Path("cli.wav"));
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", s.dir.path());
        env.insert("WAVESTACK_CONFIG_DIR", s.dir.path() + "/cli-config");
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(WAVESTACK_CLI),
                  {"--quiet", "combine", QString::fromStdString(song), "-o", cliOut, "--format",
                   "44100,16,2"});
        QVERIFY(cli.waitForFinished(20000));
        QVERIFY2(cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0,
                 cli.readAllStandardError().constData());

        s.form->SetCombineDialog([](QWidget*, const std::vector<std::string>& names) {
            return std::optional<std::vector<std::string>>(names);
        });
        QVERIFY(s.form->CombineBtn()->isEnabled());
        s.form->CombineBtn()->PerformClick();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return s.form->TrackWindows().size() == 5 && s.form->Mode() == TStudioMode::Idle;
            },
            20000));
        QVERIFY(s.AllReady());
        TFormTrack* target = s.form->TrackWindows()[4];
        QCOMPARE(target->StartsAtText(), std::string("00:00.20000"));
        const std::string windowOut = s.Path("window.wav");
        target->SetSaveDialog(
            [&](QWidget*, const std::string&, const std::string&) { return windowOut; });
        QVERIFY(target->SaveTrackAs());

        // From 0.2 s (a's start) to 2.2 s (c's end): two seconds of 16-bit stereo at 44100 Hz.
        const Bytes stereo44{1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
        QCOMPARE(FormatOf(cliOut.toStdString()), stereo44);
        QCOMPARE(FormatOf(windowOut), stereo44);
        const Bytes fromCli = wavetest::DataOf(cliOut.toStdString());
        const Bytes fromWindow = wavetest::DataOf(windowOut);
        QCOMPARE(static_cast<int>(fromCli.size()), 2 * 176400);
        QCOMPARE(static_cast<int>(fromWindow.size()), 2 * 176400);
        std::size_t differ = fromCli.size();
        for (std::size_t i = 0; i < fromCli.size(); ++i)
            if (fromCli[i] != fromWindow[i]) {
                differ = i;
                break;
            }
        QCOMPARE(differ, fromCli.size());
        // Not two empty mixes: the stretch where only b sounds (1.2 s to 1.4 s) is heard, and
        // in the left channel only, where a alone plays panned left (0.2 s to 0.5 s), the
        // right is the quieter.
        int loud = 0;
        for (std::size_t i = 176400; i < 176400 * 6 / 5; i += 4)
            if (std::abs(Sample16(fromWindow, i)) > 1000) ++loud;
        QVERIFY(loud > 1000);
        long long left = 0, right = 0;
        for (std::size_t i = 0; i < 176400 * 3 / 10; i += 4) {
            left += std::abs(Sample16(fromWindow, i));
            right += std::abs(Sample16(fromWindow, i + 2));
        }
        QVERIFY2(left > right && right > 0, qPrintable(QString("%1 %2").arg(left).arg(right)));
        QVERIFY(s.errors.empty());
    }

    void TheSoundDialogMovesEveryTrackToTheChosenDevice() {
        Studio s;
        QVERIFY(s.DeviceReady());
        TFormTrack* one = s.Open("one.wav", 44100, 16, 2, 3);
        TFormTrack* two = s.Open("two.wav", 22050, 8, 1, 3);
        QVERIFY(one && two);
        QVERIFY(s.AllReady());
        const std::string before = s.form->Sound().DeviceName();
        QVERIFY(before != "Second_Sink");
        bool shown = false;
        s.form->SetSoundOptionsHook([&](TFormSound& dialog) {
            WhileShown(dialog, [&] {
                shown = true;
                // The server's devices, by name, the window's device selected.
                const QStringList inputs = Items(*dialog.InList());
                QVERIFY(inputs.contains(QStringLiteral("Test_Mic")));
                const QStringList outputs = Items(*dialog.OutList());
                QVERIFY(outputs.contains(QStringLiteral("Test_Sink")));
                QVERIFY(outputs.contains(QStringLiteral("Second_Sink")));
                QCOMPARE(dialog.OutList()->currentText().toStdString(), before);
                dialog.OutList()->setCurrentIndex(outputs.indexOf(QStringLiteral("Second_Sink")));
                dialog.OkBtn()->PerformClick();
            });
        });
        QAction* item = s.form->MenuItem("Options|Sound");
        QVERIFY(item && item->isEnabled());
        item->trigger();
        QVERIFY(shown);
        QCOMPARE(s.form->Settings().device, std::string("Second_Sink"));
        QCOMPARE(s.form->Sound().DeviceName(), std::string("Second_Sink"));
        QVERIFY(s.form->Sound().Device() != nullptr);
        QVERIFY(s.DeviceReady());
        QVERIFY(s.AllReady());

        // Both tracks play through the new device, and nothing is left on the old one.
        s.form->RefreshControls();
        QVERIFY(s.form->PlayBtn()->isEnabled());
        s.form->PlayAllClick();
        QTRY_VERIFY_WITH_TIMEOUT(one->Track()->TrackState() == tsPlaying &&
                                     two->Track()->TrackState() == tsPlaying,
                                 5000);
        QTRY_VERIFY_WITH_TIMEOUT(one->Track()->PlayPosition > 176400 / 2 &&
                                     two->Track()->PlayPosition > 22050 / 2,
                                 5000);
        const std::vector<std::string> sinks = StreamSinks();
        QVERIFY(!sinks.empty());
        for (const std::string& sink : sinks)
            QCOMPARE(sink, std::string("testsink2"));
        s.form->StopAllClick();
        QVERIFY(s.AllReady());
        QVERIFY(s.errors.empty());
    }
    void SoundOkWhileTracksPlayStopsThemBeforeTheDeviceGoes() {
        // Between two rounds of Play all the menu is enabled, and the next round can start the
        // tracks under the open dialog: OK stops them, waits for their feeders to end (each
        // ends by cueing on the device it holds) and only then replaces the device.
        Studio s;
        QVERIFY(s.DeviceReady());
        TFormTrack* one = s.Open("one.wav", 44100, 16, 2, 3);
        TFormTrack* two = s.Open("two.wav", 22050, 8, 1, 3);
        QVERIFY(one && two);
        QVERIFY(s.AllReady());
        for (const QString& sink : {QStringLiteral("Second_Sink"), QStringLiteral("Test_Sink"),
                                    QStringLiteral("Second_Sink"), QStringLiteral("Test_Sink")}) {
            s.form->SetSoundOptionsHook([&](TFormSound& dialog) {
                WhileShown(dialog, [&] {
                    dialog.OutList()->setCurrentIndex(Items(*dialog.OutList()).indexOf(sink));
                    dialog.OkBtn()->PerformClick();
                });
            });
            s.form->RewindAllClick();
            s.form->PlayAllClick();
            QTRY_VERIFY_WITH_TIMEOUT(one->Track()->PlayPosition > 176400 / 4 &&
                                         two->Track()->TrackState() == tsPlaying,
                                     5000);
            s.form->SoundOptionsClick();
            QCOMPARE(QString::fromStdString(s.form->Sound().DeviceName()), sink);
            QVERIFY(one->Track()->TrackState() != tsPlaying &&
                    two->Track()->TrackState() != tsPlaying);
            s.form->StopAllClick(); // ends the repeat
            QVERIFY(s.AllReady());
            // Cued where they stopped, on the new device: they play on from there.
            QVERIFY(one->Track()->PlayPosition > 176400 / 4);
        }
        s.form->PlayAllClick();
        QTRY_VERIFY_WITH_TIMEOUT(!StreamSinks().empty(), 5000);
        for (const std::string& sink : StreamSinks())
            QCOMPARE(sink, std::string("testsink"));
        s.form->StopAllClick();
        QVERIFY(s.AllReady());
        QVERIFY2(s.errors.empty(), s.errors.empty() ? "" : s.errors.front().c_str());
    }
};

QTEST_MAIN(StudioTransportTest)
#include "StudioTransportTest.moc"
