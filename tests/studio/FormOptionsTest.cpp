// The option dialogs offscreen: what they show from the rules, the chooser, the saved list
// selections, OK and Cancel as the main window sees them (a logging host), and the device
// lists of the private sound server (skipped without PULSE_SERVER). OPTIONS_SHOT=<folder>
// saves what a user sees as sound.png and defaults.png there.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>

#include "platform/ConfigPaths.h"
#include "studio/FormDefaults.h"
#include "studio/FormSound.h"
#include "studio/core/SoundSetup.h"
#include "tests/studio/OptionsFakes.h"
#include "track/view/PositionPanel.h"
#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

namespace {

constexpr WAVEFORMATEX kStereo44{1, 2, 44100, 176400, 4, 16, 0};
constexpr WAVEFORMATEX kMono22At8{1, 1, 22050, 22050, 1, 8, 0};

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items << list.itemText(i);
    return items;
}

// Acts as the user while `dialog` is up; a dialog left open is closed after 10 s.
void WhileShown(QDialog& dialog, std::function<void()> user) {
    QTimer::singleShot(0, &dialog, [&dialog, user] {
        if (!QTest::qWaitForWindowExposed(&dialog)) return dialog.reject();
        user();
    });
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
}

TInputQuery TwoInputs() {
    TInputQuery query;
    query.count = [] { return 2u; };
    query.caps = [](int32_t device, TWaveInCaps& caps) {
        caps.productName = device == 0 ? "Line In" : "USB Mic";
        return MMSYSERR_NOERROR;
    };
    return query;
}

TSoundDeviceSources FakeSources(TInputQuery input = TwoInputs()) {
    TSoundDeviceSources sources;
    sources.input = std::move(input);
    sources.outputs = [] {
        return std::vector<TSoundDevice>{
            {"", "Default Output"}, {"testsink", "Test_Sink"}, {"testsink2", "Second_Sink"}};
    };
    return sources;
}

// A chooser that answers `answer` (nullopt: cancelled) and keeps what it was opened with.
struct TFakeChooser {
    std::optional<WAVEFORMATEX> answer;
    QString title;
    WAVEFORMATEX openedOn{};
    int opened = 0;
    TWaveFormatPicker::FormatDialog Dialog() {
        return [this](QWidget*, const QString& t, const WAVEFORMATEX& current) {
            title = t;
            openedOn = current;
            ++opened;
            return answer;
        };
    }
};

void Shoot(QWidget& dialog, const char* name) {
    const char* folder = std::getenv("OPTIONS_SHOT");
    if (!folder) return;
    QVERIFY(dialog.grab().save(QDir(QString::fromLocal8Bit(folder)).filePath(name)));
}

} // namespace

class FormOptionsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void SoundOptionsShowAndApplyTheChoice();
    void SoundOptionsWithoutInputsAndWithAFailingQuery();
    void SoundOptionsOnTheSoundServer();
    void DefaultsFollowTheLengthAndStoreIt();

  private:
    QTemporaryDir config_;
};

void FormOptionsTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("WAVESTACK_CONFIG_DIR", config_.path().toLocal8Bit());
}

void FormOptionsTest::init() {
    QFile::remove(QString::fromStdString(SettingsFilePath())); // no layout saved
}

void FormOptionsTest::SoundOptionsShowAndApplyTheChoice() {
    TLoggingHost host(2);
    host.settings.recorder = 1;
    host.settings.device = "second_SINK";
    host.settings.outputFormat = kStereo44;
    TFakeChooser chooser;
    chooser.answer = kMono22At8;

    const bool ok = RunSoundOptions(nullptr, host, FakeSources(), [&](TFormSound& dialog) {
        dialog.SetFormatDialog(chooser.Dialog());
        WhileShown(dialog, [&] {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Sound Options"));
            QCOMPARE(dialog.HelpContext(), 5000);
            QCOMPARE(dialog.InBox()->title(), QStringLiteral("Input"));
            QCOMPARE(dialog.OutBox()->title(), QStringLiteral("Output"));
            QVERIFY(dialog.InBox()->isEnabled());
            QCOMPARE(Items(*dialog.InList()), (QStringList{"WAVE_MAPPER", "Line In", "USB Mic"}));
            QCOMPARE(dialog.InList()->currentIndex(), 2); // recorder 1
            QCOMPARE(Items(*dialog.OutList()),
                     (QStringList{"Default Output", "Test_Sink", "Second_Sink"}));
            QCOMPARE(dialog.OutList()->currentIndex(), 2);
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("16 bit Stereo @44100Hz"));
            QCOMPARE(dialog.WaveDesc()->toolTip(), QStringLiteral("Click up arrow to change"));
            QVERIFY(dialog.WaveDesc()->isReadOnly());
            QCOMPARE(dialog.OpenBtn()->Caption(), QStringLiteral("Open|Open wave format dialog"));
            QCOMPARE(dialog.OpenBtn()->size(), QSize(45, 40)); // big
            QCOMPARE(dialog.OpenPanel()->height(), 45);
            Shoot(dialog, "sound.png");

            dialog.OpenBtn()->PerformClick();
            QCOMPARE(chooser.title, QStringLiteral("Choose a Default Wave Format for output"));
            QCOMPARE(chooser.openedOn.nChannels, 2);
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("8 bit Mono @22050Hz"));
            dialog.InList()->setCurrentIndex(1);
            dialog.OutList()->setCurrentIndex(0);
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
    });
    QVERIFY(ok);
    QCOMPARE(host.settings.recorder, 0);
    QCOMPARE(host.settings.device, std::string("Default Output"));
    QCOMPARE(host.settings.outputFormat.nSamplesPerSec, 22050u);
    QCOMPARE(host.settings.outputFormat.wBitsPerSample, uint16_t(8));
    QCOMPARE(host.panel.messages, (std::vector<TKeptMessage>{{2, "Recording with Line In"}}));
    QCOMPARE(host.log,
             (std::vector<std::string>{"input 0 0", "input 1 0", "release 0", "release 1",
                                       "create  Default Output 22050", "give 0", "give 1"}));

    // The next time the list indexes of that OK come back over the computed ones; Cancel then
    // leaves everything, a format chosen with a double click included.
    TLoggingHost next(1);
    next.settings.recorder = 1;         // item 2 computed
    next.settings.device = "Test_Sink"; // item 1 computed
    const WAVEFORMATEX before = next.settings.outputFormat;
    chooser.opened = 0;
    const bool again = RunSoundOptions(nullptr, next, FakeSources(), [&](TFormSound& dialog) {
        dialog.SetFormatDialog(chooser.Dialog());
        WhileShown(dialog, [&] {
            QCOMPARE(dialog.InList()->currentIndex(), 1);
            QCOMPARE(dialog.OutList()->currentIndex(), 0);
            QTest::mouseDClick(dialog.WaveDesc(), Qt::LeftButton);
            QCOMPARE(chooser.opened, 1);
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("8 bit Mono @22050Hz"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
    });
    QVERIFY(!again);
    QCOMPARE(next.settings.recorder, 1);
    QCOMPARE(next.settings.device, std::string("Test_Sink"));
    QCOMPARE(next.settings.outputFormat.nSamplesPerSec, before.nSamplesPerSec);
    QVERIFY(next.log.empty());
    QVERIFY(next.panel.messages.empty());
}

void FormOptionsTest::SoundOptionsWithoutInputsAndWithAFailingQuery() {
    TInputQuery none;
    none.count = [] { return 0u; };
    none.caps = [](int32_t, TWaveInCaps&) { return MMSYSERR_BADDEVICEID; };
    TLoggingHost host(1);
    host.settings.device = "Test_Sink";
    TFakeChooser chooser; // cancelled: the format stays
    const bool ok = RunSoundOptions(nullptr, host, FakeSources(none), [&](TFormSound& dialog) {
        dialog.SetFormatDialog(chooser.Dialog());
        WhileShown(dialog, [&] {
            QVERIFY(!dialog.InBox()->isEnabled());
            QVERIFY(!dialog.InList()->isEnabled());
            QCOMPARE(Items(*dialog.InList()), QStringList{"WAVE_MAPPER"});
            QVERIFY(dialog.OutBox()->isEnabled()); // the output side works
            dialog.OpenBtn()->PerformClick();
            QCOMPARE(chooser.opened, 1);
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("16 bit Stereo @44100Hz"));
            dialog.OutList()->setCurrentIndex(2);
            dialog.OkBtn()->PerformClick();
        });
    });
    QVERIFY(ok);
    QCOMPARE(host.panel.messages, (std::vector<TKeptMessage>{{1, "No Recording devices available."},
                                                             {2, "Recording with WAVE_MAPPER"}}));
    QCOMPARE(host.settings.device, std::string("Second_Sink"));

    // A device that cannot be asked ends the command before the dialog shows.
    TInputQuery failing = TwoInputs();
    failing.caps = [](int32_t device, TWaveInCaps& caps) {
        caps.productName = "Line In";
        return device == 1 ? MMSYSERR_NOMEM : MMSYSERR_NOERROR;
    };
    TLoggingHost ended(1);
    bool shown = false;
    QVERIFY(
        !RunSoundOptions(nullptr, ended, FakeSources(failing), [&](TFormSound&) { shown = true; }));
    QVERIFY(!shown);
    QCOMPARE(ended.panel.messages, (std::vector<TKeptMessage>{{1, "WaveinGetDevCaps. 7"}}));
    QVERIFY(ended.log.empty());
    QCOMPARE(ended.settings.recorder, -1);
}

void FormOptionsTest::SoundOptionsOnTheSoundServer() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("PULSE_SERVER not set: start tests/pulse/server.sh");
    TLoggingHost host(1);
    host.settings.device = "Test_Sink";
    TSoundSetup sound(host.panel);
    host.recreate = [&](const TSoundDevice&) {
        QVERIFY(sound.Initialise(host.settings.device, host.settings.outputFormat));
    };
    const bool ok = RunSoundOptions(nullptr, host, {}, [&](TFormSound& dialog) {
        WhileShown(dialog, [&] {
            const QStringList inputs = Items(*dialog.InList());
            QCOMPARE(inputs.value(0), QStringLiteral("WAVE_MAPPER"));
            QVERIFY(inputs.contains(QStringLiteral("Test_Mic")));
            QVERIFY(inputs.contains(QStringLiteral("Monitor of Test_Sink")));
            QCOMPARE(dialog.InList()->currentIndex(), 0);
            const QStringList outputs = Items(*dialog.OutList());
            QCOMPARE(outputs.value(0), QStringLiteral("Default Output"));
            QVERIFY(outputs.contains(QStringLiteral("Second_Sink")));
            QCOMPARE(dialog.OutList()->currentText(), QStringLiteral("Test_Sink"));
            dialog.InList()->setCurrentIndex(
                inputs.indexOf(QStringLiteral("Monitor of Test_Sink")));
            Shoot(dialog, "sound-server.png"); // the longest names the server gives
            dialog.InList()->setCurrentIndex(inputs.indexOf(QStringLiteral("Test_Mic")));
            dialog.OutList()->setCurrentIndex(outputs.indexOf(QStringLiteral("Second_Sink")));
            dialog.OkBtn()->PerformClick();
        });
    });
    QVERIFY(ok);
    TWaveInCaps caps; // the number stored is the one the input layer knows the device by
    QCOMPARE(WaveInGetDevCaps(host.settings.recorder, caps), MMSYSERR_NOERROR);
    QCOMPARE(caps.productName, std::string("Test_Mic"));
    QCOMPARE(sound.DeviceName(), std::string("Second_Sink"));
    QVERIFY(sound.Device() != nullptr);
    QCOMPARE(host.panel.messages,
             (std::vector<TKeptMessage>{{2, "Recording with Test_Mic"},
                                        {2, "Second_Sink Initialized {16 bit Stereo @44100Hz)"}}));
}

void FormOptionsTest::DefaultsFollowTheLengthAndStoreIt() {
    TStudioSettings settings; // a first start: 16-bit mono at 44100 Hz, "00:30:00"
    TKeepingSink panel;
    TFakeChooser chooser;
    chooser.answer = kStereo44;
    const bool ok = RunDefaultsOptions(nullptr, settings, panel, [&](TFormDefaults& dialog) {
        dialog.SetFormatDialog(chooser.Dialog());
        WhileShown(dialog, [&] {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Defaults"));
            QCOMPARE(dialog.HelpContext(), 5010);
            QCOMPARE(dialog.NewTrackBox()->title(), QStringLiteral("New Track"));
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("16 bit Mono @44100Hz"));
            QCOMPARE(dialog.WaveDesc()->toolTip(), QStringLiteral("Click up arrow to change"));
            QCOMPARE(dialog.Length()->toolTip(),
                     QStringLiteral("Play Length  (Minutes.Seconds.Fractional Seconds)"));
            QCOMPARE(dialog.OpenBtn()->size(), QSize(45, 40));
            // 30 s of mono: 2646000 bytes.
            QCOMPARE(dialog.LengthInBytes()->text(), QStringLiteral("File Size is 2.52 M"));
            Shoot(dialog, "defaults.png");

            dialog.OpenBtn()->PerformClick();
            QCOMPARE(chooser.title, QStringLiteral("Choose a Default Wave Format for New Tracks"));
            QCOMPARE(dialog.WaveDesc()->text(), QStringLiteral("16 bit Stereo @44100Hz"));
            QCOMPARE(dialog.LengthInBytes()->text(), QStringLiteral("File Size is 5.05 M"));

            // Typed with blanks: 01:  .5 and four more. 60.5 s of stereo is 10672200 bytes.
            dialog.Length()->setFocus();
            dialog.Length()->selectAll();
            QTest::keyClick(dialog.Length(), Qt::Key_Delete);
            dialog.Length()->home(false);
            QTest::keyClicks(dialog.Length(), QStringLiteral("01:  .5    "));
            QCOMPARE(dialog.LengthText(), std::string("01:00.50000"));
            QCOMPARE(dialog.LengthInBytes()->text(), QStringLiteral("File Size is 10.18 M"));
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
    });
    QVERIFY(ok);
    QCOMPARE(settings.trackLength, std::string("01:00.50000"));
    QCOMPARE(settings.trackFormat.nChannels, uint16_t(2));
    QCOMPARE(panel.messages,
             (std::vector<TKeptMessage>{{2, "Default New Track wave format changed to 16 bit "
                                            "Stereo @44100Hz, Length 01:00.50000"}}));

    // Cancel keeps both.
    chooser.answer = kMono22At8;
    QVERIFY(!RunDefaultsOptions(nullptr, settings, panel, [&](TFormDefaults& dialog) {
        dialog.SetFormatDialog(chooser.Dialog());
        WhileShown(dialog, [&] {
            QCOMPARE(dialog.LengthText(), std::string("01:00.50000"));
            QTest::mouseDClick(dialog.WaveDesc(), Qt::LeftButton);
            QCOMPARE(dialog.LengthInBytes()->text(), QStringLiteral("File Size is 1.27 M"));
            dialog.CancelBtn()->PerformClick();
        });
    }));
    QCOMPARE(settings.trackFormat.nChannels, uint16_t(2));
    QCOMPARE(settings.trackLength, std::string("01:00.50000"));
    QCOMPARE(panel.messages.size(), std::size_t(1));
}

QTEST_MAIN(FormOptionsTest)
#include "FormOptionsTest.moc"
