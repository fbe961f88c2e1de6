#include "track/view/QtClipboardStore.h"

#include <QApplication>
#include <QClipboard>
#include <QMetaObject>
#include <QMimeData>
#include <QThread>

#include <mutex>

#include "platform/MmioFile.h"

const char* const TQtClipboardStore::kMimeTypes[3] = {"audio/wav", "audio/x-wav", "audio/wave"};

namespace {

std::mutex g_openMutex;
bool g_open = false;

QByteArray WaveBytesOnClipboard() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data) return {};
    for (const char* type : TQtClipboardStore::kMimeTypes)
        if (data->hasFormat(type)) return data->data(type);
    return {};
}

} // namespace

TQtClipboardStore::TQtClipboardStore(TUiCallGate* gate, QObject* parent) : QObject(parent) {
    if (!gate) {
        ownGate_ = std::make_unique<TUiCallGate>(
            [this](std::function<void()> call) {
                QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
            },
            [this] { return QThread::currentThread() == thread(); });
        gate = ownGate_.get();
    }
    gate_ = gate;
}

bool TQtClipboardStore::HoldsWave() {
    return gate_
        ->Ask<bool>([] {
            const QMimeData* data = QApplication::clipboard()->mimeData();
            if (!data) return false;
            for (const char* type : kMimeTypes)
                if (data->hasFormat(type)) return true;
            return false;
        })
        .value_or(false);
}

bool TQtClipboardStore::Open() {
    std::lock_guard lock(g_openMutex);
    if (g_open) return false;
    g_open = true;
    return true;
}

void TQtClipboardStore::Close() {
    std::lock_guard lock(g_openMutex);
    g_open = false;
}

bool TQtClipboardStore::SetWave(std::shared_ptr<TMemoryBlock> wave) {
    if (!wave) return false;
    QByteArray bytes(reinterpret_cast<const char*>(wave->Data()),
                     static_cast<qsizetype>(wave->Size()));
    return gate_
        ->Ask<bool>([bytes = std::move(bytes)] {
            auto* data = new QMimeData;
            data->setData(kMimeTypes[0], bytes);
            QApplication::clipboard()->setMimeData(data); // the clipboard owns it
            return true;
        })
        .value_or(false);
}

std::shared_ptr<TMemoryBlock> TQtClipboardStore::GetWave() {
    const QByteArray bytes = gate_->Ask<QByteArray>(WaveBytesOnClipboard).value_or(QByteArray());
    if (bytes.isEmpty()) return nullptr;
    return TMemoryBlock::FromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
}
