// The message panel: the status line and folding message list along the bottom of a window,
// and the Qt implementation of the message sink.
#pragma once

#include <QFrame>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/core/MessageLog.h"
#include "ui/core/MessageSink.h"

class QLabel;
class QPlainTextEdit;

class TVelMpnl : public QFrame, public TMessageSink {
    Q_OBJECT
  public:
    static constexpr int kFoldedHeight = 26;     // [px]
    static constexpr int kExpandStep = 100;      // [px] the panel and its owner grow by this
    static constexpr int kListHeightMargin = 30; // [px] list height = panel height - this

    // Shows a kind-1 error box and returns when the user has closed it. UI thread.
    using ErrorBox = std::function<void(QWidget* parent, const QString& text)>;
    using Beep = std::function<void()>;

    explicit TVelMpnl(QWidget* parent = nullptr, TMessageLog::Clock clock = {});
    // Releases every worker still waiting for an error box (see SetHoldWorkers). Workers
    // that report here must have stopped calling AddMessage before the panel is destroyed.
    ~TVelMpnl() override;

    // Any thread. On the panel's own (UI) thread the message is shown at once, a kind-1 box
    // included. From any other thread it is queued to the UI thread; all such messages go
    // through the one event queue of the panel, so each thread's messages appear in the
    // order it sent them. A kind-1 message from another thread returns only after its box
    // has been closed, unless workers are no longer held (SetHoldWorkers).
    void AddMessage(uint8_t kind, const std::string& text) override;

    // UI thread. Grows (on) or shrinks (off) the panel and its owner window by 100 pixels
    // and shows or hides the list; asking for the state it already has does nothing.
    void SetExpanded(bool on);
    bool Expanded() const { return expanded_; }

    // Whether a worker's kind-1 message waits for its box (true at creation). An owner that
    // is about to wait for its workers on the UI thread (closing, CancelAndWait) sets false
    // first: every waiting worker is released at once and later ones do not wait, so the
    // UI thread and a worker never wait for each other. Their boxes still show when the
    // queued messages are handled, unless the panel is gone by then. UI thread.
    void SetHoldWorkers(bool hold);
    // Workers currently waiting for their error box to be closed. Any thread.
    int WaitingWorkers() const;

    // Replace the box or the beep, e.g. with a hook in tests; empty restores the default.
    void SetErrorBox(ErrorBox box);
    void SetBeep(Beep beep);

    const TMessageLog& Log() const { return log_; } // UI thread
    QLabel* StatusLabel() const { return status_; }
    QPlainTextEdit* MessageList() const { return list_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // One worker waiting for its box; shared by the worker and the queued message.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable closed;
        bool done = false;
    };

    void ShowMessage(uint8_t kind, const std::string& text); // UI thread
    void Release(const std::shared_ptr<Waiter>& waiter);
    void LayOut();
    QWidget* Owner() const;

    TMessageLog log_;
    QLabel* status_;
    QPlainTextEdit* list_;
    bool expanded_ = false;
    ErrorBox errorBox_;
    Beep beep_;

    mutable std::mutex waitMutex_; // guards holdWorkers_ and waiting_
    bool holdWorkers_ = true;
    std::vector<std::shared_ptr<Waiter>> waiting_;
};
