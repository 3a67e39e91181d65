// The tab set: slots without gaps, the page limit, closing, the tab lock and the close button.
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

class TabSetTest : public StartedProgramTest {
 protected:
  ui::KeyMessage CtrlAlt(char key) { return {key, true, true, false, &main()}; }
  std::vector<platform::WebBrowser*> Slots() {
    return {main().BrowserSlots.begin(), main().BrowserSlots.begin() + used_slots()};
  }
};

TEST_F(TabSetTest, NewTabOpensTheOwnHomepageBehindTheActiveTab) {
  ASSERT_TRUE(program->app.DispatchKey(CtrlAlt('N')));
  ASSERT_EQ(used_slots(), 3);
  EXPECT_EQ(engine(2).navigations, std::vector<std::string>{"http://hp.test/@taro"});
  EXPECT_EQ(main().BrowserSlots[2]->tag(), 1) << "busy until its first document";
  EXPECT_EQ(main().ScreenTab->PageCount(), 3);
  EXPECT_EQ(main().ScreenTab->Page(2), main().BrowserSlots[2]->parent());
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetMyHome);
  EXPECT_EQ(main().ScreenTab->Page(2)->caption(), "");
}

TEST_F(TabSetTest, NewTabComesToTheFrontOnItsFirstNavigationUnlessLocked) {
  main().DoNewTabExecute();
  engine(2).BeforeNavigate("http://hp.test/@taro");
  EXPECT_EQ(main().ScreenTab->active_page(), main().ScreenTab->Page(2));

  main().ScreenTab->UserSelect(main().TabSheetMyHome);
  ASSERT_TRUE(program->app.DispatchKey(CtrlAlt('L')));
  EXPECT_TRUE(main().cbTabLock->checked());
  main().DoNewTabExecute();
  engine(3).BeforeNavigate("http://hp.test/@taro");
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetMyHome);
}

TEST_F(TabSetTest, PageLimitIs32Browsers) {
  for (int i = 0; i < 30; ++i) main().DoNewTabExecute();
  ASSERT_EQ(used_slots(), 32);
  EXPECT_TRUE(fp.dialogs.shown.empty());
  std::size_t created = fp.browsers.created.size();
  program->app.DispatchKey(CtrlAlt('N'));
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("これ以上ページを開けません。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("確認::FindBlankWB"));
  EXPECT_EQ(fp.browsers.created.size(), created);
  EXPECT_EQ(main().ScreenTab->PageCount(), 32);

  main().ScreenTab->UserSelect(main().ScreenTab->Page(20));
  main().DoDeleteTabExecute();
  EXPECT_EQ(used_slots(), 31);
  main().DoNewTabExecute();
  EXPECT_EQ(used_slots(), 32);
  EXPECT_EQ(fp.dialogs.shown.size(), 1u);
}

TEST_F(TabSetTest, ClosingTheThirdOfFiveProgramTabs) {
  for (int i = 0; i < 5; ++i) OpenLoadedTab();
  auto before = Slots();
  main().ScreenTab->UserSelect(main().ScreenTab->Page(4));  // slot 4, the third program tab
  EXPECT_TRUE(main().PageClose->enabled());
  main().PageClose->Click();

  auto after = Slots();
  ASSERT_EQ(after.size(), 6u);
  EXPECT_EQ(after[4], before[5]);
  EXPECT_EQ(after[5], before[6]);
  EXPECT_EQ(main().BrowserSlots[6], nullptr);
  EXPECT_EQ(main().ScreenTab->PageCount(), 6);
  EXPECT_EQ(main().ScreenTab->active_page(), before[3]->parent()) << "the tab to its left";
  EXPECT_TRUE(main().IdleTimer.enabled());
}

struct SlotCase {
  int removed;
  int status_after;
  int walk_after;
};

TEST_F(TabSetTest, RemovingATabKeepsTheStatusAndWalkSlotsOnTheirBrowsers) {
  const SlotCase cases[] = {{4, 5, 5}, {7, 6, 6}, {6, 6, -1}, {8, 6, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE("removing slot " + std::to_string(c.removed));
    while (used_slots() > 2) main().RemoveTab(2);
    for (int i = 0; i < 8; ++i) OpenLoadedTab();
    main().StatusActive = true;
    main().StatusSlot = 6;
    main().WalkRunning = true;
    main().WalkSlot = 6;
    platform::WebBrowser* status_browser = main().BrowserSlots[6];
    main().RemoveTab(c.removed);
    EXPECT_EQ(main().StatusSlot, c.status_after);
    EXPECT_EQ(main().WalkSlot, c.walk_after);
    if (c.removed != 6) {
      EXPECT_EQ(main().BrowserSlots[main().StatusSlot], status_browser);
    }
  }
}

TEST_F(TabSetTest, FixedTabsAndTheStatusTabCannotBeClosed) {
  OpenLoadedTab();
  OpenLoadedTab();
  main().StatusActive = true;
  main().StatusSlot = 3;
  for (ui::TabSheet* sheet :
       {main().TabSheetHobnest, main().TabSheetMyHome, main().ScreenTab->Page(3)}) {
    main().ScreenTab->UserSelect(sheet);
    login().Close();
    EXPECT_FALSE(main().PageClose->enabled());
    program->app.DispatchKey(CtrlAlt('D'));
    EXPECT_EQ(used_slots(), 4);
  }
  main().ScreenTab->UserSelect(main().ScreenTab->Page(2));
  EXPECT_TRUE(main().PageClose->enabled());
  program->app.DispatchKey(CtrlAlt('D'));
  EXPECT_EQ(used_slots(), 3);
  EXPECT_EQ(main().StatusSlot, 2);
}

TEST_F(TabSetTest, PickingTheBlankSiteTabOpensTheLoginManager) {
  engine(0).location = "about:blank";
  main().ScreenTab->UserSelect(main().TabSheetHobnest);
  EXPECT_TRUE(login().visible());
  EXPECT_FALSE(main().ShowLogMng->enabled());
  login().Close();
  EXPECT_TRUE(main().ShowLogMng->enabled());

  engine(0).location = "http://site.test/member/welcome";
  main().ScreenTab->UserSelect(main().TabSheetMyHome);
  main().ScreenTab->UserSelect(main().TabSheetHobnest);
  EXPECT_FALSE(login().visible());
}

TEST_F(TabSetTest, BrowserThatCannotBeCreatedLeavesAnEmptySheet) {
  fp.browsers.fail_next = 1;
  main().DoNewTabExecute();
  EXPECT_EQ(used_slots(), 2);
  EXPECT_EQ(main().ScreenTab->PageCount(), 3);
  EXPECT_TRUE(fp.dialogs.shown.empty()) << "a new tab by hand has no message of its own";

  fp.browsers.fail_next = 1;
  EXPECT_EQ(main().OpenTab("about:blank", true, "StatusWriteBegin", Sj("致命的"), "cap"), -1);
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].caption, "cap");
}

TEST_F(TabSetTest, OpenTabActivatesWhenAsked) {
  int slot = main().OpenTab("about:blank", true, "StatusWriteBegin");
  ASSERT_EQ(slot, 2);
  EXPECT_EQ(main().ScreenTab->active_page(), main().BrowserSlots[2]->parent());
  EXPECT_EQ(main().ActiveBrowser(), main().BrowserSlots[2]);
}

TEST_F(TabSetTest, BackAndForwardGoToTheActiveBrowser) {
  OpenLoadedTab();
  main().ScreenTab->UserSelect(main().ScreenTab->Page(2));
  main().NaviBack->Click();
  main().NaviNext->Click();
  main().NaviNext->Click();
  EXPECT_EQ(engine(2).backs, 1);
  EXPECT_EQ(engine(2).forwards, 2);
  EXPECT_EQ(engine(1).backs, 0);
}

}  // namespace
}  // namespace mirabo::testing
