#include "app/gui/StudioRequests.h"

#include <QApplication>

#include "app/gui/SingleInstance.h"
#include "studio/StudioWindow.h"
#include "studio/core/SoundSetup.h"
#include "ui/widgets/VelButtons.h"

TStudioRequests::TStudioRequests(TFormStudio& window, QObject* parent)
    : QObject(parent), window_(window) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryInterval);
    connect(&retry_, &QTimer::timeout, this, &TStudioRequests::OpenPending);
}

void TStudioRequests::Follow(TSingleInstance& instance) {
    connect(&instance, &TSingleInstance::RaiseRequested, this, &TStudioRequests::Raise,
            Qt::QueuedConnection);
    connect(&instance, &TSingleInstance::OpenRequested, this, &TStudioRequests::Open,
            Qt::QueuedConnection);
}

void TStudioRequests::Raise() {
    // A window that is closing or not yet shown stays as it is.
    if (!window_.isVisible()) return;
    if (window_.isMinimized()) window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.raise();
    window_.activateWindow();
}

void TStudioRequests::Open(const QString& path) {
    if (path.isEmpty()) return;
    if (pending_.size() >= static_cast<std::size_t>(kMaxPending)) {
        qWarning("Wavestack has too many files waiting to open; %s left out", qPrintable(path));
        return;
    }
    pending_.push_back(path.toStdString());
    OpenPending();
}

bool TStudioRequests::WindowCanOpen() const {
    return window_.isVisible() && window_.Sound().Device() && window_.Mode() == TStudioMode::Idle &&
           window_.OpenBtn()->isEnabled() && !QApplication::activeModalWidget();
}

void TStudioRequests::OpenPending() {
    if (opening_) return; // a song's question is up: its own event loop brought us here
    while (!pending_.empty()) {
        if (!WindowCanOpen()) {
            retry_.start();
            return;
        }
        const std::string path = pending_.front();
        pending_.pop_front();
        opening_ = true;
        window_.OpenByName(path);
        opening_ = false;
    }
}
