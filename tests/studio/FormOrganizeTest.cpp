#include <QApplication>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/ConfigPaths.h"
#include "studio/FormOrganize.h"
#include "ui/widgets/VelButtons.h"

namespace {

QStringList Column(const QTableWidget& grid, int column) {
    QStringList texts;
    for (int row = 0; row < grid.rowCount(); ++row)
        texts << (grid.item(row, column) ? grid.item(row, column)->text() : QString());
    return texts;
}

void ClickRow(QTableWidget& grid, int row) {
    const QRect cell = grid.visualRect(grid.model()->index(row, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
}

// Runs the dialog modally; `user` acts while it is up, as the user would.
int Run(TFormOrganize& dialog, const std::function<void()>& user) {
    QTimer::singleShot(0, &dialog, [&dialog, user] {
        if (!QTest::qWaitForWindowExposed(&dialog)) return dialog.reject();
        user();
    });
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); }); // rather than hang
    return dialog.exec();
}

} // namespace

class FormOrganizeTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void ThreeTracksLastUpTwice();
    void CombineConfirmationWithOneTrack();
    void ASingleRowMovesNowhere();

  private:
    QTemporaryDir config_;
};

void FormOrganizeTest::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("WAVESTACK_CONFIG_DIR", config_.path().toLocal8Bit());
    QFile::remove(QString::fromStdString(SettingsFilePath()));
}

void FormOrganizeTest::ThreeTracksLastUpTwice() {
    TFormOrganize dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Organize"));
    QCOMPARE(dialog.HelpContext(), 2050);
    QVERIFY(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    dialog.setWindowTitle(QStringLiteral("Organize Tracks"));
    dialog.SetHelpContext(2040);
    for (const char* name : {"Bass", "Drums", "Voice"})
        dialog.Add(QString::fromLatin1(name));
    QCOMPARE(dialog.Grid()->rowCount(), 4); // the empty row until Finish
    dialog.Finish();
    QTableWidget& grid = *dialog.Grid();

    const int result = Run(dialog, [&] {
        QCOMPARE(grid.currentRow(), 0);
        QVERIFY(!dialog.OkBtn()->isEnabled());
        QVERIFY(!dialog.OkBtn()->Default());
        ClickRow(grid, 2);
        QVERIFY(dialog.UpBtn()->isEnabled());
        QVERIFY(!dialog.DownBtn()->isEnabled());
        dialog.UpBtn()->PerformClick();
        dialog.UpBtn()->PerformClick();
        QCOMPARE(grid.columnViewportPosition(0), 0); // the numbers stay in view
        QCOMPARE(Column(grid, 0), (QStringList{"1", "2", "3"}));
        QCOMPARE(Column(grid, 1), (QStringList{"Voice", "Bass", "Drums"}));
        QCOMPARE(grid.currentRow(), 0);
        QVERIFY(!dialog.UpBtn()->isEnabled());
        QVERIFY(dialog.DownBtn()->isEnabled());
        QVERIFY(dialog.OkBtn()->isEnabled());
        QVERIFY(dialog.OkBtn()->Default());

        // The number column stays 30 wide, the name column the dialog's width less 5.
        dialog.resize(340, 280);
        QCOMPARE(grid.columnWidth(0), 30);
        QCOMPARE(grid.columnWidth(1), 335);
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.Names(), (QStringList{"Voice", "Bass", "Drums"}));

    // Closed with OK, its size is there at the next organize.
    TFormOrganize next;
    next.Add(QStringLiteral("Bass"));
    next.Finish();
    Run(next, [&] {
        QCOMPARE(next.size(), QSize(340, 280));
        QCOMPARE(next.Grid()->columnWidth(1), 335);
        next.CancelBtn()->PerformClick();
    });
}

void FormOrganizeTest::CombineConfirmationWithOneTrack() {
    TFormOrganize dialog;
    dialog.setWindowTitle(QStringLiteral("Combine Tracks into a New Track"));
    dialog.SetHelpContext(3070);
    dialog.SetMoveButtonsVisible(false);
    dialog.EnableOk();
    dialog.Add(QStringLiteral("Bass"));
    dialog.Finish();
    const int result = Run(dialog, [&] {
        QVERIFY(!dialog.UpBtn()->isVisible());
        QVERIFY(!dialog.DownBtn()->isVisible());
        QVERIFY(dialog.OkBtn()->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Return); // confirmed at once
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.Names(), QStringList{"Bass"});
}

void FormOrganizeTest::ASingleRowMovesNowhere() {
    TFormOrganize dialog;
    dialog.Add(QStringLiteral("Bass"));
    dialog.Finish();
    const int result = Run(dialog, [&] {
        ClickRow(*dialog.Grid(), 0);
        QVERIFY(!dialog.UpBtn()->isEnabled());
        QVERIFY(!dialog.DownBtn()->isEnabled());
        QVERIFY(!dialog.OkBtn()->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Return); // OK is disabled: nothing happens
        QVERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(dialog.ModalResult(), TModalResult::Cancel);
}

QTEST_MAIN(FormOrganizeTest)
#include "FormOrganizeTest.moc"
