// The layout a form keeps in its section of the settings file (its size and the look of its
// button panels, combo boxes and grids) as plain data, and the rules of which keys a save
// writes and a restore reads. The Qt settings object (ui/widgets/CtxForm.h) captures a form
// into a TFormLayout, hands it here, and applies the answer.
//
// Keys, <Caption> being the form's caption and <Name> a component's name:
//   "HEIGHT" + <Caption>  never written; when present and non-zero the size is neither
//                         restored nor saved
//   "HEIGHT", "WIDTH"     the size, restored and saved only in the normal state
//   <Name> + "SIZE", "COOPTIONS", "BGCOLOR"            a button panel
//   <Name> + "INDEX"                                   a drop-down list's selected item
//   <Name> + "TEXT", "TEXT0" ... "TEXT<limit - 1>"     an editable combo box and its history
//   <Name> + "Height", "TOP", "VL", "HL"               a grid's height, top and lines
//   <Name> + "R0" ... (at most 100), "C0" ... (at most 20)  row heights and column widths
//                         of a grid whose rows or columns may be resized
// Names match without regard to case, so "Height" and "HEIGHT" are one key: a component
// without a name would collide with the form's own keys and is never kept.
//
// Standard library only; plain functions.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

inline constexpr std::size_t kMaxLayoutRows = 100;
inline constexpr std::size_t kMaxLayoutColumns = 20;
inline constexpr int32_t kLayoutButtonSizes = 3; // 0 big, 1 small, 2 none

enum class TFormState { Normal, Minimized, Maximized };

struct TPanelLayout {
    std::string name;
    int32_t btnSize = 2;   // 0 big, 1 small, 2 none
    int32_t coOptions = 0; // bit 0 "Always Colored"
    int32_t bgColor = -1;  // colour value 0x00BBGGRR, -1 none
};

struct TComboLayout {
    std::string name;
    bool dropDownList = false; // a drop-down list keeps its index, other combo boxes their text
    int32_t index = -1;
    int32_t itemCount = 0; // of a drop-down list
    std::string text;
    std::size_t historyLimit = 0;     // > 0 for our own editable combo box with a history
    std::vector<std::string> history; // its items, first first
};

struct TGridLayout {
    std::string name;
    int32_t height = 0; // [px]
    int32_t top = 0;    // [px, in its parent]
    bool verticalLines = true;
    bool horizontalLines = true;
    bool rowsResizable = false;
    std::vector<int32_t> rowHeights; // [px] every row, first first
    bool columnsResizable = false;
    std::vector<int32_t> columnWidths; // [px]
};

struct TFormLayout {
    std::string caption;
    TFormState state = TFormState::Normal;
    int32_t height = 0; // [px]
    int32_t width = 0;  // [px]
    std::vector<TGridLayout> grids;
    std::vector<TPanelLayout> panels;
    std::vector<TComboLayout> combos;
};

// Reads of one form's section: each returns the stored value, or `fallback` when the key is
// missing or (for numbers) not a number.
class TLayoutSource {
  public:
    virtual ~TLayoutSource() = default;
    virtual int32_t ReadInteger(const std::string& key, int32_t fallback) = 0;
    virtual bool ReadBool(const std::string& key, bool fallback) = 0;
    virtual std::string ReadString(const std::string& key, const std::string& fallback) = 0;
};

// One key of a save and the value it takes.
struct TLayoutEntry {
    std::string key;
    std::variant<int32_t, bool, std::string> value;
    bool operator==(const TLayoutEntry&) const = default;
};

// Whether "HEIGHT" + caption holds a non-zero number, which pins the form to its built size.
bool SizeIsPinned(const TFormLayout& layout, TLayoutSource& source);

// Reads every kept value with the current one as default into `layout`, in this order: the
// size (only in the normal state and not pinned), then per grid its height, top, lines, row
// heights and column widths, then per panel its size, options and colour, then per combo box
// its index or text and its history. A value that cannot apply keeps the current one: a size,
// height, row height or column width below 1, a button size outside 0...2, an index outside
// -1 ... itemCount - 1. History slots read empty are dropped. True when the size was read.
bool RestoreLayout(TFormLayout& layout, TLayoutSource& source);

// The writes of a save, in the order RestoreLayout reads: the size unless the form is not in
// its normal state or its size is pinned, then every component's keys; at most 100 row heights,
// 20 column widths and `historyLimit` history items.
std::vector<TLayoutEntry> LayoutWrites(const TFormLayout& layout, TLayoutSource& source);
