// The desktop's clipboard as the track's wave store: a complete wave file under the MIME type
// "audio/wav". Every clipboard call runs on the user-interface thread; a worker that asks
// waits through a TUiCallGate until it has been answered, so the window can let it go (the
// call then fails as an unavailable clipboard would) before it waits for that worker itself.
#pragma once

#include <QObject>

#include <memory>

#include "track/TrackInterfaces.h"
#include "ui/core/UiCallGate.h"

class QClipboard;

class TQtClipboardStore : public QObject, public TClipboardStore {
    Q_OBJECT
  public:
    // Must be created on the user-interface thread. A window passes its own gate, the one it
    // releases before waiting for its track's worker; without one the store keeps its own.
    explicit TQtClipboardStore(TUiCallGate* gate = nullptr, QObject* parent = nullptr);

    bool HoldsWave() override;
    // The desktop clipboard has no lock of its own: one open for the whole process keeps two
    // of our tracks from using it in the same operation, whichever store each goes through.
    bool Open() override;
    void Close() override;
    bool SetWave(std::shared_ptr<TMemoryBlock> wave) override;
    std::shared_ptr<TMemoryBlock> GetWave() override;

    TUiCallGate& Gate() { return *gate_; }

    // Types read, in order of preference; the first is also the one written.
    static const char* const kMimeTypes[3];

  private:
    std::unique_ptr<TUiCallGate> ownGate_;
    TUiCallGate* gate_;
};
