#include "studio/FormOrganize.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/widgets/VelBtnBmpPnl.h"
#include "ui/widgets/VelButtons.h"

namespace {

constexpr int kDesignWidth = 260;  // [px]
constexpr int kDesignHeight = 320; // [px]

QTableWidgetItem* Cell(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

TFormOrganize::TFormOrganize(QWidget* parent) : TFormVelB(parent) {
    setWindowTitle(QStringLiteral("Organize"));
    SetHelpContext(kHelpContext);
    // The window menu and minimize; no maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    upBtn_ = new TVelBtnBmp(N_Panel());
    upBtn_->setObjectName(QStringLiteral("UpBtn"));
    upBtn_->SetCaption(QStringLiteral("Up|Shift Track Up"));
    upBtn_->SetPicture(QStringLiteral("up"));
    downBtn_ = new TVelBtnBmp(N_Panel());
    downBtn_->setObjectName(QStringLiteral("DownBtn"));
    downBtn_->SetCaption(QStringLiteral("Down|Shift Track Down"));
    downBtn_->SetPicture(QStringLiteral("down"));
    upBtn_->SetBtnSize(bsSmall);
    downBtn_->SetBtnSize(bsSmall);
    N_Panel()->AddSeparator();
    N_Panel()->AddButton(upBtn_);
    N_Panel()->AddButton(downBtn_);
    connect(upBtn_, &TVelBtnBmp::Click, this, &TFormOrganize::UpBtnClick);
    connect(downBtn_, &TVelBtnBmp::Click, this, &TFormOrganize::DownBtnClick);

    grid_ = new QTableWidget(1, 2, ClientArea());
    grid_->setObjectName(QStringLiteral("Grid"));
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->setShowGrid(true);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setWordWrap(false);
    // The name column is as wide as the dialog, a little more than the grid shows: no
    // horizontal scrolling for the few pixels beyond.
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Selecting a name would scroll the wide column into view and the numbers out of it.
    QScrollBar* across = grid_->horizontalScrollBar();
    connect(across, &QScrollBar::valueChanged, across, [across](int value) {
        if (value != 0) across->setValue(0);
    });
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->setColumnWidth(0, kNumberColumnWidth);
    connect(grid_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { GridCurrentChanged(row); });
    auto* column = new QVBoxLayout(ClientArea());
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(grid_);

    resize(kDesignWidth, kDesignHeight);
    Show();
}

void TFormOrganize::Add(const QString& name) {
    rows_.Add(name.toStdString());
    Show();
}

void TFormOrganize::Finish() {
    rows_.Finish();
    Show();
}

QStringList TFormOrganize::Names() const {
    QStringList names;
    for (const std::string& name : rows_.Names())
        names.append(QString::fromStdString(name));
    return names;
}

void TFormOrganize::SetMoveButtonsVisible(bool visible) {
    upBtn_->setVisible(visible);
    downBtn_->setVisible(visible);
}

void TFormOrganize::EnableOk() {
    rows_.EnableOk();
    Show();
}

void TFormOrganize::UpBtnClick() {
    if (rows_.Up()) Show();
}

void TFormOrganize::DownBtnClick() {
    if (rows_.Down()) Show();
}

void TFormOrganize::GridCurrentChanged(int row) {
    rows_.Select(row);
    Show();
}

void TFormOrganize::Show() {
    {
        const QSignalBlocker block(grid_); // setting the current row is no user's click
        grid_->setRowCount(rows_.RowCount());
        for (int row = 0; row < rows_.RowCount(); ++row) {
            const TOrganizeRows::Row& cells = rows_.RowAt(row);
            grid_->setItem(row, 0, Cell(cells.number));
            grid_->setItem(row, 1, Cell(cells.name));
        }
        if (rows_.Selected() >= 0) grid_->setCurrentCell(rows_.Selected(), 1);
    }
    grid_->viewport()->update();
    upBtn_->setEnabled(rows_.UpEnabled());
    downBtn_->setEnabled(rows_.DownEnabled());
    OkBtn()->setEnabled(rows_.OkEnabled());
    OkBtn()->SetDefault(rows_.OkDefault());
}

void TFormOrganize::resizeEvent(QResizeEvent* event) {
    TFormVelB::resizeEvent(event);
    grid_->setColumnWidth(1, width() - kNameColumnMargin);
}
