// The rules of the organize dialog: a numbered list of names that the user reorders by moving
// the selected row up or down. Moves exchange the names; the numbers stay where they are, so
// that after a move the number still says where a row stands. Qt-free; UI thread.
#pragma once

#include <string>
#include <vector>

class TOrganizeRows {
  public:
    struct Row {
        std::string number; // the row's 1-based position, as written by Add
        std::string name;
    };

    // The grid starts with one empty row, which each Add fills and follows with a new one.
    TOrganizeRows();

    void Add(const std::string& name);
    // Once, after the last Add: drops the empty last row and selects the first row.
    void Finish();

    // A click (or a cursor move) on `row`.
    void Select(int row);
    // Exchange the selected row's name with the row above (below) and follow it. False, and
    // nothing changes, while the button is disabled.
    bool Up();
    bool Down();
    // The caller's choice before showing: OK available at once and the default button.
    void EnableOk();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const Row& RowAt(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    int Selected() const { return selected_; } // -1 when there is no row
    bool UpEnabled() const { return upEnabled_; }
    bool DownEnabled() const { return downEnabled_; }
    bool OkEnabled() const { return okEnabled_; }
    bool OkDefault() const { return okDefault_; }
    // The names in row order, as the caller reads them after OK.
    std::vector<std::string> Names() const;

  private:
    void UpdateButtons();
    bool MoveTo(int target);

    std::vector<Row> rows_;
    int selected_ = 0;
    bool upEnabled_ = false;
    bool downEnabled_ = false;
    bool okEnabled_ = false;
    bool okDefault_ = false;
};

// The frame's child order after the organize dialog's OK, as indices into the old order.
// The rows are walked in order; the track windows whose caption equals a row (exact text) are
// collected in row order, each window once; they fill, in order, the positions of the child
// list that hold track windows. Every other child keeps its position, and a track window that
// no row names (its caption changed meanwhile) fills what is left, in its old order.
std::vector<int> OrganizedChildOrder(const std::vector<std::string>& childCaptions,
                                     const std::vector<bool>& isTrackWindow,
                                     const std::vector<std::string>& rows);
