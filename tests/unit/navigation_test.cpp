// Browser events: the navigation rules in their order, new windows, captions and progress.
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

using NavigationTest = StartedProgramTest;

TEST_F(NavigationTest, DuplicateLoginMarksTheTabForClosing) {
  int slot = OpenLoadedTab();
  bool cancelled = engine(slot).BeforeNavigate("http://site.test/member/login/nickinuse.htm");
  EXPECT_FALSE(cancelled) << "the page itself still loads";
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("重複したログイン"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("ログイン失敗"));
  EXPECT_EQ(SheetOfSlot(slot)->caption(), Sj("閉じてください"));
  EXPECT_EQ(main().ScreenTab->active_page(), SheetOfSlot(slot));
  for (const char* title : {"Welcome", "about:blank", "x?homepage=bob"}) {
    engine(slot).Title(title);
    EXPECT_EQ(SheetOfSlot(slot)->caption(), Sj("閉じてください"));
  }
}

TEST_F(NavigationTest, DuplicateLoginInTheSiteTabRenamesItToo) {
  main().cbTabLock->SetChecked(true);
  engine(0).BeforeNavigate("http://site.test/member/login/nickinuse.htm");
  EXPECT_EQ(main().TabSheetHobnest->caption(), Sj("閉じてください"));
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetHobnest);
}

TEST_F(NavigationTest, LoginRequestsOpenTheLoginManagerAndNeverLoad) {
  for (int slot : {0, 1, OpenLoadedTab()}) {
    login().Close();
    EXPECT_TRUE(engine(slot).BeforeNavigate("http://site.test/member/login/goLogin.jsp"));
    EXPECT_TRUE(login().visible());
  }
  EXPECT_TRUE(fp.dialogs.shown.empty());
}

TEST_F(NavigationTest, StatusTabIsLockedDown) {
  int status = OpenLoadedTab();
  main().StatusActive = true;
  main().StatusSlot = status;
  main().ScreenTab->UserSelect(main().TabSheetMyHome);

  EXPECT_FALSE(engine(status).BeforeNavigate("http://app.test/logs/logs_insert_e.jsp"));
  EXPECT_FALSE(engine(status).BeforeNavigate("about:blank"));
  EXPECT_TRUE(fp.dialogs.shown.empty());
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetMyHome)
      << "the status tab never jumps to the front by itself";

  EXPECT_TRUE(engine(status).BeforeNavigate("http://hp.test/@hanako"));
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("このページからはリンク移動できません。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("Mirabo::オンラインステータス"));
  // The lock-down comes after the login request and before everything else.
  EXPECT_TRUE(engine(status).BeforeNavigate("http://site.test/goLogin"));
  EXPECT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_TRUE(engine(status).BeforeNavigate("http://app.test/x?homepage=bob"));
  EXPECT_EQ(SheetOfSlot(status)->caption(), "") << "a refused navigation goes no further";
}

TEST_F(NavigationTest, OneTabPerMemberHomepage) {
  int a = OpenLoadedTab();
  int b = OpenLoadedTab();
  int c = OpenLoadedTab();
  SheetOfSlot(a)->SetCaption("abc");
  SheetOfSlot(b)->SetCaption("abc");
  SheetOfSlot(c)->SetCaption("xyz");
  int d = OpenLoadedTab();
  platform::WebBrowser* target = main().BrowserSlots[d];
  platform::WebBrowser* kept = main().BrowserSlots[c];

  EXPECT_FALSE(engine(d).BeforeNavigate("http://app.test/diary/diary_list.jsp?homepage=abc&cpg=1"));
  EXPECT_EQ(used_slots(), 4) << "both tabs captioned abc close, the neighbours included";
  EXPECT_EQ(main().BrowserSlots[2], kept);
  EXPECT_EQ(main().BrowserSlots[3], target);
  ui::TabSheet* sheet = static_cast<ui::TabSheet*>(target->parent());
  EXPECT_EQ(sheet->caption(), "abc");
  EXPECT_EQ(main().ScreenTab->active_page(), sheet);
}

TEST_F(NavigationTest, OwnHomepageIsCaptionedButClosesNothing) {
  int a = OpenLoadedTab();
  SheetOfSlot(a)->SetCaption("taro");
  int b = OpenLoadedTab();
  engine(b).BeforeNavigate("http://app.test/diary/diary_list.jsp?homepage=taro");
  EXPECT_EQ(used_slots(), 4);
  EXPECT_EQ(SheetOfSlot(b)->caption(), "taro");
}

TEST_F(NavigationTest, FixedTabsKeepTheirCaptions) {
  engine(1).BeforeNavigate("http://app.test/diary/diary_list.jsp?homepage=abc");
  EXPECT_EQ(main().TabSheetMyHome->caption(), Sj("マイホーム"));
}

TEST_F(NavigationTest, TabLockKeepsTheActiveTab) {
  int slot = OpenLoadedTab();
  main().cbTabLock->SetChecked(true);
  engine(slot).BeforeNavigate("http://app.test/diary/diary_list.jsp?homepage=abc");
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetMyHome);
  EXPECT_EQ(SheetOfSlot(slot)->caption(), "abc");
}

TEST_F(NavigationTest, NewWindowFromAFixedTabBecomesANewTab) {
  // The site tab is in front and the lock is off: the new browser is not sent to about:blank.
  main().ScreenTab->SetActivePage(main().TabSheetHobnest);
  platform::BrowserEngine* handed = engine(0).NewWindow("http://hp.test/links.jsp");
  ASSERT_EQ(used_slots(), 3);
  EXPECT_EQ(handed, &main().BrowserSlots[2]->engine());
  EXPECT_EQ(engine(2).related_to, &engine(0));
  EXPECT_TRUE(engine(2).navigations.empty());
  EXPECT_EQ(main().BrowserSlots[2]->tag(), 1);
  EXPECT_TRUE(main().BrowserSlots[2]->silent);
  EXPECT_FALSE(main().BrowserSlots[2]->register_as_browser);
  EXPECT_FALSE(main().BrowserSlots[2]->register_as_drop_target);
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetHobnest) << "not activated here";

  // From the home tab (not the site tab in front) it starts at about:blank; and the new tab's
  // own new windows become tabs again.
  main().ScreenTab->SetActivePage(main().TabSheetMyHome);
  engine(1).NewWindow("http://hp.test/generic.jsp");
  EXPECT_EQ(engine(3).navigations, std::vector<std::string>{"about:blank"});
  engine(3).NewWindow("http://hp.test/generic.jsp");
  EXPECT_EQ(used_slots(), 5);
}

TEST_F(NavigationTest, NewWindowFromAnOpenedTabReplacesItsBrowserInPlace) {
  int slot = OpenLoadedTab();
  platform::WebBrowser* old = main().BrowserSlots[slot];
  ui::TabSheet* sheet = SheetOfSlot(slot);
  platform::BrowserEngine* handed = engine(slot).NewWindow("http://hp.test/generic.jsp");
  EXPECT_EQ(used_slots(), 3);
  platform::WebBrowser* now = main().BrowserSlots[slot];
  EXPECT_NE(now, old);
  EXPECT_EQ(handed, &now->engine());
  EXPECT_EQ(now->parent(), sheet);
  EXPECT_EQ(main().RetiredBrowser, old);
  EXPECT_EQ(old->tag(), 8);
  EXPECT_EQ(old->parent(), sheet) << "it stays under the new browser for a while";
  EXPECT_EQ(main().ScreenTab->PageCount(), 3);

  // The replacement opens its own new windows as tabs.
  EngineOf(now).NewWindow("http://hp.test/generic.jsp");
  EXPECT_EQ(used_slots(), 4);

  // A second replacement destroys the first retired browser at once.
  fake::Engine* old_engine = &EngineOf(old);
  int second = OpenLoadedTab();
  engine(second).NewWindow("http://hp.test/generic.jsp");
  EXPECT_FALSE(fp.browsers.alive(old_engine));
  EXPECT_EQ(main().RetiredBrowser->parent(), SheetOfSlot(second));
}

TEST_F(NavigationTest, NewWindowFailures) {
  // A retired browser is in no slot.
  int slot = OpenLoadedTab();
  fake::Engine& first = engine(slot);
  first.NewWindow("http://hp.test/generic.jsp");
  bool cancelled = false;
  EXPECT_EQ(first.NewWindow("http://hp.test/generic.jsp", &cancelled), nullptr);
  EXPECT_FALSE(cancelled);
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("ブラウザが見つかりません。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("確認::WBNewWindow2b"));

  // ... so the control's default applies: the page opens outside the program.
  ASSERT_EQ(fp.shell.opened.size(), 1u);

  const char* memory = "新規ブラウザ用メモリの確保に失敗しました。ソフトを終了させてください。";
  int opened = OpenLoadedTab();
  fp.browsers.fail_next = 1;
  EXPECT_EQ(engine(opened).NewWindow("http://hp.test/generic.jsp", &cancelled), nullptr);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(fp.dialogs.shown.back().text, Sj(memory));
  EXPECT_EQ(fp.dialogs.shown.back().caption, Sj("メモリ確保エラー::WBNewWindow2b"));

  fp.browsers.fail_next = 1;
  EXPECT_EQ(engine(0).NewWindow("http://hp.test/generic.jsp", &cancelled), nullptr);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(fp.dialogs.shown.back().caption, Sj("メモリ確保エラー::WBNewWindow2"));
  EXPECT_EQ(fp.shell.opened.size(), 1u) << "a cancelled window opens nowhere";
}

TEST_F(NavigationTest, AtThePageLimitANewWindowOpensOutsideTheProgram) {
  for (int i = 0; i < 30; ++i) main().DoNewTabExecute();
  bool cancelled = false;
  EXPECT_EQ(engine(0).NewWindow("http://hp.test/generic.jsp", &cancelled), nullptr);
  EXPECT_FALSE(cancelled);
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("これ以上ページを開けません。"));
  ASSERT_EQ(fp.shell.opened.size(), 1u);
  EXPECT_EQ(fp.shell.opened[0].first, "http://hp.test/generic.jsp");
}

TEST_F(NavigationTest, TitleCaptions) {
  struct Case {
    const char* title;
    const char* caption;  // nullptr: unchanged
  } cases[] = {
      {"x?homepage=abc&cpg=1", "abc&cpg=1"},
      {"my buddy list", "*フレンド*"},
      {"chat room", "*チャット*"},
      {"http://hp.test/ch/lobby", "*チャット*"},
      {"popup", "*広告*"},
      {"http://hp.test/msg/inbox", "*メッセージ*"},
      {"about:blank", "*ready*"},
      {"ようこそ", "ようこそ"},
      {"::: Hobnest :::", nullptr},
      {"http://hp.test/generic.jsp", nullptr},
      {"", ""},
  };
  int slot = OpenLoadedTab();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    SheetOfSlot(slot)->SetCaption("before");
    engine(slot).Title(Sj(c.title));
    EXPECT_EQ(SheetOfSlot(slot)->caption(), c.caption ? Sj(c.caption) : "before");
  }
  std::string long_title(300, 'x');
  engine(slot).Title(long_title);
  EXPECT_EQ(SheetOfSlot(slot)->caption(), long_title) << "captions are never shortened";
}

TEST_F(NavigationTest, ProgressTexts) {
  struct Case {
    int progress, max;
    const char* text;
  } cases[] = {
      {50, 200, "Loading.. 25%"},    {300, 200, "Loading.. "}, {-1, 100, "Document Completed."},
      {5, 0, "Document Completed."}, {0, 100, "Loading.. 0%"}, {200, 200, "Loading.. 100%"},
      {1, 3, "Loading.. 33%"},
  };
  int slot = OpenLoadedTab();
  for (const auto& c : cases) {
    engine(slot).Progress(c.progress, c.max);
    EXPECT_EQ(main().SB->PanelText(1), c.text) << c.progress << "/" << c.max;
  }
  // The designed fixed browsers report no progress.
  engine(1).Progress(10, 100);
  EXPECT_EQ(main().SB->PanelText(1), "Loading.. 33%");
}

TEST_F(NavigationTest, DocumentCompleteClearsTheBusyMark) {
  main().DoNewTabExecute();
  EXPECT_EQ(main().BrowserSlots[2]->tag(), 1);
  engine(2).Complete("http://hp.test/@taro");
  EXPECT_EQ(main().BrowserSlots[2]->tag(), 0);
}

}  // namespace
}  // namespace mirabo::testing
