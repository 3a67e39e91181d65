// The status writer: the status menus, the status tab, the posts and their pacing, the avatar
// code, the refusal, and the status tab going away.
#include "browser/presence/status_page.h"
#include "tests/unit/presence_fixture.h"

namespace mirabo::testing {
namespace {

const std::string kFetching = text::ToSjis("(･ω･) アバターコード取得中");
const std::string kWriting = text::ToSjis("(｀･ω･´) 書き込み中！");

class StatusWriterTest : public PresenceTest {
 protected:
  // The status browser's pages written so far.
  const std::vector<std::string>& written() { return status_engine().written; }
  // The status tab's first document arrives.
  void BlankLoads() { status_engine().Complete("about:blank"); }
  // The site answers the last post.
  void Answers(std::unique_ptr<fake::Document> page) {
    status_engine().Complete(kGuestbook, std::move(page));
  }
  std::string Page(int status, const std::string& avatar) {
    return StatusPage(kGuestbook, "taro", Text(status), avatar);
  }
  // Everything up to the regular posts: a code in the first answer.
  void RunningWithCode(int status) {
    nst(status).Click();
    BlankLoads();
    fp.scheduler.Advance(100);
    Answers(Answer("ABCD"));
    fp.scheduler.Advance(100);
    ASSERT_EQ(written().size(), 2u);
  }
};

TEST(StatusPage, IsTheOriginalPageWithItsValuesEscaped) {
  const std::string action = "http://app.test/logs/logs_insert_e.jsp";
  std::string page = StatusPage(action, "taro", text::ToSjis("外出中(≧ω≦)！"), "");
  EXPECT_EQ(
      page,
      text::ToSjis("<html><head><META HTTP-EQUIV=\"Content-Type\" Content=\"text/html; "
                   "charset=Shift_JIS\"><title>*ONL STAT*</title></head><body bgcolor='#ffffff' "
                   "onLoad='javascript:document.charset=\"Shift_JIS\"; "
                   "document.myform.submit();'><center><br><br><br><br><br><br><br><br><br><h2>"
                   "(･ω･) アバターコード取得中</h2></center><form name=\"myform\" method=post "
                   "accept-charset=Shift_JIS action=\"http://app.test/logs/logs_insert_e.jsp\">"
                   "<INPUT TYPE=\"hidden\" name=\"homepage\" value=\"taro\"><INPUT TYPE=\"hidden\" "
                   "name=\"cpg\" value=\"1\"><input type=\"hidden\" name=message "
                   "style=\"width:444px;\" maxlength=1500 value=\"外出中(≧ω≦)！\"><input "
                   "type='hidden' name='avatar' value=''></form></body></html>"));
  std::string known = StatusPage(action, "taro", "x", "ABCD11");
  EXPECT_NE(known.find("<h2>" + text::ToSjis("(｀･ω･´) 書き込み中！") + "</h2>"),
            std::string::npos);
  EXPECT_NE(known.find("name='avatar' value='ABCD11'>"), std::string::npos);

  struct Case {
    const char* text;
    const char* in_page;
  } cases[] = {
      {"say \"hi\"", "value=\"say &quot;hi&quot;\""},
      {"<b> & 'x'", "value=\"&lt;b&gt; &amp; &#39;x&#39;\""},
  };
  for (const auto& c : cases) {
    std::string p = StatusPage(action, c.text, c.text, c.text);
    EXPECT_NE(
        p.find(std::string("name=message style=\"width:444px;\" maxlength=1500 ") + c.in_page),
        std::string::npos)
        << c.text;
    EXPECT_NE(p.find(std::string("name=\"homepage\" ") + c.in_page), std::string::npos) << c.text;
    EXPECT_EQ(p.find(std::string("value='") + c.text), std::string::npos) << "avatar escaped too";
  }
}

TEST(AvatarCode, ReadFromTheAnswersElements) {
  struct Case {
    std::string outer;
    std::optional<std::string> code;
  };
  const std::string s64(64, 'Q');
  std::string a64;
  for (int i = 0; i < 64; ++i) a64 += text::ToSjis("ア");
  const Case cases[] = {
      {"<input type='hidden' name='avatar' value='ABCD\">", "ABCD11"},
      {"<input type='hidden' name='avatar' value='ABC\">", std::nullopt},
      {AvatarScript("TR7Q2K"), "TR7Q2K11"},
      {"x name='avatar' value='" + s64, s64 + "11"},
      {"x name='avatar' value='" + s64 + "ZZZ", s64 + "11"},
      {"name='avatar' value='" + text::ToSjis("アバ") + "\"", text::ToSjis("アバ") + "11"},
      {"name='avatar' value='" + text::ToSjis("ア") + "\"", std::nullopt},
      {"<input name=\"avatar\" value=\"ABCD\">", std::nullopt},
      {"name='avatar' value='", std::nullopt},
      {"name='avatar'", std::nullopt},
      // Characters count, not bytes: 64 two-byte characters are taken whole.
      {"name='avatar' value='" + a64 + "X", a64 + "11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::ToUtf8(c.outer));
    EXPECT_EQ(AvatarCodeIn(c.outer), c.code);
  }
  EXPECT_TRUE(RefusesPost(text::ToSjis("<script>alert(\"権限がないです\")</script>")));
  EXPECT_FALSE(RefusesPost(text::ToSjis("<a>権限があります</a>")));
}

TEST_F(StatusWriterTest, ChoosingFromThePopupOpensTheStatusTabInFrontAndPosts) {
  for (int i = 0; i < 2; ++i) OpenLoadedTab();
  main().ScreenTab->UserSelect(main().TabSheetMyHome);
  nst2(2).Click();
  EXPECT_TRUE(nst(2).checked());
  EXPECT_TRUE(nst2(2).checked());
  for (int i : {0, 1, 3, 4}) EXPECT_FALSE(nst(i).checked()) << i;
  ASSERT_TRUE(main().StatusActive);
  EXPECT_EQ(main().StatusSlot, 4);
  EXPECT_EQ(main().StatusIndex, 2);
  EXPECT_EQ(main().ScreenTab->active_page(), SheetAt(4)) << "opened at once, in front";
  EXPECT_EQ(status_engine().navigations, std::vector<std::string>{"about:blank"});
  EXPECT_EQ(main().StatusBrowser()->tag(), 1);
  EXPECT_FALSE(main().PageClose->enabled()) << "the status tab cannot be closed by hand";

  // Opening: nothing is written while the blank page is on its way.
  fp.scheduler.Advance(1000);
  EXPECT_TRUE(written().empty());
  BlankLoads();
  // Due: the first page within 100 ms, in place, with the heading for the code.
  fp.scheduler.Advance(100);
  ASSERT_EQ(written().size(), 1u);
  EXPECT_EQ(written()[0], Page(2, ""));
  EXPECT_NE(written()[0].find(kFetching), std::string::npos);
  EXPECT_EQ(status_engine().written_base[0], kGuestbook);
  EXPECT_EQ(status_engine().refreshes, 1) << "refreshed, then written";
  EXPECT_EQ(main().StatusBrowser()->tag(), 1);
  // Posting: nothing more until the answer has completed.
  fp.scheduler.Advance(10000);
  EXPECT_EQ(written().size(), 1u);
  Answers(Answer("ABCD"));
  EXPECT_EQ(main().AvatarCode, "ABCD11");
  EXPECT_EQ(main().StatusBrowser()->tag(), 0);
  // The code known: the next post within 100 ms of the answer, then every WriteInterval
  // minutes.
  const std::int64_t answered = fp.scheduler.now();
  while (written().size() < 2 && fp.scheduler.now() < answered + 100) fp.scheduler.Advance(1);
  ASSERT_EQ(written().size(), 2u);
  EXPECT_EQ(written()[1], Page(2, "ABCD11"));
  EXPECT_NE(written()[1].find(kWriting), std::string::npos);
  EXPECT_EQ(main().StatTimer.interval(), 5 * 60000);
  Answers(Answer());
  fp.scheduler.Advance(5 * 60000 - 1);
  EXPECT_EQ(written().size(), 2u);
  fp.scheduler.Advance(1);
  ASSERT_EQ(written().size(), 3u);
  EXPECT_EQ(written()[2], Page(2, "ABCD11"));
  EXPECT_EQ(main().AvatarCode, "ABCD11") << "an answer without a code keeps it";
}

TEST_F(StatusWriterTest, WithoutACodeEveryAnswerIsFollowedByAPost100MsLater) {
  nst(0).Click();
  BlankLoads();
  for (int n = 1; n <= 4; ++n) {
    fp.scheduler.Advance(99);
    EXPECT_EQ(written().size(), static_cast<std::size_t>(n - 1));
    fp.scheduler.Advance(1);
    ASSERT_EQ(written().size(), static_cast<std::size_t>(n));
    EXPECT_EQ(written().back(), Page(0, ""));
    EXPECT_EQ(main().StatTimer.interval(), 100);
    Answers(Answer(n == 2 ? "ABC" : ""));  // three characters are no code
  }
  EXPECT_EQ(main().AvatarCode, "");
}

TEST_F(StatusWriterTest, ALaterElementsCodeReplacesAnEarlierOne) {
  nst(1).Click();
  BlankLoads();
  fp.scheduler.Advance(100);
  auto page = Answer("FIRST");
  page->AddElement("SCRIPT", AvatarScript("SECOND"));
  Answers(std::move(page));
  EXPECT_EQ(main().AvatarCode, "SECOND11");
}

TEST_F(StatusWriterTest, ARefusedPostStopsThePostsAndKeepsTheTab) {
  nst(2).Click();
  BlankLoads();
  fp.scheduler.Advance(100);
  Answers(Refusal());
  EXPECT_FALSE(main().StatTimer.enabled());
  EXPECT_TRUE(main().StatusActive);
  fp.scheduler.Advance(20 * 60000);
  EXPECT_EQ(written().size(), 1u);
  // Another status only changes the index; nothing is posted.
  nst(3).Click();
  EXPECT_EQ(main().StatusIndex, 3);
  EXPECT_TRUE(nst(3).checked());
  EXPECT_EQ(used_slots(), 3) << "no second status tab";
  fp.scheduler.Advance(20 * 60000);
  EXPECT_EQ(written().size(), 1u);
  // Off and on again writes again, in a new tab.
  nst(3).Click();
  EXPECT_EQ(used_slots(), 2);
  nst(3).Click();
  BlankLoads();
  fp.scheduler.Advance(100);
  EXPECT_EQ(written().size(), 1u);
  EXPECT_EQ(written()[0], Page(3, ""));
}

TEST_F(StatusWriterTest, ChangingTheStatusWhileWritingPostsTheNewTextAtTheNextIdleTick) {
  RunningWithCode(2);
  Answers(Answer());
  nst(0).Click();
  EXPECT_TRUE(nst(0).checked());
  EXPECT_TRUE(nst2(0).checked());
  EXPECT_FALSE(nst(2).checked());
  EXPECT_FALSE(nst2(2).checked());
  EXPECT_EQ(used_slots(), 3) << "no second status tab";
  fp.scheduler.Advance(100);
  ASSERT_EQ(written().size(), 3u);
  EXPECT_EQ(written()[2], Page(0, "ABCD11"));
  EXPECT_EQ(main().StatTimer.interval(), 5 * 60000) << "back to the regular interval";

  // While a post is on its way, the change waits for its answer.
  nst(1).Click();
  fp.scheduler.Advance(1000);
  EXPECT_EQ(written().size(), 3u);
  Answers(Answer());
  fp.scheduler.Advance(100);
  ASSERT_EQ(written().size(), 4u);
  EXPECT_EQ(written()[3], Page(1, "ABCD11"));
}

TEST_F(StatusWriterTest, AnEditInTheDialogIsPostedFromTheNextPostOn) {
  RunningWithCode(2);
  Answers(Answer());
  main().N24->Click();
  onlstat().StatusList->UserSelect(2);
  onlstat().EditStatus->SetText("edited");
  onlstat().Button1->Click();
  fp.scheduler.Advance(5 * 60000);
  ASSERT_EQ(written().size(), 3u);
  EXPECT_EQ(written()[2], StatusPage(kGuestbook, "taro", "edited", "ABCD11"));
  EXPECT_FALSE(text::Exists("OnlStatus.txt")) << "the dialog is still open";
}

TEST_F(StatusWriterTest, ClickingTheChosenStatusAgainClosesTheStatusTab) {
  OpenLoadedTab();
  RunningWithCode(3);
  platform::WebBrowser* other = main().BrowserSlots[2];
  nst2(3).Click();
  EXPECT_FALSE(main().StatusActive);
  EXPECT_FALSE(main().StatTimer.enabled());
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(nst(i).checked()) << i;
  EXPECT_EQ(used_slots(), 3);
  EXPECT_EQ(main().BrowserSlots[2], other);
  EXPECT_EQ(main().ScreenTab->active_page(), SheetAt(2)) << "the tab to its left";
  EXPECT_TRUE(main().IdleTimer.enabled());
}

TEST_F(StatusWriterTest, AllBrowserSlotsInUsePostNothing) {
  while (used_slots() < TMain::kPageLimit) OpenLoadedTab();
  nst(2).Click();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"これ以上ページを開けません。"});
  EXPECT_FALSE(main().StatTimer.enabled());
  EXPECT_FALSE(main().StatusActive);
  EXPECT_TRUE(nst(2).checked()) << "the check mark stays";
  fp.scheduler.Advance(60000);
  for (int i = 2; i < TMain::kPageLimit; ++i) EXPECT_TRUE(engine(i).written.empty()) << i;
  nst(2).Click();
  EXPECT_FALSE(nst(2).checked());
  EXPECT_EQ(used_slots(), TMain::kPageLimit) << "no tab is closed";
}

TEST_F(StatusWriterTest, ABrowserThatCannotBeCreatedLeavesTheWriterToOpenANewTabLater) {
  fp.browsers.fail_next = 1;
  nst(2).Click();
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text,
            Sj("致命的エラーが発生しました。直ちにソフトウェアを終了させてください。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("メモリ確保エラー::StatusWriteBegin"));
  EXPECT_FALSE(main().StatTimer.enabled());
  EXPECT_TRUE(main().StatusActive);
  nst(1).Click();
  ASSERT_NE(main().StatusBrowser(), nullptr);
  BlankLoads();
  fp.scheduler.Advance(100);
  EXPECT_EQ(written(), std::vector<std::string>{Page(1, "")});
}

TEST_F(StatusWriterTest, TheStatusTabRemovedByThePageWatcherIsNeverReplacedByAnotherTab) {
  RunningWithCode(2);
  int other = OpenLoadedTab();  // the tab right of the status tab
  ASSERT_EQ(other, 3);
  platform::WebBrowser* next = main().BrowserSlots[3];
  Answers(Answer());
  status_engine().LoseDocument();  // its page closed its window
  Tick();
  ASSERT_EQ(main().BrowserSlots[2], next) << "the other tab moved into the status slot";
  EXPECT_EQ(main().StatusBrowser(), nullptr);
  fp.scheduler.Advance(5 * 60000);
  EXPECT_TRUE(EngineOf(next).written.empty()) << "never written into another tab";
  EXPECT_FALSE(main().StatTimer.enabled()) << "stopped at its next tick";
  // The tab that moved in is an ordinary tab: it can be closed and its links work.
  main().ScreenTab->UserSelect(SheetAt(2));
  EXPECT_TRUE(main().PageClose->enabled());
  EXPECT_FALSE(EngineOf(next).BeforeNavigate("http://hp.test/@hanako"));
  EXPECT_TRUE(fp.dialogs.shown.empty());
  // Another status opens a new status tab; unchecking closes that one only.
  nst(0).Click();
  ASSERT_NE(main().StatusBrowser(), nullptr);
  EXPECT_EQ(main().StatusSlot, 3);
  BlankLoads();
  fp.scheduler.Advance(100);
  EXPECT_EQ(written(), std::vector<std::string>{Page(0, "ABCD11")});
  nst(0).Click();
  EXPECT_EQ(used_slots(), 3);
  EXPECT_EQ(main().BrowserSlots[2], next);
}

TEST_F(StatusWriterTest, UncheckingAfterTheTabWentClosesNoOtherTab) {
  RunningWithCode(2);
  OpenLoadedTab();
  Answers(Answer());
  status_engine().LoseDocument();
  Tick();
  ASSERT_EQ(used_slots(), 3);
  nst(2).Click();
  EXPECT_EQ(used_slots(), 3);
  EXPECT_FALSE(nst(2).checked());
}

TEST_F(StatusWriterTest, ANewWindowOfTheStatusPageReplacesItsBrowserAndWritingGoesOn) {
  RunningWithCode(2);
  Answers(Answer());
  fake::Engine* old = &status_engine();
  old->NewWindow("http://app.test/popup.jsp");
  ASSERT_NE(&status_engine(), old) << "a new browser in the same tab";
  EXPECT_EQ(main().StatusBrowser()->parent(), main().ScreenTab->Page(2));
  // The page of the new window is refused in the status tab, the blank page is not.
  EXPECT_TRUE(status_engine().BeforeNavigate("http://app.test/popup.jsp"));
  BlankLoads();
  fp.scheduler.Advance(5 * 60000);
  EXPECT_EQ(status_engine().written, std::vector<std::string>{Page(2, "ABCD11")});
  EXPECT_EQ(old->written.size(), 2u);
}

TEST_F(StatusWriterTest, LinksOnTheAnswerPageAreRefused) {
  RunningWithCode(2);
  Answers(Answer());
  EXPECT_TRUE(status_engine().BeforeNavigate("http://hp.test/@taro"));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"このページからはリンク移動できません。"});
  EXPECT_FALSE(status_engine().BeforeNavigate(kGuestbook));
}

TEST_F(StatusWriterTest, AWriteIntervalOfZeroPostsNoRegularPosts) {
  onlstat().WriteInterval = 0;
  RunningWithCode(2);
  Answers(Answer());
  fp.scheduler.Advance(24 * 60 * 60000);
  EXPECT_EQ(written().size(), 2u);
  // A huge interval from the file is the longest the timer can hold.
  onlstat().WriteInterval = 100000;
  nst(1).Click();
  fp.scheduler.Advance(100);
  EXPECT_EQ(written().size(), 3u);
  EXPECT_EQ(main().StatTimer.interval(), INT_MAX);
}

TEST_F(StatusWriterTest, TheAsleepItemIsClickableOnlyOnceTheSleepDetectionChoseIt) {
  EXPECT_FALSE(nst(4).enabled());
  EXPECT_FALSE(nst2(4).enabled());
  // As the sleep detection chooses it.
  nst(4).SetChecked(true);
  nst(4).SetEnabled(true);
  main().StatusWriteBegin(4);
  BlankLoads();
  fp.scheduler.Advance(100);
  EXPECT_EQ(written(), std::vector<std::string>{Page(4, "")});
  // Another status disables it; choosing it again is not possible.
  nst(0).Click();
  EXPECT_FALSE(nst(4).enabled());
  EXPECT_FALSE(nst2(4).enabled());
  EXPECT_TRUE(nst(0).checked());
  nst(4).Click();
  EXPECT_TRUE(nst(0).checked());
  // Unchecking the asleep status leaves it disabled.
  nst(0).Click();
  nst(4).SetEnabled(true);
  nst(4).SetChecked(true);
  main().StatusWriteBegin(4);
  nst2(4).Click();
  EXPECT_FALSE(nst(4).checked());
  EXPECT_FALSE(nst(4).enabled());
  EXPECT_FALSE(main().StatusActive);
}

}  // namespace
}  // namespace mirabo::testing
