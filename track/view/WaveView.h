// The waveform view of a track: the drawing surface over the position panel. It is the track's
// TTrackView: the worker paints the waveform into the shared pictures, and every marker, box
// and control change reaches the widgets on the user-interface thread, through a queued call
// when it comes from another thread.
//
// Choices of ours:
// - Releasing a play-position nudge button cues the track at the new play position, so that
//   Play starts where the marker shows rather than at the previous cue.
// - The start and end boxes are limited to the data: an entry before the data start reads as
//   the data start, one past the end as the end.
#pragma once

#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>

#include "track/TrackInterfaces.h"
#include "track/Waveform.h"
#include "track/view/WavePictures.h"

class QMenu;
class TPositionPanel;
class TVelNudgeBtn;
class TVelTimeEdit;
class TWaveSurface;

class TWaveView : public QWidget, public TTrackView {
    Q_OBJECT
    // Colour values 0x00BBGGRR; the worker reads the two picture colours while it draws.
    Q_PROPERTY(int SelectedColor READ SelectedColor WRITE SetSelectedColor)
    Q_PROPERTY(int UnSelectedColor READ UnSelectedColor WRITE SetUnSelectedColor)
    Q_PROPERTY(int WaveColor READ WaveColor WRITE SetWaveColor)
    Q_PROPERTY(int LineColor READ LineColor WRITE SetLineColor)
    Q_PROPERTY(int WorkColor READ WorkColor WRITE SetWorkColor)
  public:
    static constexpr int kNudgeInterval = 100;  // [ms]
    static constexpr int kRepaintInterval = 30; // [ms] between repaints the worker asks for

    explicit TWaveView(QWidget* parent = nullptr);
    ~TWaveView() override;

    // User-interface thread, before the track's first job: the track this view shows (it takes
    // the view in its constructor, so the two are joined afterwards). Null detaches.
    void SetTrack(TVelTrack* track);
    TVelTrack* Track() const { return track_; }

    int SelectedColor() const { return selectedColor_; }
    int UnSelectedColor() const { return unSelectedColor_; }
    int WaveColor() const { return waveColor_; }
    int LineColor() const { return lineColor_; }
    int WorkColor() const { return workColor_; }
    void SetSelectedColor(int value);
    void SetUnSelectedColor(int value);
    void SetWaveColor(int value);
    void SetLineColor(int value);
    void SetWorkColor(int value);

    TWaveSurface* Surface() const { return surface_; }
    TPositionPanel* Panel() const { return panel_; }
    TWavePictures& Pictures() { return pictures_; }

    // User-interface thread: the markers and the three boxes from the track's positions.
    void ApplyMarkers();
    // User-interface thread: which position controls the user may use now.
    void UpdatePositionControls();
    // User-interface thread: the pop-up menu as the track offers it now, shown at `where`.
    QMenu* ShowPopupMenu(QPoint where);
    QMenu* Menu() const { return menu_; }

    // One repeat of the held nudge button (the timer's; tests call it to count ticks).
    void NudgeTick();
    int NudgeTicks() const { return nudgeTicks_; }
    bool Nudging() const { return nudgeTimer_.isActive(); }

    // TTrackView (the worker's picture calls paint into the shared pictures, then ask the
    // user-interface thread to repaint)
    bool BeginPictures(int& width, int& height) override;
    bool LoadPictureFile(const std::string& path) override;
    bool DrawStandbyPicture(const std::string& path) override;
    bool DrawColumn(int column, int yTop, int yBottom) override;
    bool CommitPicture() override;
    bool SavePicture(const std::string& path) override;
    bool SaveEmptyPicture(const std::string& path) override;
    void DrawOverlayColumn(int column, int yTop, int yBottom) override;
    void ClearOverlay() override;
    void ShowWorkBar(int column) override;
    void RedrawMarkers() override;
    int Width() const override { return surfaceWidth_; }
    int Height() const override { return surfaceHeight_; }

  signals:
    // The view cued the track (a mouse gesture's end, a play-position nudge's release).
    void Cued(int32_t position);

  private:
    // Runs `call` on the user-interface thread: at once there, else queued in order.
    void OnUiThread(std::function<void()> call);
    void RepaintSurface();
    void RunQueuedRepaint();
    void StartNudge(TVelNudgeBtn* button);
    void StopNudge();
    void LeaveStartOrEnd(TVelTimeEdit* edit, bool start);
    void LeavePlayBox();
    void OnLeftDown(int x);
    void OnLeftMove(int x);
    void OnLeftUp(int x);
    TViewPositions Positions() const;
    void SetPositions(const TViewPositions& positions);
    TMouseFacts MouseFacts() const;

    TWavePictures pictures_;
    TWaveSurface* surface_;
    TPositionPanel* panel_;
    QMenu* menu_ = nullptr;
    TVelTrack* track_ = nullptr;

    std::atomic<int> selectedColor_{65535};
    std::atomic<int> unSelectedColor_{0};
    std::atomic<int> waveColor_{32768};
    std::atomic<int> lineColor_{255};
    std::atomic<int> workColor_{12632256};
    std::atomic<int> surfaceWidth_{400};
    std::atomic<int> surfaceHeight_{100};
    std::atomic<int> workBarColumn_{-1};     // -1: none
    std::atomic<bool> repaintQueued_{false}; // a repaint or its interval is running
    std::atomic<bool> repaintWanted_{false}; // the worker drew since the last repaint

    QTimer nudgeTimer_;
    TVelNudgeBtn* nudged_ = nullptr;
    int nudgeTicks_ = 0;
    TWaveMouse mouse_;
};
