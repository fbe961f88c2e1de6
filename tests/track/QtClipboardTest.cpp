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

    void OpenIsExclusive() {
        TQtClipboardStore store;
        QVERIFY(store.Open());
        QVERIFY(!store.Open());
        store.Close();
        QVERIFY(store.Open());
        store.Close();
    }
};

QTEST_MAIN(QtClipboardTest)
#include "QtClipboardTest.moc"
