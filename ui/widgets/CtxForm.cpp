#include "ui/widgets/CtxForm.h"

#include <QComboBox>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QSignalBlocker>
#include <QTableWidget>

#include <variant>
#include <vector>

#include "ui/core/FormLayout.h"

namespace {

class TSectionSource : public TLayoutSource {
  public:
    TSectionSource(TProfileFile& file, const std::string& section)
        : file_(file), section_(section) {}
    int32_t ReadInteger(const std::string& key, int32_t fallback) override {
        return file_.ReadInteger(section_, key, fallback);
    }
    bool ReadBool(const std::string& key, bool fallback) override {
        return file_.ReadBool(section_, key, fallback);
    }
    std::string ReadString(const std::string& key, const std::string& fallback) override {
        return file_.ReadString(section_, key, fallback);
    }

  private:
    TProfileFile& file_;
    const std::string& section_;
};

// The components of one form in tree order; parallel to the vectors of its TFormLayout.
struct TComponents {
    std::vector<QTableWidget*> grids;
    std::vector<QWidget*> panels;
    std::vector<QComboBox*> combos;
};

std::string NameOf(const QObject& object) {
    return object.objectName().toStdString();
}

// Another window inside the form keeps its own layout.
bool IsOtherWindow(const QWidget& widget) {
    return widget.isWindow() || qobject_cast<const QMdiSubWindow*>(&widget) ||
           widget.property(TCTXForm::kFormProperty).isValid();
}

void Collect(const QWidget& parent, TComponents& out) {
    for (QObject* child : parent.children()) {
        if (!child->isWidgetType()) continue;
        QWidget* widget = static_cast<QWidget*>(child);
        if (IsOtherWindow(*widget)) continue;
        if (auto* grid = qobject_cast<QTableWidget*>(widget)) {
            out.grids.push_back(grid);
            continue; // headers, viewport and cell widgets are the grid's own
        }
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            out.combos.push_back(combo);
            continue;
        }
        if (widget->inherits("TVelBtnBmpPnl")) out.panels.push_back(widget);
        Collect(*widget, out);
    }
}

// Sizes may be kept only when the user can drag every section.
bool Resizable(const QHeaderView& header) {
    for (int i = 0; i < header.count(); ++i) {
        if (header.sectionResizeMode(i) != QHeaderView::Interactive) return false;
    }
    return header.count() > 0;
}

TGridLayout CaptureGrid(const QTableWidget& grid) {
    TGridLayout layout;
    layout.name = NameOf(grid);
    layout.height = grid.height();
    layout.top = grid.y();
    layout.verticalLines = layout.horizontalLines = grid.showGrid();
    layout.rowsResizable = Resizable(*grid.verticalHeader());
    if (layout.rowsResizable) {
        for (int r = 0; r < grid.rowCount(); ++r)
            layout.rowHeights.push_back(grid.rowHeight(r));
    }
    layout.columnsResizable = Resizable(*grid.horizontalHeader());
    if (layout.columnsResizable) {
        for (int c = 0; c < grid.columnCount(); ++c)
            layout.columnWidths.push_back(grid.columnWidth(c));
    }
    return layout;
}

void ApplyGrid(QTableWidget& grid, const TGridLayout& layout) {
    if (layout.height != grid.height()) grid.resize(grid.width(), layout.height);
    if (layout.top != grid.y()) grid.move(grid.x(), layout.top);
    grid.setShowGrid(layout.verticalLines || layout.horizontalLines);
    for (std::size_t r = 0; r < layout.rowHeights.size(); ++r) {
        const int row = static_cast<int>(r);
        if (row < grid.rowCount()) grid.setRowHeight(row, layout.rowHeights[r]);
    }
    for (std::size_t c = 0; c < layout.columnWidths.size(); ++c) {
        const int column = static_cast<int>(c);
        if (column < grid.columnCount()) grid.setColumnWidth(column, layout.columnWidths[c]);
    }
}

TPanelLayout CapturePanel(const QWidget& panel) {
    TPanelLayout layout;
    layout.name = NameOf(panel);
    layout.btnSize = panel.property("btnSize").toInt();
    layout.coOptions = panel.property("coOptions").toInt();
    layout.bgColor = panel.property("bgColor").toInt();
    return layout;
}

// Signals blocked: a restored look is not a user's change, and the form must not route one
// panel's restored value to the others.
void ApplyPanel(QWidget& panel, const TPanelLayout& layout) {
    const QSignalBlocker blocker(panel);
    if (panel.property("btnSize").toInt() != layout.btnSize)
        panel.setProperty("btnSize", layout.btnSize);
    if (panel.property("coOptions").toInt() != layout.coOptions)
        panel.setProperty("coOptions", layout.coOptions);
    if (panel.property("bgColor").toInt() != layout.bgColor)
        panel.setProperty("bgColor", layout.bgColor);
}

std::size_t HistoryLimit(const QComboBox& combo) {
    if (!combo.isEditable()) return 0;
    const int limit = combo.property("historyLimit").toInt();
    return limit > 0 ? static_cast<std::size_t>(limit) : 0;
}

TComboLayout CaptureCombo(const QComboBox& combo) {
    TComboLayout layout;
    layout.name = NameOf(combo);
    layout.dropDownList = !combo.isEditable();
    layout.index = combo.currentIndex();
    layout.itemCount = combo.count();
    layout.text = combo.currentText().toStdString();
    layout.historyLimit = HistoryLimit(combo);
    if (layout.historyLimit > 0) {
        for (int i = 0; i < combo.count(); ++i)
            layout.history.push_back(combo.itemText(i).toStdString());
    }
    return layout;
}

// Signals blocked, as for panels: the form reads its combo boxes after Restore.
void ApplyCombo(QComboBox& combo, const TComboLayout& layout) {
    const QSignalBlocker blocker(combo);
    if (layout.dropDownList) {
        combo.setCurrentIndex(layout.index);
        return;
    }
    if (layout.historyLimit > 0) {
        combo.clear();
        for (const std::string& item : layout.history)
            combo.addItem(QString::fromStdString(item));
    }
    combo.setEditText(QString::fromStdString(layout.text));
}

bool WriteEntry(TProfileFile& file, const std::string& section, const TLayoutEntry& entry) {
    if (const auto* number = std::get_if<int32_t>(&entry.value))
        return file.WriteInteger(section, entry.key, *number);
    if (const auto* flag = std::get_if<bool>(&entry.value))
        return file.WriteBool(section, entry.key, *flag);
    return file.WriteString(section, entry.key, std::get<std::string>(entry.value));
}

TFormState StateOf(const QWidget& frame) {
    const Qt::WindowStates state = frame.windowState();
    if (state & Qt::WindowMinimized) return TFormState::Minimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return TFormState::Maximized;
    return TFormState::Normal;
}

TComponents ComponentsOf(const QWidget& form) {
    TComponents components;
    Collect(form, components);
    return components;
}

TFormLayout Capture(const QWidget& form, const QWidget& frame, const TComponents& components) {
    TFormLayout layout;
    layout.caption = form.windowTitle().toStdString();
    layout.state = StateOf(frame);
    layout.height = frame.height();
    layout.width = frame.width();
    for (const QTableWidget* grid : components.grids)
        layout.grids.push_back(CaptureGrid(*grid));
    for (const QWidget* panel : components.panels)
        layout.panels.push_back(CapturePanel(*panel));
    for (const QComboBox* combo : components.combos)
        layout.combos.push_back(CaptureCombo(*combo));
    return layout;
}

void Apply(QWidget& frame, const TFormLayout& layout, bool sizeRead,
           const TComponents& components) {
    if (sizeRead && (frame.width() != layout.width || frame.height() != layout.height))
        frame.resize(layout.width, layout.height);
    for (std::size_t i = 0; i < components.grids.size(); ++i)
        ApplyGrid(*components.grids[i], layout.grids[i]);
    for (std::size_t i = 0; i < components.panels.size(); ++i)
        ApplyPanel(*components.panels[i], layout.panels[i]);
    for (std::size_t i = 0; i < components.combos.size(); ++i)
        ApplyCombo(*components.combos[i], layout.combos[i]);
}

} // namespace

TCTXForm::TCTXForm(QWidget& form, std::string section, std::string settingsPath)
    : form_(form), section_(std::move(section)), file_(std::move(settingsPath)) {
    form_.setProperty(kFormProperty, QString::fromStdString(section_));
}

void TCTXForm::SetFrameWidget(QWidget* frame) {
    frame_ = frame;
}

QWidget& TCTXForm::Frame() const {
    return frame_ ? *frame_ : form_;
}

void TCTXForm::Restore() {
    const TComponents components = ComponentsOf(form_);
    TFormLayout layout = Capture(form_, Frame(), components);
    TSectionSource source(file_, section_);
    TProfileBatch snapshot(file_); // every read from one view of the file
    const bool sizeRead = RestoreLayout(layout, source);
    snapshot.Commit();
    Apply(Frame(), layout, sizeRead, components);
}

bool TCTXForm::Save() {
    const TFormLayout layout = Capture(form_, Frame(), ComponentsOf(form_));
    EnsureParentFolder(file_.FileName()); // a failure shows in the write below
    TSectionSource source(file_, section_);
    TProfileBatch batch(file_);
    for (const TLayoutEntry& entry : LayoutWrites(layout, source)) {
        if (!WriteEntry(file_, section_, entry)) return false;
    }
    return batch.Commit();
}
