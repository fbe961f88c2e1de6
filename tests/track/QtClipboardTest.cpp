#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include <atomic>
#include <thread>

#include "platform/MmioFile.h"
#include "track/view/QtClipboardStore.h"

class QtClipboardTest : public QObject {
    Q_OBJECT
  private slots:
    void WaveGoesInAndComesBackUnderTheWaveType() {
        TQtClipboardStore store;
        QApplication::clipboard()->clear();
        QVERIFY(!store.HoldsWave());
        const uint8_t bytes[] = {'R', 'I', 'F', 'F', 1, 2, 3};
        QVERIFY(store.SetWave(TMemoryBlock::FromBytes(bytes, sizeof bytes)));
        QVERIFY(store.HoldsWave());
        QVERIFY(QApplication::clipboard()->mimeData()->hasFormat("audio/wav"));
        auto back = store.GetWave();
        QVERIFY(back);
        QCOMPARE(back->Size(), static_cast<int64_t>(sizeof bytes));
        QCOMPARE(back->Data()[4], uint8_t(1));
    }

    void OtherProgramsWaveTypesAreReadToo() {
        TQtClipboardStore store;
        auto* data = new QMimeData;
        data->setData("audio/x-wav", QByteArray("RIFFxyz"));
        QApplication::clipboard()->setMimeData(data);
        QVERIFY(store.HoldsWave());
        QCOMPARE(store.GetWave()->Size(), int64_t(7));
        QApplication::clipboard()->setText("not audio");
        QVERIFY(!store.HoldsWave());
        QVERIFY(!store.GetWave());
    }

    void AWorkerIsAnsweredOnTheUserInterfaceThread() {
        TQtClipboardStore store;
        QApplication::clipboard()->clear();
        std::atomic<bool> done{false};
        std::atomic<bool> held{false};
        std::thread worker([&] {
            const uint8_t bytes[] = {'R', 'I', 'F', 'F'};
            store.SetWave(TMemoryBlock::FromBytes(bytes, sizeof bytes));
            held = store.HoldsWave();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        worker.join();
        QVERIFY(held.load());
    }

    void OpenIsExclusiveAcrossStores() {
        TQtClipboardStore store;
        TQtClipboardStore another; // another window's
        QVERIFY(store.Open());
        QVERIFY(!store.Open());
        QVERIFY(!another.Open());
        store.Close();
        QVERIFY(another.Open());
        another.Close();
    }

    // The window is about to wait for its track's worker, which waits for the clipboard: the
    // window lets it go first; the call fails as a busy clipboard would, and nothing is written.
    void AReleasedWorkerGivesUpAndWritesNothing() {
        TQtClipboardStore store;
        QApplication::clipboard()->setText("kept");
        std::atomic<bool> done{false};
        std::atomic<bool> set{true};
        std::thread worker([&] {
            const uint8_t bytes[] = {'R', 'I', 'F', 'F'};
            set = store.SetWave(TMemoryBlock::FromBytes(bytes, sizeof bytes));
            done = true;
        });
        while (store.Gate().Waiting() == 0)
            std::this_thread::yield();
        store.Gate().Release(); // as the window does before it waits, without turning its loop
        worker.join();
        QVERIFY(done.load());
        QVERIFY(!set.load());
        QCoreApplication::processEvents(); // the dropped call runs now and does nothing
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
    }
};

QTEST_MAIN(QtClipboardTest)
#include "QtClipboardTest.moc"
