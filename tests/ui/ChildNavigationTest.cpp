#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ui/core/ChildNavigation.h"

namespace {

// Three child windows with captions and window states the tests change.
struct Children {
    int one = 1, two = 2, three = 3;
    std::map<TChildKey, std::string> captions{{&one, "One"}, {&two, "Two"}, {&three, "Three"}};
    std::map<TChildKey, TChildShow> shows;

    TChildNavigation::CaptionOf CaptionOf() {
        return [this](TChildKey key) { return captions.at(key); };
    }
    TChildNavigation::ShowOf ShowOf() {
        return [this](TChildKey key) {
            const auto it = shows.find(key);
            return it == shows.end() ? TChildShow::Normal : it->second;
        };
    }
    void ListAll(TChildNavigation& list) {
        for (TChildKey key : {TChildKey(&one), TChildKey(&two), TChildKey(&three)})
            list.Append(key);
    }
};

TNavButtons Buttons(bool back, const std::string& backHint, bool forward,
                    const std::string& forwardHint) {
    return TNavButtons{back, forward, backHint, forwardHint};
}

} // namespace

TEST(ChildNavigation, ActivationOfAListedChildSetsCurrentIndexButtonsAndHints) {
    Children c;
    TChildNavigation list;
    c.ListAll(list);

    EXPECT_EQ(list.Activate(&c.two, c.CaptionOf()),
              Buttons(true, "Back to One", true, "Forward to Three"));
    EXPECT_EQ(list.CurrentIndex(), 1);
    EXPECT_EQ(list.Current(), &c.two);

    EXPECT_EQ(list.Activate(&c.one, c.CaptionOf()), Buttons(false, "Back", true, "Forward to Two"));
    EXPECT_EQ(list.CurrentIndex(), 0);
    EXPECT_EQ(list.Activate(&c.three, c.CaptionOf()),
              Buttons(true, "Back to Two", false, "Forward"));
    EXPECT_EQ(list.CurrentIndex(), 2);

    // A caption changed since listing shows in the next hint.
    c.captions[&c.two] = "Renamed";
    EXPECT_EQ(list.Activate(&c.three, c.CaptionOf()).backHint, "Back to Renamed");
}

TEST(ChildNavigation, ActivationBeforeListingTakesThePlaceAboutToBeAppended) {
    Children c;
    TChildNavigation list;
    EXPECT_EQ(list.Activate(&c.one, c.CaptionOf()), Buttons(false, "Back", false, "Forward"));
    EXPECT_EQ(list.CurrentIndex(), 0);
    list.Append(&c.one);
    list.Append(&c.two);
    EXPECT_EQ(list.Activate(&c.three, c.CaptionOf()),
              Buttons(true, "Back to Two", false, "Forward"));
    EXPECT_EQ(list.CurrentIndex(), 2);
    EXPECT_EQ(list.Current(), nullptr); // not listed yet
    list.Append(&c.three);
    EXPECT_EQ(list.Current(), &c.three);
}

TEST(ChildNavigation, ClosingEmptiesTheListAndDisablesBoth) {
    Children c;
    TChildNavigation list;
    c.ListAll(list);
    list.Activate(&c.three, c.CaptionOf());

    EXPECT_FALSE(list.Remove(&c.one).has_value()); // the next activation decides
    EXPECT_EQ(list.Current(), &c.three);           // still current after an earlier one left
    EXPECT_FALSE(list.Remove(&c.one).has_value()); // not listed any more: nothing happens
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_FALSE(list.Remove(&c.three).has_value());
    EXPECT_EQ(list.Remove(&c.two), Buttons(false, "Back", false, "Forward"));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Current(), nullptr);
}

TEST(ChildNavigation, BothDisabledOnlyWhenNoChildIsInItsNormalState) {
    Children c;
    TChildNavigation list;
    c.ListAll(list);
    c.shows[&c.one] = TChildShow::Minimized;
    c.shows[&c.two] = TChildShow::Minimized;
    EXPECT_FALSE(list.WindowStateChanged(c.ShowOf()).has_value());
    c.shows[&c.three] = TChildShow::Maximized;
    EXPECT_EQ(list.WindowStateChanged(c.ShowOf()), Buttons(false, "Back", false, "Forward"));
}

TEST(ChildNavigation, FindByCaptionAnyCaseAndFindOrCreatePlans) {
    Children c;
    TChildNavigation list;
    EXPECT_EQ(list.FindByCaption("one", c.CaptionOf()), nullptr);

    // The first child is maximized only when the setting says so.
    EXPECT_TRUE(list.PlanFindOrCreate("One", true, c.CaptionOf(), c.ShowOf()).maximize);
    EXPECT_FALSE(list.PlanFindOrCreate("One", false, c.CaptionOf(), c.ShowOf()).maximize);
    list.Append(&c.one);
    const TFindOrCreatePlan second = list.PlanFindOrCreate("Two", true, c.CaptionOf(), c.ShowOf());
    EXPECT_EQ(second.existing, nullptr);
    EXPECT_FALSE(second.maximize);

    list.Append(&c.two);
    c.captions[&c.two] = "one"; // two children whose captions differ only in case
    EXPECT_EQ(list.FindByCaption("ONE", c.CaptionOf()), &c.one);
    EXPECT_EQ(list.FindByCaption("On", c.CaptionOf()), nullptr);

    c.shows[&c.one] = TChildShow::Minimized;
    const TFindOrCreatePlan found = list.PlanFindOrCreate("oNe", true, c.CaptionOf(), c.ShowOf());
    EXPECT_EQ(found.existing, &c.one);
    EXPECT_TRUE(found.restore);
    EXPECT_FALSE(found.maximize);
}

TEST(ChildNavigation, BackAndForwardTargetTheNeighboursOfTheCurrentChild) {
    Children c;
    TChildNavigation list;
    c.ListAll(list);
    list.Activate(&c.two, c.CaptionOf());
    c.shows[&c.one] = TChildShow::Minimized;

    const auto back = list.BackTarget(c.ShowOf());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->child, &c.one);
    EXPECT_TRUE(back->restore);
    const auto forward = list.ForwardTarget(c.ShowOf());
    ASSERT_TRUE(forward.has_value());
    EXPECT_EQ(forward->child, &c.three);
    EXPECT_FALSE(forward->restore); // only brought to the front

    list.Activate(&c.one, c.CaptionOf());
    EXPECT_FALSE(list.BackTarget(c.ShowOf()).has_value());
    list.Activate(&c.three, c.CaptionOf());
    EXPECT_FALSE(list.ForwardTarget(c.ShowOf()).has_value());
}

TEST(ChildNavigation, CloseQueriesInListOrderStopAtTheFirstRefusal) {
    Children c;
    TChildNavigation list;
    c.ListAll(list);
    std::vector<std::string> asked;
    const bool agreed = list.AllAgreeToClose([&](TChildKey key) {
        asked.push_back(c.captions.at(key));
        return key != &c.two;
    });
    EXPECT_FALSE(agreed);
    EXPECT_EQ(asked, (std::vector<std::string>{"One", "Two"}));
    EXPECT_TRUE(list.AllAgreeToClose([](TChildKey) { return true; }));

    EXPECT_EQ(list.MinimizeAllOrder(), (std::vector<TChildKey>{&c.three, &c.two, &c.one}));

    // A new order keeps the same child current and is refused unless it holds the same keys.
    list.Activate(&c.one, c.CaptionOf());
    EXPECT_TRUE(list.Reorder({&c.three, &c.one, &c.two}));
    EXPECT_EQ(list.CurrentIndex(), 1);
    EXPECT_FALSE(list.Reorder({&c.three, &c.three, &c.two}));
    EXPECT_FALSE(list.Reorder({&c.three}));
    EXPECT_EQ(list.At(0), &c.three);
}
