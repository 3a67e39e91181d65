// The control model: alignment layout, menu twins, timers, edits.
#include <gtest/gtest.h>

#include "tests/fake/fake_platform.h"
#include "text/sjis.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/layout.h"
#include "ui/timer.h"

namespace {

using ui::Align;
using ui::Rect;

TEST(AlignLayout, StacksByAlignmentAndOrder) {
  const Rect client{0, 0, 100, 80};
  std::vector<ui::LayoutItem> items = {
      {Align::Top, {0, 10, 5, 20}},  // the second top item by its Top
      {Align::Top, {0, 0, 5, 10}},   // the first
      {Align::Bottom, {0, 0, 5, 15}},
      {Align::Left, {50, 0, 30, 5}},  // right of the other left item
      {Align::Left, {0, 0, 10, 5}},
      {Align::Right, {0, 0, 7, 5}},
      {Align::Client, {0, 0, 1, 1}},
      {Align::Left, {0, 0, 99, 5}, false},  // hidden: keeps its bounds
      {Align::None, {3, 4, 5, 6}},
  };
  std::vector<Rect> r = ui::AlignLayout(client, items);
  EXPECT_EQ(r[1], (Rect{0, 0, 100, 10}));
  EXPECT_EQ(r[0], (Rect{0, 10, 100, 20}));
  EXPECT_EQ(r[2], (Rect{0, 65, 100, 15}));
  EXPECT_EQ(r[4], (Rect{0, 30, 10, 35}));
  EXPECT_EQ(r[3], (Rect{10, 30, 30, 35}));
  EXPECT_EQ(r[5], (Rect{93, 30, 7, 35}));
  EXPECT_EQ(r[6], (Rect{40, 30, 53, 35}));
  EXPECT_EQ(r[7], (Rect{0, 0, 99, 5}));
  EXPECT_EQ(r[8], (Rect{3, 4, 5, 6}));
}

TEST(AlignLayout, ItemsLargerThanTheRoomAreCut) {
  std::vector<Rect> r =
      ui::AlignLayout({0, 0, 50, 20}, {{Align::Top, {0, 0, 5, 30}}, {Align::Client, {}}});
  EXPECT_EQ(r[0], (Rect{0, 0, 50, 20}));
  EXPECT_EQ(r[1], (Rect{0, 20, 50, 0}));
}

TEST(Controls, LeftPanelMovedFarRightAndShownAgainLandsAtTheEnd) {
  fake::Scheduler s;
  ui::Application app(s);
  ui::Form form(app, "F");
  form.SetClientSize(300, 50);
  auto* a = form.Add<ui::Panel>("A");
  auto* b = form.Add<ui::Panel>("B");
  for (auto* p : {a, b}) {
    p->SetWidth(40);
    p->SetAlign(Align::Left);
  }
  EXPECT_EQ(b->left(), 40);
  a->SetVisible(false);
  EXPECT_EQ(b->left(), 0);
  a->SetLeft(2000);
  a->SetVisible(true);
  EXPECT_EQ(b->left(), 0);
  EXPECT_EQ(a->left(), 40);
}

TEST(Controls, EditLengthLimitNeverSplitsACharacter) {
  fake::Scheduler s;
  ui::Application app(s);
  ui::Form form(app, "F");
  auto* e = form.Add<ui::Edit>("E");
  int changes = 0;
  e->OnChange = [&] { ++changes; };
  e->SetMaxLength(5);
  e->SetText(text::ToSjis("ああああ"));  // eight bytes
  EXPECT_EQ(e->text(), text::ToSjis("ああ"));
  e->SetText(text::ToSjis("aあああ"));
  EXPECT_EQ(e->text(), text::ToSjis("aああ"));
  e->SetText(text::ToSjis("aああ"));
  EXPECT_EQ(changes, 2) << "the same text again is no change";
}

TEST(Menus, TwinsShareHandlerCheckAndEnabled) {
  ui::Menu main("Main"), popup("Popup");
  ui::MenuItem* item = main.Add("opX", "X");
  ui::MenuItem* twin = popup.Add("opX2", "X");
  int clicks = 0;
  item->SetOnClick([&](ui::MenuItem&) { ++clicks; });
  item->Twin(*twin);
  twin->Click();
  EXPECT_EQ(clicks, 1);
  twin->SetChecked(true);
  EXPECT_TRUE(item->checked());
  item->SetEnabled(false);
  EXPECT_FALSE(twin->enabled());
  twin->Click();
  EXPECT_EQ(clicks, 1) << "a disabled item does nothing";
  EXPECT_EQ(item->twin(), twin);
}

TEST(Timers, SwitchingOffAndOnStartsThePeriodAnew) {
  fake::Scheduler s;
  ui::Timer t(s, "T", 100, true);
  int ticks = 0;
  t.OnTimer = [&] { ++ticks; };
  s.Advance(90);
  t.SetEnabled(false);
  t.SetEnabled(true);
  s.Advance(90);
  EXPECT_EQ(ticks, 0);
  s.Advance(10);
  EXPECT_EQ(ticks, 1);
  s.Advance(300);
  EXPECT_EQ(ticks, 4);
  t.SetEnabled(false);
  s.Advance(1000);
  EXPECT_EQ(ticks, 4);
}

}  // namespace
