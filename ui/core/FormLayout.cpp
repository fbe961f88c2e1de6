#include "ui/core/FormLayout.h"

#include <algorithm>

namespace {

// The stored value when it is at least 1, else the current one.
int32_t ReadPositive(TLayoutSource& source, const std::string& key, int32_t current) {
    const int32_t value = source.ReadInteger(key, current);
    return value >= 1 ? value : current;
}

void RestoreGrid(TGridLayout& grid, TLayoutSource& source) {
    const std::string& name = grid.name;
    grid.height = ReadPositive(source, name + "Height", grid.height);
    grid.top = source.ReadInteger(name + "TOP", grid.top);
    grid.verticalLines = source.ReadBool(name + "VL", grid.verticalLines);
    grid.horizontalLines = source.ReadBool(name + "HL", grid.horizontalLines);
    if (grid.rowsResizable) {
        const std::size_t rows = std::min(grid.rowHeights.size(), kMaxLayoutRows);
        for (std::size_t r = 0; r < rows; ++r)
            grid.rowHeights[r] =
                ReadPositive(source, name + "R" + std::to_string(r), grid.rowHeights[r]);
    }
    if (grid.columnsResizable) {
        const std::size_t columns = std::min(grid.columnWidths.size(), kMaxLayoutColumns);
        for (std::size_t c = 0; c < columns; ++c) {
            grid.columnWidths[c] =
                ReadPositive(source, name + "C" + std::to_string(c), grid.columnWidths[c]);
        }
    }
}

void RestorePanel(TPanelLayout& panel, TLayoutSource& source) {
    const int32_t size = source.ReadInteger(panel.name + "SIZE", panel.btnSize);
    if (size >= 0 && size < kLayoutButtonSizes) panel.btnSize = size;
    panel.coOptions = source.ReadInteger(panel.name + "COOPTIONS", panel.coOptions);
    panel.bgColor = source.ReadInteger(panel.name + "BGCOLOR", panel.bgColor);
}

void RestoreCombo(TComboLayout& combo, TLayoutSource& source) {
    if (combo.dropDownList) {
        const int32_t index = source.ReadInteger(combo.name + "INDEX", combo.index);
        if (index >= -1 && index < combo.itemCount) combo.index = index;
        return;
    }
    combo.text = source.ReadString(combo.name + "TEXT", combo.text);
    if (combo.historyLimit == 0) return;
    std::vector<std::string> history;
    for (std::size_t k = 0; k < combo.historyLimit; ++k) {
        const std::string current = k < combo.history.size() ? combo.history[k] : std::string();
        std::string item = source.ReadString(combo.name + "TEXT" + std::to_string(k), current);
        if (!item.empty()) history.push_back(std::move(item));
    }
    combo.history = std::move(history);
}

void GridWrites(const TGridLayout& grid, std::vector<TLayoutEntry>& out) {
    const std::string& name = grid.name;
    out.push_back({name + "Height", grid.height});
    out.push_back({name + "TOP", grid.top});
    out.push_back({name + "VL", grid.verticalLines});
    out.push_back({name + "HL", grid.horizontalLines});
    if (grid.rowsResizable) {
        const std::size_t rows = std::min(grid.rowHeights.size(), kMaxLayoutRows);
        for (std::size_t r = 0; r < rows; ++r)
            out.push_back({name + "R" + std::to_string(r), grid.rowHeights[r]});
    }
    if (grid.columnsResizable) {
        const std::size_t columns = std::min(grid.columnWidths.size(), kMaxLayoutColumns);
        for (std::size_t c = 0; c < columns; ++c)
            out.push_back({name + "C" + std::to_string(c), grid.columnWidths[c]});
    }
}

void ComboWrites(const TComboLayout& combo, std::vector<TLayoutEntry>& out) {
    if (combo.dropDownList) {
        out.push_back({combo.name + "INDEX", combo.index});
        return;
    }
    out.push_back({combo.name + "TEXT", combo.text});
    const std::size_t items = std::min(combo.history.size(), combo.historyLimit);
    for (std::size_t k = 0; k < items; ++k)
        out.push_back({combo.name + "TEXT" + std::to_string(k), combo.history[k]});
}

template <class Component> bool Kept(const Component& component) {
    return !component.name.empty();
}

} // namespace

bool SizeIsPinned(const TFormLayout& layout, TLayoutSource& source) {
    // Without a caption the pinning key would be "HEIGHT" itself, which the first save writes:
    // the form would keep its size once and never again.
    if (layout.caption.empty()) return false;
    return source.ReadInteger("HEIGHT" + layout.caption, 0) != 0;
}

bool RestoreLayout(TFormLayout& layout, TLayoutSource& source) {
    bool sizeRead = false;
    if (layout.state == TFormState::Normal && !SizeIsPinned(layout, source)) {
        layout.height = ReadPositive(source, "HEIGHT", layout.height);
        layout.width = ReadPositive(source, "WIDTH", layout.width);
        sizeRead = true;
    }
    for (TGridLayout& grid : layout.grids) {
        if (Kept(grid)) RestoreGrid(grid, source);
    }
    for (TPanelLayout& panel : layout.panels) {
        if (Kept(panel)) RestorePanel(panel, source);
    }
    for (TComboLayout& combo : layout.combos) {
        if (Kept(combo)) RestoreCombo(combo, source);
    }
    return sizeRead;
}

std::vector<TLayoutEntry> LayoutWrites(const TFormLayout& layout, TLayoutSource& source) {
    std::vector<TLayoutEntry> out;
    if (layout.state == TFormState::Normal && !SizeIsPinned(layout, source)) {
        out.push_back({"HEIGHT", layout.height});
        out.push_back({"WIDTH", layout.width});
    }
    for (const TGridLayout& grid : layout.grids) {
        if (Kept(grid)) GridWrites(grid, out);
    }
    for (const TPanelLayout& panel : layout.panels) {
        if (!Kept(panel)) continue;
        out.push_back({panel.name + "SIZE", panel.btnSize});
        out.push_back({panel.name + "COOPTIONS", panel.coOptions});
        out.push_back({panel.name + "BGCOLOR", panel.bgColor});
    }
    for (const TComboLayout& combo : layout.combos) {
        if (Kept(combo)) ComboWrites(combo, out);
    }
    return out;
}
