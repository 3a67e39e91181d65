// The page watcher's tick and the frame scanner.
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

using PageWatcherTest = StartedProgramTest;

TEST_F(PageWatcherTest, ProgramTabThatLostItsPageDisappears) {
  for (int i = 0; i < 5; ++i) OpenLoadedTab();
  main().StatusActive = true;
  main().StatusSlot = 6;
  platform::WebBrowser* status = main().BrowserSlots[6];
  platform::WebBrowser* after = main().BrowserSlots[4];
  engine(3).LoseDocument();
  Tick();
  EXPECT_EQ(used_slots(), 6);
  EXPECT_EQ(main().BrowserSlots[3], after);
  EXPECT_EQ(main().BrowserSlots[main().StatusSlot], status);
  EXPECT_EQ(main().ScreenTab->PageCount(), 6);
}

TEST_F(PageWatcherTest, TwoNeighboursLosingTheirPagesTakeTwoTicks) {
  for (int i = 0; i < 3; ++i) OpenLoadedTab();
  engine(2).LoseDocument();
  engine(3).LoseDocument();
  Tick();
  EXPECT_EQ(used_slots(), 4) << "the entry that moved into the freed slot waits";
  Tick();
  EXPECT_EQ(used_slots(), 3);
}

TEST_F(PageWatcherTest, StartingBrowserIsLeftAlone) {
  main().DoNewTabExecute();  // busy mark 1 and no document yet
  Tick(10);
  EXPECT_EQ(used_slots(), 3);
}

TEST_F(PageWatcherTest, HomeTabComesBackAtTheHomepageAndTheSiteTabBlank) {
  platform::WebBrowser* old_home = main().WB3;
  fake::Engine* old_engine = &engine(1);
  engine(1).LoseDocument();
  engine(0).LoseDocument();
  Tick();
  EXPECT_FALSE(fp.browsers.alive(old_engine));
  EXPECT_NE(main().WB3, old_home);
  EXPECT_EQ(main().BrowserSlots[1], main().WB3);
  EXPECT_EQ(main().WB3->parent(), main().TabSheetMyHome);
  EXPECT_EQ(engine(1).navigations,
            (std::vector<std::string>{"about:blank", "http://hp.test/@taro"}));
  EXPECT_EQ(engine(0).navigations, std::vector<std::string>{"about:blank"});
  EXPECT_EQ(main().WB3->tag(), 1);
  EXPECT_EQ(main().ScreenTab->PageCount(), 2);
  // The re-created browsers carry every handler: their titles and new windows are handled.
  engine(0).Progress(1, 2);
  EXPECT_EQ(main().SB->PanelText(1), "Loading.. 50%");
  engine(1).Complete("http://hp.test/@taro");
  EXPECT_EQ(main().WB3->tag(), 0);
}

TEST_F(PageWatcherTest, FixedBrowserThatCannotBeRecreatedStopsTheWatcher) {
  engine(1).LoseDocument();
  fp.browsers.fail_next = 1;
  int ticks_during_box = 0;
  fp.dialogs.during = [&] {
    fp.scheduler.Advance(600);
    ++ticks_during_box;
  };
  Tick();
  ASSERT_EQ(fp.dialogs.shown.size(), 1u) << "one box, not one per tick";
  EXPECT_EQ(fp.dialogs.shown[0].text,
            Sj("致命的エラーが発生しました。直ちにソフトを終了させてください。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("メモリ確保エラー::IdleTimerTimer"));
  EXPECT_FALSE(main().IdleTimer.enabled());
  EXPECT_EQ(main().BrowserSlots[1], main().WB3) << "the slot still holds a browser";
  Tick(10);
  EXPECT_EQ(fp.dialogs.shown.size(), 1u);
}

TEST_F(PageWatcherTest, EmptyCaptionsAreNamedFromTheAddress) {
  struct Case {
    const char* address;
    const char* caption;
  } cases[] = {
      {"http://app.test/diary/diary_list.jsp?homepage=abc&cpg=1", "abc&cpg=1"},
      {"http://hp.test/buddy/buddy_list.jsp", "*フレンド*"},
      {"http://hp.test/chat/room", "*チャット*"},
      {"http://hp.test/ch/lobby.jsp", "*チャット*"},
      {"http://hp.test/pop/ad.jsp", "*広告*"},
      {"http://hp.test/msg/inbox.jsp", "*メッセージ*"},
      {"http://hp.test/generic.jsp", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    int slot = OpenLoadedTab(c.address);
    Tick();
    EXPECT_EQ(SheetOfSlot(slot)->caption(), Sj(c.caption));
  }
  int slot = OpenLoadedTab("http://hp.test/buddy/buddy_list.jsp");
  SheetOfSlot(slot)->SetCaption("kept");
  Tick();
  EXPECT_EQ(SheetOfSlot(slot)->caption(), "kept") << "a caption that is there is never changed";
  engine(1).location = "http://hp.test/buddy/x";
  Tick();
  EXPECT_EQ(main().TabSheetMyHome->caption(), Sj("マイホーム"));
}

TEST_F(PageWatcherTest, RetiredBrowserGoesOnTheNinthTick) {
  int slot = OpenLoadedTab();
  fake::Engine* old = &engine(slot);
  old->NewWindow("http://hp.test/generic.jsp");
  Tick(8);
  EXPECT_TRUE(fp.browsers.alive(old));
  EXPECT_EQ(main().RetiredBrowser->tag(), 0);
  Tick();
  EXPECT_FALSE(fp.browsers.alive(old));
  EXPECT_EQ(main().RetiredBrowser, nullptr);

  // A completed document of its own shortens the wait.
  fake::Engine* second = &engine(OpenLoadedTab());
  second->NewWindow("http://hp.test/generic.jsp");
  Tick(2);
  second->Complete("http://hp.test/late.jsp");
  Tick();
  EXPECT_FALSE(fp.browsers.alive(second));
}

TEST_F(PageWatcherTest, ClosingATabWithARetiredBrowserTakesItAlong) {
  int slot = OpenLoadedTab();
  engine(slot).NewWindow("http://hp.test/generic.jsp");
  engine(slot).Complete("http://hp.test/generic.jsp");
  main().ScreenTab->UserSelect(SheetOfSlot(slot));
  main().DoDeleteTabExecute();
  EXPECT_EQ(main().RetiredBrowser, nullptr);
  Tick(12);  // nothing left to count down
  EXPECT_EQ(used_slots(), 2);
}

TEST_F(PageWatcherTest, CloseButtonFollowsTheActiveTab) {
  int slot = OpenLoadedTab();
  main().ScreenTab->SetActivePage(SheetOfSlot(slot));  // a change that raises no event
  EXPECT_FALSE(main().PageClose->enabled());
  Tick();
  EXPECT_TRUE(main().PageClose->enabled());
  main().StatusActive = true;
  main().StatusSlot = slot;
  Tick();
  EXPECT_FALSE(main().PageClose->enabled());
}

// A homepage as the site builds it: a top frame and a chat room whose input frame has the
// chatctrl field and no send button.
std::unique_ptr<fake::Document> Homepage(fake::Document** input_frame) {
  auto top = std::make_unique<fake::Document>();
  fake::Document* nav = top->AddFrame();
  nav->AddElement("A", "<a href=\"javascript:open_myhp('hanako')\">hanako</a>");
  fake::Document* room = top->AddFrame();
  room->AddElement("FRAMESET", "<frameset>");
  room->AddFrame()->AddElement("P", "<p>log</p>");
  fake::Document* input = room->AddFrame();
  input->AddElement("FORM", "<form>");
  input->AddElement("INPUT", "<input type=\"hidden\" name=\"room\" value=\"1\">");
  input->AddElement("INPUT", "<input type=\"text\" name=\"chatctrl\" size=\"40\">");
  *input_frame = input;
  return top;
}

int ChatButtons(fake::Document& d) {
  int n = 0;
  for (auto& e : d.elements) n += e.outer.find("NAME='XXXX'") != std::string::npos;
  return n;
}

TEST_F(PageWatcherTest, ChatInputFrameGetsOneSendButton) {
  fake::Document* input = nullptr;
  auto page = Homepage(&input);
  engine(1).Complete("http://hp.test/@taro", std::move(page));
  ASSERT_EQ(ChatButtons(*input), 1);
  EXPECT_EQ(input->elements[3].outer, Sj("<INPUT TYPE='SUBMIT' NAME='XXXX' VALUE='発言' ALT=''>"));
  EXPECT_EQ(input->elements[2].outer, "<input type=\"text\" name=\"chatctrl\" size=\"40\">");
  for (int i = 0; i < 3; ++i) engine(1).events->DocumentComplete("http://hp.test/chat/input");
  EXPECT_EQ(ChatButtons(*input), 1) << "however often the document completes";
  EXPECT_EQ(input->rewrites, 1);
}

TEST_F(PageWatcherTest, ScannerSkipsWhatItCannotReach) {
  auto top = std::make_unique<fake::Document>();
  fake::Document* foreign = top->AddFrame(platform::Document::FrameAccess::NoDocument);
  foreign->AddElement("INPUT", "<input name=chatctrl>");
  fake::Document* reachable = top->AddFrame();
  reachable->AddElement("INPUT", "<input name=chatctrl>");
  top->AddFrame(platform::Document::FrameAccess::NoWindow);
  fake::Document* after_broken = top->AddFrame();
  after_broken->AddElement("INPUT", "<input name=chatctrl>");
  engine(1).Complete("http://hp.test/@taro", std::move(top));
  EXPECT_EQ(foreign->rewrites, 0);
  EXPECT_EQ(reachable->rewrites, 1);
  EXPECT_EQ(after_broken->rewrites, 0) << "a frame without a window ends the scan";
  // Only documents inside frames are examined; the top document itself never is.
  auto flat = std::make_unique<fake::Document>();
  flat->AddElement("INPUT", "<input name=chatctrl>");
  fake::Document* flat_raw = flat.get();
  engine(1).Complete("http://hp.test/flat", std::move(flat));
  EXPECT_EQ(flat_raw->rewrites, 0);
}

TEST_F(PageWatcherTest, SiteTabDocumentsAreNotScanned) {
  fake::Document* input = nullptr;
  engine(0).Complete("http://hp.test/@taro", Homepage(&input));
  EXPECT_EQ(ChatButtons(*input), 0);
}

}  // namespace
}  // namespace mirabo::testing
