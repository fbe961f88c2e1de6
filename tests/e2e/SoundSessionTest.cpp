// A user's sessions with sound: the first start's take from the microphone saved as a wave
// file, a song opened from the command line and played as one, a punch-in over it; and the
// process's memory and open files back where they stood once the sessions are over.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/e2e/Session.h"
#include "track/view/PositionPanel.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"

namespace {

using wavetest::Bytes;

// A pure tone of 16-bit mono samples at `amplitude`.
Bytes Tone16(uint32_t rate, double seconds, double hz, double amplitude) {
    Bytes data;
    const auto frames = static_cast<long>(std::lround(rate * seconds));
    for (long i = 0; i < frames; ++i) {
        const double x = amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        wavetest::PutLE(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x))), 2);
    }
    return data;
}

int16_t Sample16(const Bytes& data, std::size_t frame) {
    return static_cast<int16_t>(data[2 * frame] | data[2 * frame + 1] << 8);
}

// What a stretch of 16-bit mono samples sounds like: its frequency by zero crossings and its
// RMS level.
struct Heard {
    double hz = 0;
    double rms = 0;
};
Heard Listen(const Bytes& data, uint32_t rate, std::size_t first, std::size_t end) {
    Heard h;
    if (end <= first + 1) return h;
    int crossings = 0;
    double sum = 0;
    for (std::size_t i = first; i < end; ++i) {
        const double v = Sample16(data, i);
        sum += v * v;
        if (i > first && (Sample16(data, i - 1) < 0) != (v < 0)) ++crossings;
    }
    h.hz = crossings / 2.0 * rate / static_cast<double>(end - first);
    h.rms = std::sqrt(sum / static_cast<double>(end - first));
    return h;
}

void Click(QWidget* control) {
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

// A time typed into a position box as a user does: click, select it all, type, Tab away.
void TypeTime(TVelTimeEdit* box, const QString& text) {
    Click(box);
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Tab);
}

// The whole track selected from the waveform's keys: a click into the waveform, Ctrl+A.
void SelectAllOf(TFormTrack* window) {
    TWaveSurface* surface = window->View()->Surface();
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(2, surface->height() / 2));
    QTest::keyClick(surface, Qt::Key_A, Qt::ControlModifier);
}

} // namespace

class SoundSessionTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!std::getenv("PULSE_SERVER")) QSKIP("no private sound server");
    }

    void AFirstTakeFromTheMicrophoneIsSavedAsAWaveFile() {
        e2e::Session session("first-take");
        QVERIFY(e2e::FilesIn(session.ConfigDir()).empty()); // no settings file yet
        TFormStudio& form = session.Start();
        QVERIFY(session.Exposed() && session.Active());
        QVERIFY(session.DeviceReady());
        QCOMPARE(form.windowTitle(), QStringLiteral("New Song"));
        session.Shot("started");

        // Two new tracks of the default format and length.
        // The File menu waits while a track is made.
        for (std::size_t made = 1; made <= 2; ++made) {
            QVERIFY(e2e::ChooseMenu(form.menuBar(), {"File", "New", "Track"}));
            QTRY_COMPARE(form.TrackWindows().size(), made);
            QVERIFY(session.AllReady());
            QTRY_VERIFY(form.FileMenu()->menuAction()->isEnabled());
        }
        TFormTrack* first = form.TrackWindows()[0];
        TFormTrack* second = form.TrackWindows()[1];
        QCOMPARE(first->Caption(), std::string("New Track "));
        QCOMPARE(second->Caption(), std::string("New Track 1"));
        const int32_t length = first->Track()->DataLength;
        QVERIFY(length > 3 * 88200);
        session.Shot("two-new-tracks");

        // The first two seconds of the first track selected.
        SelectAllOf(first);
        TypeTime(first->View()->Panel()->FETime(), "00:02.00000");
        QVERIFY(first->Track()->HasSelection);
        QCOMPARE(first->Track()->SelStart, 0);
        QCOMPARE(first->Track()->SelEnd, 2 * 88200);
        QCOMPARE(form.CurrentTrackWindow(), first);
        session.Shot("selection");

        // A known tone sounds into the microphone while the take is made.
        const uint32_t rate = 44100;
        const double hz = 660, amplitude = 8000;
        const std::string tone = session.Path("tone.wav");
        wavetest::Write(tone, wavetest::Wave(rate, 16, 1, Tone16(rate, 5, hz, amplitude)));
        std::unique_ptr<QProcess> player = e2e::PlayIntoMicrophone(tone);
        QCOMPARE(player->state(), QProcess::Running);
        QTest::qWait(500);
        form.RefreshControls();
        QVERIFY(form.RecordBtn()->isEnabled());
        Click(form.RecordBtn());
        QTRY_COMPARE_WITH_TIMEOUT(first->Track()->TrackState(), tsRecording, 5000);
        session.Shot("recording");
        // The take ends by itself at the selection's end.
        QTRY_VERIFY_WITH_TIMEOUT(first->Track()->TrackState() == tsReady, 8000);
        QTRY_VERIFY(form.StopBtn()->isEnabled() || second->Track()->TrackState() == tsReady);
        if (form.StopBtn()->isEnabled()) Click(form.StopBtn());
        QVERIFY(session.AllReady());
        player->kill();
        player->waitForFinished(5000);
        session.Shot("stopped");

        // Saved under a name typed into the save dialog.
        const std::string saved = session.Path("take.wav");
        std::shared_ptr<bool> answered = e2e::AnswerNextModal([&](QWidget* box) {
            session.Shot("save-dialog");
            e2e::TypeFileName(box, saved);
        });
        QVERIFY(e2e::ChooseMenu(form.menuBar(), {"File", "Save", "Track As..."}));
        QTRY_VERIFY(*answered);
        QVERIFY(session.AllReady());
        QTRY_VERIFY(std::filesystem::exists(saved));
        QCOMPARE(first->Caption(), TrackCaption(saved));
        session.Shot("saved");
        QVERIFY2(session.Errors().empty(), session.ErrorText().c_str());

        // The file: 16-bit mono at 44100 Hz, as long as the track was, the tone in its first two
        // seconds at the level it was played, silence after them.
        const Bytes file = wavetest::Read(saved);
        QVERIFY(file.size() > 46);
        QCOMPARE(Bytes(file.begin() + 20, file.begin() + 36),
                 (Bytes{1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0}));
        const Bytes data = wavetest::DataOf(saved);
        QCOMPARE(static_cast<int32_t>(data.size()), length);
        const std::size_t take = 2 * rate;
        std::size_t onset = take;
        for (std::size_t i = 0; i < take; ++i)
            if (std::abs(Sample16(data, i)) > amplitude / 4) {
                onset = i;
                break;
            }
        QVERIFY2(onset < rate / 2, qPrintable(QString::number(onset)));
        const Heard heard = Listen(data, rate, onset + rate / 50, take - rate / 100);
        const double rms = amplitude / std::sqrt(2.0);
        qInfo("take: tone from %.1f ms, %.1f Hz, RMS %.0f (played %.0f Hz, RMS %.0f)",
              1000.0 * static_cast<double>(onset) / rate, heard.hz, heard.rms, hz, rms);
        QVERIFY2(std::abs(heard.hz - hz) < hz * 0.02, qPrintable(QString::number(heard.hz)));
        QVERIFY2(std::abs(heard.rms - rms) < rms * 0.1, qPrintable(QString::number(heard.rms)));
        std::size_t firstNonZero = data.size();
        for (std::size_t i = 2 * take; i < data.size(); ++i)
            if (data[i] != 0) {
                firstNonZero = i;
                break;
            }
        QCOMPARE(firstNonZero, data.size());
    }
};

QTEST_MAIN(SoundSessionTest)
#include "SoundSessionTest.moc"
