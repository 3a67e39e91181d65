// The list box and the gauge of the control model.
#include <gtest/gtest.h>

#include "tests/fake/fake_platform.h"
#include "ui/application.h"
#include "ui/form.h"

namespace {

class ListGaugeTest : public ::testing::Test {
 protected:
  fake::Scheduler scheduler_;
  ui::Application app_{scheduler_};
  ui::Form form_{app_, "F"};
};

TEST_F(ListGaugeTest, AListBoxSelectsOneItemAndClicksOnlyForTheUser) {
  auto* list = form_.Add<ui::ListBox>("L");
  int clicks = 0;
  list->OnClick = [&] { ++clicks; };
  for (const char* s : {"a", "b", "c"}) list->AddItem(s);
  list->SetItemIndex(1);
  EXPECT_EQ(list->SelectedText(), "b");
  EXPECT_EQ(clicks, 0) << "the program's selection raises nothing";
  list->UserSelect(2);
  EXPECT_EQ(list->item_index(), 2);
  EXPECT_EQ(clicks, 1);
  list->UserSelect(2);
  EXPECT_EQ(clicks, 2) << "a click on the selected item is a click too";
  list->SetItem(2, "C");
  EXPECT_EQ(list->SelectedText(), "C");
  list->SetItem(7, "x");
  EXPECT_EQ(list->count(), 3);
  list->SetItemIndex(5);
  EXPECT_EQ(list->item_index(), -1) << "no such item: nothing selected";
  EXPECT_EQ(list->SelectedText(), "");
  list->SetEnabled(false);
  list->UserSelect(0);
  EXPECT_EQ(list->item_index(), -1);
  EXPECT_EQ(clicks, 2);
  list->SetEnabled(true);
  list->UserSelect(0);
  list->Clear();
  EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(list->item_index(), -1);
}

TEST_F(ListGaugeTest, AGaugeStaysInItsRangeAndShowsWholePercent) {
  auto* g = form_.Add<ui::Gauge>("G");
  struct Case {
    int min, max, set, progress, percent;
  } cases[] = {
      {0, 100, 37, 37, 37}, {0, 100, 250, 100, 100},
      {0, 100, -4, 0, 0},   {0, 600, 599, 599, 99},
      {0, 600, 6, 6, 1},    {10, 20, 15, 15, 50},
      {5, 5, 9, 5, 0},      {0, 36000, 35999, 35999, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max) + " <- " +
                 std::to_string(c.set));
    g->SetRange(c.min, c.max);
    g->SetProgress(c.set);
    EXPECT_EQ(g->progress(), c.progress);
    EXPECT_EQ(g->PercentDone(), c.percent);
  }
  g->SetRange(0, 100);
  g->SetProgress(80);
  g->SetRange(0, 50);
  EXPECT_EQ(g->progress(), 50) << "a narrower range takes the position along";
}

}  // namespace
