#include "studio/core/OrganizeRows.h"

#include <utility>

TOrganizeRows::TOrganizeRows() : rows_(1) {}

void TOrganizeRows::Add(const std::string& name) {
    Row& last = rows_.back();
    last.number = std::to_string(rows_.size());
    last.name = name;
    rows_.emplace_back();
}

void TOrganizeRows::Finish() {
    if (!rows_.empty()) rows_.pop_back();
    selected_ = rows_.empty() ? -1 : 0;
    UpdateButtons();
}

void TOrganizeRows::Select(int row) {
    if (row < 0 || row >= RowCount()) return;
    selected_ = row;
    UpdateButtons();
}

bool TOrganizeRows::Up() {
    return upEnabled_ && MoveTo(selected_ - 1);
}

bool TOrganizeRows::Down() {
    return downEnabled_ && MoveTo(selected_ + 1);
}

bool TOrganizeRows::MoveTo(int target) {
    if (selected_ < 0 || target < 0 || target >= RowCount()) return false;
    std::swap(rows_[static_cast<std::size_t>(selected_)].name,
              rows_[static_cast<std::size_t>(target)].name);
    selected_ = target;
    UpdateButtons();
    EnableOk();
    return true;
}

void TOrganizeRows::EnableOk() {
    okEnabled_ = true;
    okDefault_ = true;
}

void TOrganizeRows::UpdateButtons() {
    upEnabled_ = selected_ > 0;
    downEnabled_ = selected_ >= 0 && selected_ < RowCount() - 1;
}

std::vector<std::string> TOrganizeRows::Names() const {
    std::vector<std::string> names;
    names.reserve(rows_.size());
    for (const Row& row : rows_)
        names.push_back(row.name);
    return names;
}
