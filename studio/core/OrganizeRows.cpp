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

std::vector<int> OrganizedChildOrder(const std::vector<std::string>& childCaptions,
                                     const std::vector<bool>& isTrackWindow,
                                     const std::vector<std::string>& rows) {
    const std::size_t count = childCaptions.size();
    const auto isTrack = [&](std::size_t i) {
        return i < isTrackWindow.size() && isTrackWindow[i];
    };
    std::vector<bool> taken(count, false);
    std::vector<int> collected;
    for (const std::string& row : rows)
        for (std::size_t i = 0; i < count; ++i)
            if (isTrack(i) && !taken[i] && childCaptions[i] == row) {
                taken[i] = true;
                collected.push_back(static_cast<int>(i));
            }
    for (std::size_t i = 0; i < count; ++i)
        if (isTrack(i) && !taken[i]) collected.push_back(static_cast<int>(i));

    std::vector<int> order(count);
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i)
        order[i] = isTrack(i) ? collected[next++] : static_cast<int>(i);
    return order;
}
