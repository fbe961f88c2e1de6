#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/core/OrganizeRows.h"

namespace {

TOrganizeRows Filled(const std::vector<std::string>& names) {
    TOrganizeRows rows;
    for (const std::string& name : names)
        rows.Add(name);
    return rows;
}

std::vector<std::string> Numbers(const TOrganizeRows& rows) {
    std::vector<std::string> numbers;
    for (int row = 0; row < rows.RowCount(); ++row)
        numbers.push_back(rows.RowAt(row).number);
    return numbers;
}

} // namespace

TEST(OrganizeRows, AddKeepsOneEmptyRowAtTheEndUntilFinish) {
    TOrganizeRows rows;
    EXPECT_EQ(rows.RowCount(), 1);
    rows.Add("Bass");
    rows.Add("Drums");
    EXPECT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(rows.RowAt(1).number, "2");
    EXPECT_EQ(rows.RowAt(2).name, "");
    rows.Finish();
    EXPECT_EQ(rows.RowCount(), 2);
    EXPECT_EQ(rows.Selected(), 0);
    EXPECT_FALSE(rows.UpEnabled());
    EXPECT_TRUE(rows.DownEnabled());
    EXPECT_FALSE(rows.OkEnabled());
    EXPECT_FALSE(rows.OkDefault());
}

TEST(OrganizeRows, MovingTheLastOfThreeUpTwiceExchangesNamesNotNumbers) {
    TOrganizeRows rows = Filled({"1", "2", "3"});
    rows.Finish();
    rows.Select(2);
    EXPECT_TRUE(rows.UpEnabled());
    EXPECT_FALSE(rows.DownEnabled());
    EXPECT_FALSE(rows.Down()); // disabled: nothing moves
    EXPECT_FALSE(rows.OkEnabled());

    EXPECT_TRUE(rows.Up());
    EXPECT_EQ(rows.Selected(), 1);
    EXPECT_TRUE(rows.OkEnabled());
    EXPECT_TRUE(rows.OkDefault());
    EXPECT_TRUE(rows.Up());
    EXPECT_FALSE(rows.Up()); // at the top now

    EXPECT_EQ(rows.Names(), (std::vector<std::string>{"3", "1", "2"}));
    EXPECT_EQ(Numbers(rows), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(rows.Selected(), 0);
    EXPECT_FALSE(rows.UpEnabled());
    EXPECT_TRUE(rows.DownEnabled());

    EXPECT_TRUE(rows.Down());
    EXPECT_EQ(rows.Names(), (std::vector<std::string>{"1", "3", "2"}));
    EXPECT_TRUE(rows.UpEnabled());
    EXPECT_TRUE(rows.DownEnabled());
}

TEST(OrganizeRows, ASingleRowMovesNowhereAndOkWaitsForTheCaller) {
    TOrganizeRows rows = Filled({"Only"});
    rows.Finish();
    EXPECT_FALSE(rows.UpEnabled());
    EXPECT_FALSE(rows.DownEnabled());
    rows.Select(0);
    rows.Select(5); // outside the grid: ignored
    EXPECT_EQ(rows.Selected(), 0);
    EXPECT_FALSE(rows.OkEnabled());
    rows.EnableOk(); // the combine confirmation
    EXPECT_TRUE(rows.OkEnabled());
    EXPECT_TRUE(rows.OkDefault());
    EXPECT_EQ(rows.Names(), std::vector<std::string>{"Only"});

    TOrganizeRows empty;
    empty.Finish();
    EXPECT_EQ(empty.RowCount(), 0);
    EXPECT_EQ(empty.Selected(), -1);
    EXPECT_FALSE(empty.Up());
    EXPECT_FALSE(empty.DownEnabled());
}
