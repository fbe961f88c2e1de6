#include "ui/widgets/VelMpnl.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace {

const char* const kHintFolded = "Click to show all messages";
const char* const kHintExpanded = "Click to only show last message";

void DefaultErrorBox(QWidget* parent, const QString& text) {
    // Heap-held: if the parent dies while the box runs its own event loop, the box dies with
    // it and the guard turns null instead of the stack deleting it a second time.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Error"),
                                                text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText); // file names may hold '<'
    box->exec();
    delete box.data();
}

} // namespace

TVelMpnl::TVelMpnl(QWidget* parent, TMessageLog::Clock clock)
    : QFrame(parent), log_(std::move(clock)), status_(new QLabel(this)),
      list_(new QPlainTextEdit(this)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedHeight(kFoldedHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(QString::fromLatin1(kHintFolded));

    status_->setTextFormat(Qt::PlainText);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Clicks on the status line are the panel's clicks.
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);
    status_->hide();

    list_->setReadOnly(true);
    list_->setLineWrapMode(QPlainTextEdit::NoWrap);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->hide();
    LayOut();
}

TVelMpnl::~TVelMpnl() {
    // Messages still queued for this panel are dropped with it by Qt; a worker waiting for
    // one of their boxes would wait forever, so it is let go here.
    SetHoldWorkers(false);
}

void TVelMpnl::SetErrorBox(ErrorBox box) {
    errorBox_ = std::move(box);
}

void TVelMpnl::SetBeep(Beep beep) {
    beep_ = std::move(beep);
}

void TVelMpnl::AddMessage(uint8_t kind, const std::string& text) {
    if (QThread::currentThread() == thread()) {
        ShowMessage(kind, text); // a kind-1 box simply runs its own event loop here
        return;
    }
    std::shared_ptr<Waiter> waiter;
    if (kind == kMsgError) {
        std::lock_guard<std::mutex> lock(waitMutex_);
        if (holdWorkers_) {
            waiter = std::make_shared<Waiter>();
            waiting_.push_back(waiter);
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, kind, text, waiter] {
            QPointer<TVelMpnl> self(this);
            ShowMessage(kind, text);
            // A panel destroyed while its box was up has already released every waiter.
            if (waiter && self) Release(waiter);
        },
        Qt::QueuedConnection);
    if (!waiter) return;
    // From here on nothing of the panel is touched: it may be destroyed while we wait.
    std::unique_lock<std::mutex> lock(waiter->mutex);
    waiter->closed.wait(lock, [&waiter] { return waiter->done; });
}

void TVelMpnl::ShowMessage(uint8_t kind, const std::string& text) {
    const TMessageAction action = log_.AddMessage(kind, text);
    const QString line = QString::fromStdString(action.line);
    if (action.listed) list_->appendPlainText(line);
    // The status line is set before the box, so that messages handled while the box runs
    // its event loop are not overwritten by this one when it closes.
    status_->setText(line);
    status_->show();
    if (action.beep) {
        if (beep_)
            beep_();
        else
            QApplication::beep();
    }
    if (action.showBox) {
        const QString boxText = QString::fromStdString(action.boxText);
        if (errorBox_)
            errorBox_(this, boxText);
        else
            DefaultErrorBox(this, boxText);
        // Nothing of the panel may be touched after the box: it may be gone.
    }
}

void TVelMpnl::Release(const std::shared_ptr<Waiter>& waiter) {
    {
        std::lock_guard<std::mutex> lock(waitMutex_);
        waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), waiter), waiting_.end());
    }
    std::lock_guard<std::mutex> lock(waiter->mutex);
    waiter->done = true;
    waiter->closed.notify_all();
}

void TVelMpnl::SetHoldWorkers(bool hold) {
    std::vector<std::shared_ptr<Waiter>> released;
    {
        std::lock_guard<std::mutex> lock(waitMutex_);
        holdWorkers_ = hold;
        if (!hold) released.swap(waiting_);
    }
    for (const auto& waiter : released) {
        std::lock_guard<std::mutex> lock(waiter->mutex);
        waiter->done = true;
        waiter->closed.notify_all();
    }
}

int TVelMpnl::WaitingWorkers() const {
    std::lock_guard<std::mutex> lock(waitMutex_);
    return static_cast<int>(waiting_.size());
}

QWidget* TVelMpnl::Owner() const {
    // The form that owns the panel: a child window inside the frame, or the top-level window.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* child = qobject_cast<QMdiSubWindow*>(w)) {
            // A maximized child fills the frame, so the frame itself must grow.
            if (child->isMaximized()) return child->window();
            return child;
        }
        if (w->isWindow()) return w;
    }
    return nullptr; // the panel is a window of its own
}

void TVelMpnl::SetExpanded(bool on) {
    if (on == expanded_) return; // a repeated call must not grow twice
    const int d = on ? kExpandStep : -kExpandStep;
    QWidget* owner = Owner();
    const int ownerHeight = owner ? owner->height() : 0;

    expanded_ = on;
    setFixedHeight(height() + d);
    LayOut();
    list_->setVisible(on);
    setToolTip(QString::fromLatin1(on ? kHintExpanded : kHintFolded));

    if (owner) {
        // Let the owner's layout take in the panel's new height first, so its minimum size
        // does not clamp a shrinking owner.
        if (QLayout* layout = owner->layout()) layout->activate();
        owner->resize(owner->width(), ownerHeight + d);
    }
}

void TVelMpnl::LayOut() {
    const int frame = frameWidth();
    const int inner = width() - 2 * frame;
    status_->setGeometry(frame + 2, frame, std::max(0, inner - 4), kFoldedHeight - 2 * frame);
    const int listHeight = std::max(0, height() - kListHeightMargin);
    list_->setGeometry(frame, height() - frame - listHeight, std::max(0, inner), listHeight);
}

void TVelMpnl::mousePressEvent(QMouseEvent* event) {
    // Accepted, so the release comes back here and completes the click.
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QFrame::mousePressEvent(event);
}

void TVelMpnl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        SetExpanded(!expanded_);
        event->accept();
        return;
    }
    QFrame::mouseReleaseEvent(event);
}

void TVelMpnl::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    LayOut();
}
