#include <QComboBox>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "tests/common/FileReplaceCounter.h"
#include "tests/platform/TempFilesTestFolder.h"
#include "ui/widgets/CtxForm.h"
#include "ui/widgets/VelBtnBmpPnl.h"

namespace {

// The form as a window builds it: every component at its built value.
struct TTestForm {
    QWidget form;
    TVelBtnBmpPnl* panel = new TVelBtnBmpPnl(&form);
    QComboBox* devices = new QComboBox(&form);
    QComboBox* name = new QComboBox(&form);
    QTableWidget* grid = new QTableWidget(120, 25, &form);
    QComboBox* unnamed = new QComboBox(&form);

    TTestForm() {
        form.setWindowTitle("Organize");
        form.resize(300, 200);
        panel->setObjectName("N_Panel");
        devices->setObjectName("Devices");
        devices->addItems({"One", "Two", "Three"});
        name->setObjectName("Name");
        name->setEditable(true);
        name->setProperty("historyLimit", 2);
        grid->setObjectName("Grid");
        grid->setGeometry(0, 40, 200, 100);
        grid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        unnamed->addItems({"a", "b"});
    }
};

} // namespace

class CtxFormTest : public QObject {
    Q_OBJECT
  private slots:
    void SavedLayoutRestoresIntoAFreshFormWithOneWrite();
    void PinnedOrNotNormalSizeIsNeitherRestoredNorSaved();
    void OtherWindowsInsideAFormKeepTheirOwnLayout();
    void RefusedSaveSaysSo();
};

void CtxFormTest::SavedLayoutRestoresIntoAFreshFormWithOneWrite() {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    {
        TTestForm built;
        built.form.resize(333, 222);
        built.panel->SetBtnSize(bsBig);
        built.panel->SetCoOptions(1);
        built.panel->SetBgColor(12632256);
        built.devices->setCurrentIndex(2);
        built.name->addItems({"Warm", "Cold", "Dry"});
        built.name->setEditText("Typed");
        built.grid->setRowHeight(1, 44);
        built.grid->setColumnWidth(19, 77);
        built.grid->setShowGrid(false);
        built.unnamed->setCurrentIndex(1);
        TCTXForm settings(built.form, "TFormOrganize", path);
        TFileReplaceCounter writes(path);
        QVERIFY(writes.Watching());
        QVERIFY(settings.Save());
        QCOMPARE(writes.Take(), 1);
    }
    TProfileFile file(path);
    QCOMPARE(file.ReadSection("TFormOrganize").size(),
             std::size_t(2 + 4 + 100 + 20 + 3 + 1 + 1 + 2)); // at most 100 rows, 20 columns
    QVERIFY(!file.ValueExists("TFormOrganize", "GridR100"));
    QVERIFY(!file.ValueExists("TFormOrganize", "GridC20"));
    QCOMPARE(file.ReadString("TFormOrganize", "NameTEXT1", ""), std::string("Cold"));

    TTestForm fresh;
    QSignalSpy sizeChanges(fresh.panel, &TVelBtnBmpPnl::BtnSizeChanged);
    QSignalSpy colorChanges(fresh.panel, &TVelBtnBmpPnl::BgColorChanged);
    TCTXForm settings(fresh.form, "TFormOrganize", path);
    settings.Restore();
    QCOMPARE(fresh.form.size(), QSize(333, 222));
    QCOMPARE(fresh.panel->BtnSize(), bsBig);
    QCOMPARE(fresh.panel->height(), 45);
    QCOMPARE(fresh.panel->CoOptions(), 1);
    QCOMPARE(fresh.panel->BgColor(), 12632256);
    // A restored look is not routed to the form's other panels as the user's change.
    QCOMPARE(sizeChanges.count(), 0);
    QCOMPARE(colorChanges.count(), 0);
    QCOMPARE(fresh.devices->currentIndex(), 2);
    QCOMPARE(fresh.name->count(), 2); // the history limit
    QCOMPARE(fresh.name->itemText(1), QString("Cold"));
    QCOMPARE(fresh.name->currentText(), QString("Typed"));
    QCOMPARE(fresh.grid->rowHeight(1), 44);
    QCOMPARE(fresh.grid->columnWidth(19), 77);
    QCOMPARE(fresh.grid->geometry().top(), 40);
    QCOMPARE(fresh.grid->height(), 100);
    QVERIFY(!fresh.grid->showGrid());
    QCOMPARE(fresh.unnamed->currentIndex(), 0);
}

void CtxFormTest::PinnedOrNotNormalSizeIsNeitherRestoredNorSaved() {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    // Written by hand: names in any case address the same keys.
    WriteBytes(path, "[tformorganize]\nheight=321\nWidth=222\n");
    TTestForm form;
    TCTXForm settings(form.form, "TFormOrganize", path);
    settings.Restore();
    QCOMPARE(form.form.size(), QSize(222, 321));

    TProfileFile file(path);
    QVERIFY(file.WriteInteger("TFormOrganize", "HEIGHTOrganize", 1));
    TTestForm pinned;
    TCTXForm pinnedSettings(pinned.form, "TFormOrganize", path);
    pinnedSettings.Restore();
    QCOMPARE(pinned.form.size(), QSize(300, 200));
    QVERIFY(pinnedSettings.Save());
    QCOMPARE(file.ReadInteger("TFormOrganize", "HEIGHT", 0), 321);
    QVERIFY(file.DeleteKey("TFormOrganize", "HEIGHTOrganize"));

    // An MDI child counts by its sub-window: a maximized one saves no size.
    QMdiArea area;
    auto* child = new QWidget;
    child->setWindowTitle("Organize");
    QMdiSubWindow* frame = area.addSubWindow(child);
    frame->resize(500, 400);
    TCTXForm childSettings(*child, "TFormOrganize", path);
    childSettings.SetFrameWidget(frame);
    frame->setWindowState(Qt::WindowMaximized);
    QVERIFY(childSettings.Save());
    QCOMPARE(file.ReadInteger("TFormOrganize", "HEIGHT", 0), 321);
    frame->setWindowState(Qt::WindowNoState);
    frame->resize(500, 400);
    QVERIFY(childSettings.Save());
    QCOMPARE(file.ReadInteger("TFormOrganize", "HEIGHT", 0), 400);
    QCOMPARE(file.ReadInteger("TFormOrganize", "WIDTH", 0), 500);
}

void CtxFormTest::OtherWindowsInsideAFormKeepTheirOwnLayout() {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    QWidget frame;
    auto* panel = new TVelBtnBmpPnl(&frame);
    panel->setObjectName("Panel");
    auto* area = new QMdiArea(&frame);
    auto* child = new QWidget;
    auto* childList = new QComboBox(child);
    childList->setObjectName("ChildList");
    area->addSubWindow(child);
    auto* inner = new QWidget(&frame); // a form inside a form, with its own settings object
    auto* innerList = new QComboBox(inner);
    innerList->setObjectName("InnerList");
    TCTXForm innerSettings(*inner, "TFormInner", path);
    TCTXForm settings(frame, "TFormStudio", path);

    QVERIFY(settings.Save());
    QVERIFY(innerSettings.Save());
    TProfileFile file(path);
    QVERIFY(file.ValueExists("TFormStudio", "PanelSIZE"));
    QVERIFY(!file.ValueExists("TFormStudio", "ChildListINDEX"));
    QVERIFY(!file.ValueExists("TFormStudio", "InnerListINDEX"));
    QVERIFY(file.ValueExists("TFormInner", "InnerListINDEX"));
}

void CtxFormTest::RefusedSaveSaysSo() {
    TTestFolder folder;
    WriteBytes(folder / "plain", "");
    TTestForm form;
    TCTXForm settings(form.form, "TFormOrganize", folder / "plain/wavestack.TXT");
    QVERIFY(!settings.Save());
    QVERIFY(!settings.File().LastError().empty());
}

QTEST_MAIN(CtxFormTest)
#include "CtxFormTest.moc"
