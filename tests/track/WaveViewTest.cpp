#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/common/WaveBytes.h"
#include "track/HeadlessView.h"
#include "track/VelTrack.h"
#include "track/view/PositionPanel.h"
#include "track/view/WaveSurface.h"
#include "track/view/WaveView.h"

namespace {

struct Sink : TMessageSink {
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

// The window's part: every announced state change refreshes the position controls.
struct Owner : TTrackOwner {
    TWaveView* view = nullptr;
    void TrackStateChanged(TVelTrack&) override {
        QMetaObject::invokeMethod(
            view, [v = view] { v->UpdatePositionControls(); }, Qt::QueuedConnection);
    }
};

// 16-bit mono at 44100 Hz (88200 bytes a second): a sine sweeping from 50 Hz to 2 kHz whose
// level rises from a tenth to full scale, so the picture has a visible shape.
wavetest::Bytes SineSweep(int samples) {
    wavetest::Bytes data;
    double phase = 0;
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / samples;
        phase += 2 * M_PI * (50 + 1950 * t) / 44100;
        const auto value =
            static_cast<int16_t>(std::lround(std::sin(phase) * 32000 * (0.1 + 0.9 * t)));
        wavetest::PutLE(data, static_cast<uint16_t>(value), 2);
    }
    return data;
}

// Counts the columns the core hands over, to tell a computed picture from a loaded one.
struct CountingView : TWaveView {
    std::atomic<int> columns{0};
    std::atomic<int> loads{0};
    bool DrawColumn(int column, int yTop, int yBottom) override {
        ++columns;
        return TWaveView::DrawColumn(column, yTop, yBottom);
    }
    bool LoadPictureFile(const std::string& path) override {
        const bool loaded = TWaveView::LoadPictureFile(path);
        loads += loaded;
        return loaded;
    }
};

// A track of 1000000 data bytes in a view whose surface is 1002 pixels wide: 1000 bytes a
// column both ways.
struct Fixture {
    std::string root;
    Sink sink;
    Owner owner;
    TMemoryClipboard clipboard;
    TVELCriticalSection fileLock;
    std::unique_ptr<CountingView> view;
    std::unique_ptr<TVelTrack> track;

    Fixture() {
        char tmpl[] = "/tmp/wavestack-view-XXXXXX";
        root = mkdtemp(tmpl);
        setenv("TMPDIR", root.c_str(), 1);
        view = std::make_unique<CountingView>();
        owner.view = view.get();
        view->resize(1002, 240);
        view->show();
        track = std::make_unique<TVelTrack>(owner, sink, *view, clipboard, &fileLock);
        view->SetTrack(track.get());
    }
    ~Fixture() {
        track.reset();
        view.reset();
        std::system(("rm -rf " + root).c_str());
    }
    bool Open(const std::string& name = "sweep.wav", int samples = 500000) {
        const std::string path = root + "/" + name;
        wavetest::Write(path, wavetest::Wave(44100, 16, 1, SineSweep(samples)));
        track->FileName = path;
        return Reload();
    }
    bool Reload() {
        track->Reopen();
        track->WaitForWorker();
        QCoreApplication::processEvents();
        return track->TrackState() == tsReady;
    }
    void Select(int32_t from, int32_t to) {
        track->SelStart = from;
        track->SelEnd = to;
        track->SetHasSelection(true);
        view->ApplyMarkers();
        view->UpdatePositionControls();
    }
    QWidget* S() { return view->Surface(); }
    TPositionPanel& P() { return *view->Panel(); }
};

QPoint At(int x) {
    return QPoint(x, 50);
}

// The marks of one colour value, left to right as drawn.
std::vector<QRect> MarksOf(TWaveSurface& surface, int colorValue) {
    std::vector<QRect> rects;
    const QColor color(colorValue & 0xFF, (colorValue >> 8) & 0xFF, (colorValue >> 16) & 0xFF);
    for (const TSurfaceMark& mark : surface.Marks())
        if (mark.color == color) rects.push_back(mark.rect);
    return rects;
}

QStringList EnabledItems(const QMenu& menu) {
    QStringList on;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator() || !action->isEnabled()) continue;
        on << action->text();
        if (action->menu())
            for (QAction* sub : action->menu()->actions())
                if (sub->isEnabled()) on << action->text() + "/" + sub->text();
    }
    return on;
}

} // namespace

class WaveViewTest : public QObject {
    Q_OBJECT
  private slots:
    void ThePanelCarriesEveryHintAndTheTimeMask() {
        Fixture f;
        QVERIFY(f.Open());
        f.Select(0, 1000); // the start box takes entries only with a selection
        TPositionPanel& p = f.P();
        QVERIFY(p.FSTime()->isEnabled());
        QCOMPARE(p.FSRewindBtn()->Hint(), QString("Rewind Start position by sample"));
        QCOMPARE(p.FEForwardBtn()->Hint(), QString("Fast Forward End position by sample"));
        QCOMPARE(p.FPRewindBtn()->Hint(), QString("Rewind Play position by sample"));
        QCOMPARE(p.FSTime()->toolTip(), QString("Start position (MM:SS.1/10,000ths)"));
        QCOMPARE(p.PlayTime()->Edit()->toolTip(), QString("Play position (MM:SS.1/10,000ths)"));
        QCOMPARE(p.FETime()->toolTip(), QString("End position (MM:SS.1/10,000ths)"));
        QCOMPARE(p.FSTime()->width(), 80);
        // Every digit optional, blanks read as "0": a cleared box is still a complete time.
        p.FSTime()->setFocus();
        p.FSTime()->clear();
        QCOMPARE(p.FSTime()->TimeText(), QString("00:00.00000"));
        p.FSTime()->setCursorPosition(0);
        QTest::keyClicks(p.FSTime(), "0102");
        QCOMPARE(p.FSTime()->TimeText(), QString("01:02.00000"));
    }

    void ASelectionIsDraggedAndAClickClearsIt() {
        Fixture f;
        QVERIFY(f.Open());
        QCOMPARE(f.S()->width(), 1002);
        QCOMPARE(f.track->DataLength, 1000000);
        auto& surface = *f.view->Surface();
        QSignalSpy cued(f.view.get(), &TWaveView::Cued);

        QTest::mousePress(f.S(), Qt::LeftButton, {}, At(100));
        QCOMPARE(f.track->PlayPosition.load(), 100000);
        // Within 5 pixels of the play marker nothing is selected yet.
        QTest::mouseMove(f.S(), At(104));
        QVERIFY(!f.track->HasSelection);
        QTest::mouseMove(f.S(), At(40)); // leaving the zone leftwards: ends swapped
        QVERIFY(f.track->HasSelection);
        QCOMPARE(f.track->SelStart, 40000);
        QCOMPARE(f.track->SelEnd, 100000);
        QTest::mouseMove(f.S(), At(1500)); // beyond the surface: limited to width - 2
        QCOMPARE(f.track->SelStart, 100000);
        QCOMPARE(f.track->SelEnd, 1000000);
        QTest::mouseRelease(f.S(), Qt::LeftButton, {}, At(1500));
        QCOMPARE(cued.count(), 1);

        // Markers: the play marker 2 px red at its column, the selection 1-px markers and the
        // two 2-px bands between them in the selection colour.
        QCOMPARE(MarksOf(surface, 255), std::vector<QRect>{QRect(100, 0, 2, surface.height())});
        const auto selected = MarksOf(surface, 65535);
        QCOMPARE(selected.size(), std::size_t(4));
        QCOMPARE(selected[0], QRect(100, 0, 1, surface.height()));
        QCOMPARE(selected[1], QRect(1000, 0, 1, surface.height()));
        QCOMPARE(selected[2], QRect(101, 0, 899, 2));
        QCOMPARE(selected[3], QRect(101, surface.height() - 2, 899, 2));
        QCOMPARE(f.P().FSTime()->TimeText(), QString("00:01.13379")); // 100000 / 88200 s, rounded
        f.view->SetSelectedColor(0xFFFFFF);
        QCOMPARE(MarksOf(surface, 0xFFFFFF).size(), std::size_t(4));

        // A click with a selection clears it and moves the play position (odd columns' positions
        // are lowered to even bytes: column 7 is 7000, still even).
        QTest::mouseClick(f.S(), Qt::LeftButton, {}, At(7));
        QVERIFY(!f.track->HasSelection);
        QCOMPARE(f.track->SelStart, 0);
        QCOMPARE(f.track->SelEnd, 0);
        QCOMPARE(f.track->PlayPosition.load(), 7000);
        QVERIFY(MarksOf(surface, 0xFFFFFF).empty());

        // The right button is the menu's; outside Ready the mouse does nothing.
        QTest::mouseClick(f.S(), Qt::RightButton, {}, At(500));
        QCOMPARE(f.track->PlayPosition.load(), 7000);
        f.track->SetState(tsBusy);
        QTest::mousePress(f.S(), Qt::LeftButton, {}, At(300));
        QTest::mouseMove(f.S(), At(600));
        QTest::mouseRelease(f.S(), Qt::LeftButton, {}, At(600));
        QCOMPARE(f.track->PlayPosition.load(), 7000);
        QVERIFY(!f.track->HasSelection);
        f.track->SetState(tsReady);
    }

    void AHeldNudgeSpeedsUpAndStopsAtItsLimit() {
        Fixture f;
        QVERIFY(f.Open());
        f.view->UpdatePositionControls();
        TVelNudgeBtn* forward = f.P().FPForwardBtn();
        QVERIFY(forward->isEnabled());
        QVERIFY(!f.P().FPRewindBtn()->isEnabled()); // at the data start
        QSignalSpy cued(f.view.get(), &TWaveView::Cued);

        // The real timer repeats every 100 ms while the button is held.
        QTest::mousePress(forward, Qt::LeftButton);
        QVERIFY(f.view->Nudging());
        QTest::qWait(450);
        QTest::mouseRelease(forward, Qt::LeftButton);
        QVERIFY(!f.view->Nudging());
        const int ticks = f.view->NudgeTicks();
        QVERIFY2(ticks >= 2 && ticks <= 6, qPrintable(QString::number(ticks)));
        QCOMPARE(f.track->PlayPosition.load(), 2 * ticks);
        QCOMPARE(cued.count(), 1); // releasing a play nudge cues the track there

        // Two seconds held: 9 x 2 + 10 x 102 + 202 bytes.
        f.track->PlayPosition = 0;
        QTest::mousePress(forward, Qt::LeftButton);
        for (int i = 0; i < 20; ++i)
            f.view->NudgeTick();
        QTest::mouseRelease(forward, Qt::LeftButton);
        QCOMPARE(f.track->PlayPosition.load(), 1240);
        QCOMPARE(f.P().PlayTime()->Edit()->TimeText(), QString("00:00.01406"));

        // Never beyond the end; the button is disabled there.
        f.track->PlayPosition = 1000000 - 500;
        QTest::mousePress(forward, Qt::LeftButton);
        for (int i = 0; i < 20; ++i)
            f.view->NudgeTick();
        QCOMPARE(f.track->PlayPosition.load(), 1000000);
        QTest::mouseRelease(forward, Qt::LeftButton);
        QVERIFY(!forward->isEnabled());
        QVERIFY(f.P().FPRewindBtn()->isEnabled());

        // The start marker never passes the end marker, nor the end marker the start one.
        f.Select(1000, 1200);
        QTest::mousePress(f.P().FSForwardBtn(), Qt::LeftButton);
        for (int i = 0; i < 12; ++i)
            f.view->NudgeTick();
        QTest::mouseRelease(f.P().FSForwardBtn(), Qt::LeftButton);
        QCOMPARE(f.track->SelStart, 1200);
        QVERIFY(!f.P().FSForwardBtn()->isEnabled());
        QVERIFY(!f.P().FERewindBtn()->isEnabled());
        QCOMPARE(cued.count(), 3); // selection nudges do not cue
        QTest::mousePress(f.P().FSRewindBtn(), Qt::LeftButton);
        for (int i = 0; i < 20; ++i)
            f.view->NudgeTick();
        QTest::mouseRelease(f.P().FSRewindBtn(), Qt::LeftButton);
        QCOMPARE(f.track->SelStart, 0);
        QVERIFY(!f.P().FSRewindBtn()->isEnabled());
    }

    void TheMenuOffersWhatTheStateAllows() {
        Fixture f;
        QVERIFY(f.Open());
        f.Select(0, 1000);
        QMenu* menu = f.view->ShowPopupMenu(QPoint(10, 10));
        QVERIFY(menu);
        QCOMPARE(
            EnabledItems(*menu),
            QStringList({"Cut", "Copy", "Clear", "Delete", "File", "File/Cut To...",
                         "File/Copy To...", "File/Insert From...", "File/Paste From...",
                         "Select All", "Select Left", "Select Right", "Refresh", "Fast Refresh"}));
        menu->close();

        // Busy: nothing but Fast Refresh, and that only between jobs (this one is between).
        f.track->SetState(tsBusy);
        menu = f.view->ShowPopupMenu(QPoint(10, 10));
        QCOMPARE(EnabledItems(*menu), QStringList({}));
        menu->close();
        f.track->SetState(tsReady);

        // Each opening asks the track again; a choice runs through it.
        f.track->SetHasSelection(false);
        menu = f.view->ShowPopupMenu(QPoint(10, 10));
        QVERIFY(!EnabledItems(*menu).contains("Cut"));
        for (QAction* action : menu->actions())
            if (action->text() == "Select All") action->trigger();
        QVERIFY(f.track->HasSelection);
        QCOMPARE(f.track->SelEnd, 1000000);
        QCOMPARE(MarksOf(*f.view->Surface(), 65535).size(), std::size_t(4));
        QVERIFY(f.P().FSTime()->isEnabled());
    }

    void TimeBoxesRefuseCrossedEntriesAndKeepTheFocus() {
        Fixture f;
        QVERIFY(f.Open());
        f.view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.view.get()));
        f.Select(0, 88200); // the end at exactly one second
        TVelTimeEdit* start = f.P().FSTime();
        start->setFocus();
        start->setText("00:01.00000");
        f.S()->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QVERIFY(f.sink.Saw(kMsgRefusal, "Start position must be less than 00:01.00000"));
        QCOMPARE(f.track->SelStart, 0);
        QTRY_VERIFY(start->hasFocus());
        start->setText("00:00.50000");
        f.S()->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.track->SelStart, 44100);

        TVelTimeEdit* end = f.P().FETime();
        end->setFocus();
        end->setText("00:00.20000");
        f.S()->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QVERIFY(f.sink.Saw(kMsgRefusal, "End position must be greater than 00:00.50000"));
        QCOMPARE(f.track->SelEnd, 88200);
        QTRY_VERIFY(end->hasFocus());
        QCOMPARE(end->TimeText(), QString("00:01.00000")); // the kept value shown again

        // Limited to the data: past the end reads as the end, before the start as the start.
        end->setText("59:00.00000");
        f.S()->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.track->SelEnd, 1000000);
        f.track->SetStartOffsetText("00:01.00000");
        start->setFocus();
        start->setText("00:00.20000");
        f.S()->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.track->SelStart, 0);
        QCOMPARE(start->TimeText(), QString("00:01.00000"));

        // The play box: plain text outside Ready, the edit field in Ready.
        f.track->SetState(tsPlaying);
        f.view->UpdatePositionControls();
        QVERIFY(!f.P().PlayTime()->Editable());
        QVERIFY(!f.P().PlayTime()->isEnabled());
        f.track->SetState(tsReady);
        f.view->UpdatePositionControls();
        QVERIFY(f.P().PlayTime()->Editable());
    }

    void ThePictureFileIsAPngUsedOnReopen() {
        Fixture f;
        QVERIFY(f.Open());
        // Positions map onto width - 2 columns: the data's end falls on column 1000, so the
        // columns 0 .. 1000 are computed.
        QCOMPARE(f.view->columns.load(), 1001);
        const std::string pictureFile = f.track->FileName + "BMP";
        const wavetest::Bytes head = wavetest::Read(pictureFile);
        QVERIFY(head.size() > 8);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(head.data()), 4), QByteArray("\x89PNG"));
        const QImage drawn = f.view->Pictures().Clean();
        QCOMPARE(drawn.size(), f.S()->size());
        QCOMPARE(QImage(QString::fromStdString(pictureFile)).convertToFormat(drawn.format()),
                 drawn);
        // The sweep rises from a tenth to full scale: its picture is black at the edges of
        // the first columns, green across nearly all of the last ones.
        const QRgb green = qRgb(0, 128, 0), black = qRgb(0, 0, 0);
        QCOMPARE(drawn.pixel(5, 2), black);
        QCOMPARE(drawn.pixel(5, drawn.height() / 2), green);
        QCOMPARE(drawn.pixel(995, 2), green);

        // Fast Refresh: read again, picture from its file, no column computed.
        f.view->ShowPopupMenu(QPoint(10, 10));
        for (QAction* action : f.view->Menu()->actions())
            if (action->text() == "Fast Refresh") action->trigger();
        f.track->WaitForWorker();
        QCoreApplication::processEvents();
        QCOMPARE(f.track->TrackState(), tsReady);
        QCOMPARE(f.view->columns.load(), 1001);
        QCOMPARE(f.view->loads.load(), 1);
        QCOMPARE(f.view->Pictures().Clean(), drawn);

        // Refresh recomputes although the file is up to date.
        f.view->ShowPopupMenu(QPoint(10, 10));
        for (QAction* action : f.view->Menu()->actions())
            if (action->text() == "Refresh") action->trigger();
        f.track->WaitForWorker();
        QCoreApplication::processEvents();
        QCOMPARE(f.view->columns.load(), 2002);

        // What a user sees: the waveform with a selection and the markers over it.
        if (const char* shot = std::getenv("WAVE_VIEW_SHOT")) {
            f.view->SetSelectedColor(0xFFFFFF);
            f.Select(300000, 600000);
            f.track->PlayPosition = 450000;
            f.view->ApplyMarkers();
            f.view->UpdatePositionControls();
            QVERIFY(f.view->grab().save(QString::fromLocal8Bit(shot)));
        }
    }
};

QTEST_MAIN(WaveViewTest)
#include "WaveViewTest.moc"
