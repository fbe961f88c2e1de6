#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/ConfigPaths.h"
#include "track/view/FormatChooser.h"
#include "ui/widgets/VelButtons.h"

namespace {

TFormFormatChooser* OpenChooser() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* chooser = qobject_cast<TFormFormatChooser*>(widget))
            if (chooser->isVisible()) return chooser;
    return nullptr;
}

// Runs ChooseWaveFormat; `user` acts on the open chooser as the user would.
std::optional<WAVEFORMATEX> Choose(const WAVEFORMATEX& current,
                                   const std::function<void(TFormFormatChooser&)>& user) {
    QTimer::singleShot(0, [user] {
        TFormFormatChooser* chooser = OpenChooser();
        if (!chooser) return;
        if (!QTest::qWaitForWindowExposed(chooser)) return chooser->reject();
        user(*chooser);
    });
    QTimer::singleShot(10000, [] { // rather than hang
        if (TFormFormatChooser* chooser = OpenChooser()) chooser->done(-1);
    });
    return ChooseWaveFormat(nullptr, QStringLiteral("Choose a Wave Format for Conversion"),
                            current);
}

void Pick(QComboBox* box, const QVariant& value) {
    box->setCurrentIndex(box->findData(value));
}

} // namespace

class FormatChooserTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void OpensOnTheCurrentFormatAndKeepsAnUnusualRate();
    void AChoiceFillsAConsistentRecordAndCancelGivesNothing();

  private:
    QTemporaryDir config_;
};

void FormatChooserTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("WAVESTACK_CONFIG_DIR", config_.path().toLocal8Bit());
    QFile::remove(QString::fromStdString(SettingsFilePath()));
}

void FormatChooserTest::OpensOnTheCurrentFormatAndKeepsAnUnusualRate() {
    std::optional<WAVEFORMATEX> chosen = Choose(MakePcmFormat(22050, 8, 1), [](auto& chooser) {
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Choose a Wave Format for Conversion"));
        QCOMPARE(chooser.RateBox()->currentText(), QStringLiteral("22050 Hz"));
        QCOMPARE(chooser.BitsBox()->currentText(), QStringLiteral("8 bit"));
        QCOMPARE(chooser.ChannelsBox()->currentText(), QStringLiteral("Mono"));
        QCOMPARE(chooser.RateBox()->count(), 9);
        chooser.OkBtn()->PerformClick();
    });
    QVERIFY(chosen);
    QVERIFY(SameFormat(*chosen, MakePcmFormat(22050, 8, 1)));

    // A file from elsewhere: 37800 Hz, 4 channels, 24 bits, its record inconsistent. The
    // rate is offered between 32000 and 44100; the system reads it as 8-bit stereo.
    WAVEFORMATEX odd{WAVE_FORMAT_PCM, 4, 37800, 12345, 0, 24, 0};
    chosen = Choose(odd, [](auto& chooser) {
        QComboBox& rates = *chooser.RateBox();
        QCOMPARE(rates.count(), 10);
        QCOMPARE(rates.currentText(), QStringLiteral("37800 Hz"));
        QCOMPARE(rates.itemText(rates.currentIndex() - 1), QStringLiteral("32000 Hz"));
        QCOMPARE(rates.itemText(rates.currentIndex() + 1), QStringLiteral("44100 Hz"));
        QCOMPARE(chooser.BitsBox()->currentText(), QStringLiteral("8 bit"));
        QCOMPARE(chooser.ChannelsBox()->currentText(), QStringLiteral("Stereo"));
        chooser.OkBtn()->PerformClick();
    });
    QVERIFY(chosen);
    QCOMPARE(chosen->nBlockAlign, 2);          // 2 channels of 1 byte
    QCOMPARE(chosen->nAvgBytesPerSec, 75600u); // 37800 frames of 2 bytes
}

void FormatChooserTest::AChoiceFillsAConsistentRecordAndCancelGivesNothing() {
    const std::optional<WAVEFORMATEX> chosen =
        Choose(MakePcmFormat(44100, 16, 2), [](auto& chooser) {
            Pick(chooser.RateBox(), 96000u);
            Pick(chooser.BitsBox(), 16);
            Pick(chooser.ChannelsBox(), 1);
            QCOMPARE(chooser.Summary()->text(),
                     QStringLiteral("16 bit Mono @96000Hz, 192,000 bytes a second"));
            if (qEnvironmentVariableIsSet("WAVESTACK_SCREENSHOT"))
                chooser.grab().save(qEnvironmentVariable("WAVESTACK_SCREENSHOT"));
            chooser.OkBtn()->PerformClick();
        });
    QVERIFY(chosen); // PCM, 96000 Hz, 192000 bytes a second, 2 a frame, 16 bit, 1 channel
    const WAVEFORMATEX expected{WAVE_FORMAT_PCM, 1, 96000, 192000, 2, 16, 0};
    QVERIFY(SameFormat(*chosen, expected));

    QVERIFY(!Choose(MakePcmFormat(44100, 16, 2), [](auto& chooser) {
        Pick(chooser.RateBox(), 8000u); // a change, then Cancel
        chooser.CancelBtn()->PerformClick();
    }));
}

QTEST_MAIN(FormatChooserTest)
#include "FormatChooserTest.moc"
