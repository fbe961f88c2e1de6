#include "track/view/QtClipboardStore.h"

#include <QApplication>
#include <QClipboard>
#include <QMetaObject>
#include <QMimeData>
#include <QThread>

#include "platform/MmioFile.h"

const char* const TQtClipboardStore::kMimeTypes[3] = {"audio/wav", "audio/x-wav", "audio/wave"};

TQtClipboardStore::TQtClipboardStore(QObject* parent) : QObject(parent) {}

void TQtClipboardStore::OnUiThread(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(
        this, [&call] { call(); }, Qt::BlockingQueuedConnection);
}

bool TQtClipboardStore::HoldsWave() {
    bool holds = false;
    OnUiThread([&] {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        if (!data) return;
        for (const char* type : kMimeTypes)
            if (data->hasFormat(type)) holds = true;
    });
    return holds;
}

// The desktop clipboard has no lock of its own; this keeps two of our tracks from using it
// in the same operation, as the store's contract asks.
bool TQtClipboardStore::Open() {
    std::lock_guard lock(openMutex_);
    if (open_) return false;
    open_ = true;
    return true;
}

void TQtClipboardStore::Close() {
    std::lock_guard lock(openMutex_);
    open_ = false;
}

bool TQtClipboardStore::SetWave(std::shared_ptr<TMemoryBlock> wave) {
    if (!wave) return false;
    const QByteArray bytes(reinterpret_cast<const char*>(wave->Data()),
                           static_cast<qsizetype>(wave->Size()));
    OnUiThread([&] {
        auto* data = new QMimeData;
        data->setData(kMimeTypes[0], bytes);
        QApplication::clipboard()->setMimeData(data); // the clipboard owns it
    });
    return true;
}

std::shared_ptr<TMemoryBlock> TQtClipboardStore::GetWave() {
    QByteArray bytes;
    OnUiThread([&] {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        if (!data) return;
        for (const char* type : kMimeTypes) {
            if (data->hasFormat(type)) {
                bytes = data->data(type);
                return;
            }
        }
    });
    if (bytes.isEmpty()) return nullptr;
    return TMemoryBlock::FromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
}
