#include "ui/core/FormLayout.h"

#include <algorithm>
#include <charconv>
#include <gtest/gtest.h>
#include <map>

namespace {

// A form's section held in memory: names without regard to case, numbers strictly decimal.
class TMemorySection : public TLayoutSource {
  public:
    void Set(const std::string& key, const std::string& value) { values_[Upper(key)] = value; }
    void Store(const std::vector<TLayoutEntry>& entries) {
        for (const TLayoutEntry& entry : entries) {
            if (const auto* n = std::get_if<int32_t>(&entry.value))
                Set(entry.key, std::to_string(*n));
            if (const auto* b = std::get_if<bool>(&entry.value)) Set(entry.key, *b ? "1" : "0");
            if (const auto* s = std::get_if<std::string>(&entry.value)) Set(entry.key, *s);
        }
    }
    int32_t ReadInteger(const std::string& key, int32_t fallback) override {
        const auto it = values_.find(Upper(key));
        if (it == values_.end()) return fallback;
        int32_t value = 0;
        const std::string& text = it->second;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size() ? value : fallback;
    }
    bool ReadBool(const std::string& key, bool fallback) override {
        return ReadInteger(key, fallback ? 1 : 0) != 0;
    }
    std::string ReadString(const std::string& key, const std::string& fallback) override {
        const auto it = values_.find(Upper(key));
        return it == values_.end() ? fallback : it->second;
    }

  private:
    static std::string Upper(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
    }
    std::map<std::string, std::string> values_;
};

std::vector<std::string> KeysOf(const std::vector<TLayoutEntry>& entries) {
    std::vector<std::string> keys;
    for (const TLayoutEntry& entry : entries)
        keys.push_back(entry.key);
    return keys;
}

TFormLayout SizedForm(TFormState state) {
    TFormLayout layout;
    layout.caption = "Organize";
    layout.state = state;
    layout.height = 300;
    layout.width = 200;
    return layout;
}

} // namespace

TEST(FormLayout, SizeIsKeptOnlyInTheNormalStateAndNeverWhenPinned) {
    TMemorySection empty;
    EXPECT_EQ(LayoutWrites(SizedForm(TFormState::Normal), empty),
              (std::vector<TLayoutEntry>{{"HEIGHT", 300}, {"WIDTH", 200}}));
    EXPECT_TRUE(LayoutWrites(SizedForm(TFormState::Maximized), empty).empty());
    EXPECT_TRUE(LayoutWrites(SizedForm(TFormState::Minimized), empty).empty());

    TMemorySection stored;
    stored.Set("height", "480");
    stored.Set("Width", "640");
    TFormLayout normal = SizedForm(TFormState::Normal);
    EXPECT_TRUE(RestoreLayout(normal, stored));
    EXPECT_EQ(normal.height, 480);
    EXPECT_EQ(normal.width, 640);
    TFormLayout maximized = SizedForm(TFormState::Maximized);
    EXPECT_FALSE(RestoreLayout(maximized, stored));
    EXPECT_EQ(maximized.height, 300);

    // "HEIGHT" + caption: zero changes nothing, any other number pins both ways.
    stored.Set("HEIGHTOrganize", "0");
    normal = SizedForm(TFormState::Normal);
    EXPECT_TRUE(RestoreLayout(normal, stored));
    stored.Set("HEIGHTOrganize", "1");
    normal = SizedForm(TFormState::Normal);
    EXPECT_FALSE(RestoreLayout(normal, stored));
    EXPECT_EQ(normal.height, 300);
    EXPECT_EQ(normal.width, 200);
    EXPECT_TRUE(LayoutWrites(normal, stored).empty());

    // A form without a caption keeps its size at every save, not only at the first.
    TMemorySection untitled;
    TFormLayout blank = SizedForm(TFormState::Normal);
    blank.caption.clear();
    untitled.Store(LayoutWrites(blank, untitled));
    blank.height = 310;
    EXPECT_EQ(LayoutWrites(blank, untitled),
              (std::vector<TLayoutEntry>{{"HEIGHT", 310}, {"WIDTH", 200}}));

    // A size that could not apply keeps the current one.
    TMemorySection odd;
    odd.Set("HEIGHT", "0");
    odd.Set("WIDTH", "-5");
    normal = SizedForm(TFormState::Normal);
    RestoreLayout(normal, odd);
    EXPECT_EQ(normal.height, 300);
    EXPECT_EQ(normal.width, 200);
}

TEST(FormLayout, ComponentsWriteTheirKeysWithinTheirLimits) {
    TFormLayout layout = SizedForm(TFormState::Maximized);
    TGridLayout grid;
    grid.name = "Grid";
    grid.height = 150;
    grid.top = 40;
    grid.verticalLines = false;
    grid.rowsResizable = true;
    grid.rowHeights.assign(130, 18);
    grid.columnsResizable = true;
    grid.columnWidths.assign(25, 64);
    layout.grids.push_back(grid);
    TGridLayout fixed;
    fixed.name = "Fixed";
    fixed.rowHeights = {20}; // neither rows nor columns may be resized
    fixed.columnWidths = {30};
    layout.grids.push_back(fixed);
    layout.panels.push_back({"Panel", 0, 1, 65535});
    layout.combos.push_back({"Devices", true, 2, 4, "Second", 0, {}});
    layout.combos.push_back({"Name", false, -1, 0, "Warm", 2, {"Warm", "Cold", "Dry"}});
    layout.combos.push_back({"Plain", false, 0, 1, "typed", 0, {"typed"}});
    // Unnamed: "Height" of a nameless grid would be the form's "HEIGHT".
    layout.grids.push_back(TGridLayout{});
    layout.panels.push_back(TPanelLayout{});
    layout.combos.push_back(TComboLayout{});

    TMemorySection empty;
    const std::vector<TLayoutEntry> writes = LayoutWrites(layout, empty);
    const std::vector<std::string> keys = KeysOf(writes);
    ASSERT_EQ(keys.size(), 4u + 100u + 20u + 4u + 3u + 1u + 3u + 1u);
    EXPECT_EQ(std::vector<TLayoutEntry>(writes.begin(), writes.begin() + 5),
              (std::vector<TLayoutEntry>{{"GridHeight", 150},
                                         {"GridTOP", 40},
                                         {"GridVL", false},
                                         {"GridHL", true},
                                         {"GridR0", 18}}));
    EXPECT_EQ(keys[4 + 99], "GridR99");
    EXPECT_EQ(keys[4 + 100], "GridC0");
    EXPECT_EQ(keys[4 + 100 + 19], "GridC19");
    const std::vector<TLayoutEntry> tail(writes.begin() + 124, writes.end());
    EXPECT_EQ(tail, (std::vector<TLayoutEntry>{{"FixedHeight", 0},
                                               {"FixedTOP", 0},
                                               {"FixedVL", true},
                                               {"FixedHL", true},
                                               {"PanelSIZE", 0},
                                               {"PanelCOOPTIONS", 1},
                                               {"PanelBGCOLOR", 65535},
                                               {"DevicesINDEX", 2},
                                               {"NameTEXT", std::string("Warm")},
                                               {"NameTEXT0", std::string("Warm")},
                                               {"NameTEXT1", std::string("Cold")},
                                               {"PlainTEXT", std::string("typed")}}));
}

TEST(FormLayout, SavedLayoutRestoresIntoAFreshFormAndBadValuesKeepTheCurrentOnes) {
    TFormLayout saved = SizedForm(TFormState::Normal);
    TGridLayout grid;
    grid.name = "Grid";
    grid.height = 150;
    grid.top = 40;
    grid.horizontalLines = false;
    grid.rowsResizable = grid.columnsResizable = true;
    grid.rowHeights = {18, 30};
    grid.columnWidths = {30, 170};
    saved.grids.push_back(grid);
    saved.panels.push_back({"N_Panel", 0, 1, 255});
    saved.combos.push_back({"Devices", true, 2, 4, "", 0, {}});
    saved.combos.push_back({"Name", false, -1, 0, "Cold", 3, {"Warm", "Cold"}});
    TMemorySection section;
    section.Store(LayoutWrites(saved, section));

    // A fresh form: as built, before anything was restored.
    TFormLayout fresh = SizedForm(TFormState::Normal);
    fresh.height = 100;
    fresh.width = 120;
    TGridLayout freshGrid;
    freshGrid.name = "Grid";
    freshGrid.height = 80;
    freshGrid.rowsResizable = freshGrid.columnsResizable = true;
    freshGrid.rowHeights = {20, 20};
    freshGrid.columnWidths = {50, 50};
    fresh.grids.push_back(freshGrid);
    fresh.panels.push_back({"N_Panel", 2, 0, -1});
    fresh.combos.push_back({"Devices", true, 0, 4, "", 0, {}});
    fresh.combos.push_back({"Name", false, -1, 0, "", 3, {}});
    TFormLayout restored = fresh;
    EXPECT_TRUE(RestoreLayout(restored, section));
    TMemorySection none;
    EXPECT_EQ(LayoutWrites(restored, none), LayoutWrites(saved, none));

    // Values that cannot apply, and history slots left empty by a hand edit.
    section.Set("N_PanelSIZE", "3");
    section.Set("DevicesINDEX", "4");
    section.Set("GridR1", "0");
    section.Set("GridHeight", "-1");
    section.Set("NameTEXT0", "");
    section.Set("NameTEXT2", "Dry");
    restored = fresh;
    RestoreLayout(restored, section);
    EXPECT_EQ(restored.panels[0].btnSize, 2);
    EXPECT_EQ(restored.combos[0].index, 0);
    EXPECT_EQ(restored.grids[0].rowHeights, (std::vector<int32_t>{18, 20}));
    EXPECT_EQ(restored.grids[0].height, 80);
    EXPECT_EQ(restored.combos[1].history, (std::vector<std::string>{"Cold", "Dry"}));
    section.Set("DevicesINDEX", "-1"); // no selection is a valid index
    RestoreLayout(restored, section);
    EXPECT_EQ(restored.combos[0].index, -1);
}
