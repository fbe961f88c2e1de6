// The desktop's clipboard as the track's wave store: a complete wave file under the MIME type
// "audio/wav". Every clipboard call runs on the user-interface thread; a worker that asks
// waits until it has been answered.
#pragma once

#include <QObject>

#include <memory>
#include <mutex>

#include "track/TrackInterfaces.h"

class QClipboard;

class TQtClipboardStore : public QObject, public TClipboardStore {
    Q_OBJECT
  public:
    // Must be created on the user-interface thread.
    explicit TQtClipboardStore(QObject* parent = nullptr);

    bool HoldsWave() override;
    bool Open() override;
    void Close() override;
    bool SetWave(std::shared_ptr<TMemoryBlock> wave) override;
    std::shared_ptr<TMemoryBlock> GetWave() override;

    // Types read, in order of preference; the first is also the one written.
    static const char* const kMimeTypes[3];

  private:
    // Runs `call` on the thread that owns this object, waiting for it when called elsewhere.
    void OnUiThread(const std::function<void()>& call);

    std::mutex openMutex_;
    bool open_ = false;
};
