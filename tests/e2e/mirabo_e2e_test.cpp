// Mirabo itself on the real backend (GTK and WebKitGTK under Xvfb) against hobnest-sim: the
// first start and the home tab, new windows into tabs, pages that close their window or lose
// their web process, the chat button, the login as it reaches the site, and the login
// requests and refusals the navigation rules handle.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <webkit2/webkit2.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/mirabo_harness.h"

namespace mirabo::e2e {
namespace {

TEST_F(MiraboE2eTest, FirstStartAsksForTheIdThenTheHomeTabLoadsTheHomepage) {
  // No your.id: the ID box comes up; the member types the ID and presses OK.
  Launch([&](GtkWidget* dialog, GtkWidget* entry) {
    ASSERT_NE(entry, nullptr);
    gtk_widget_grab_focus(entry);
    TypeKeys(dialog, "taro");
    BoxAnswerer::Press(dialog, GTK_RESPONSE_OK);
  });
  ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(TMain::kHomeSlot, "taro"); }))
      << Location(TMain::kHomeSlot);

  ASSERT_EQ(answerer->seen.size(), 1u);
  const SeenBox& box = answerer->seen[0];
  EXPECT_TRUE(box.input);
  EXPECT_EQ(box.title, "ホブネストＩＤの入力");
  EXPECT_NE(std::find(box.labels.begin(), box.labels.end(), "ＩＤ"), box.labels.end());

  // your.id holds the typed ID and no password, for its owner only.
  EXPECT_EQ(text::ReadHead("your.id", 1024), std::optional<std::string>("taro\r\n0\r\n"));
  struct stat st {};
  ASSERT_EQ(stat("your.id", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Login().UserID->text(), "taro");

  // The homepage and every frame of it came from the site.
  for (const char* path :
       {"/@taro", "/hp/top.jsp", "/chat/room.jsp", "/chat/log.jsp", "/chat/input.jsp"})
    EXPECT_GE(CountRequests(sim, path), 1) << path;
  EXPECT_EQ(Location(TMain::kSiteSlot), "about:blank");
}

TEST_F(MiraboE2eTest, WithASavedIdTheHomeTabOpensAtTheHomepageWithoutAsking) {
  Start("taro");
  EXPECT_TRUE(answerer->seen.empty());
  EXPECT_EQ(Login().UserID->text(), "taro");
  EXPECT_EQ(Location(TMain::kHomeSlot), Url("/@taro"));
  for (const char* path :
       {"/@taro", "/hp/top.jsp", "/chat/room.jsp", "/chat/log.jsp", "/chat/input.jsp"})
    EXPECT_GE(CountRequests(sim, path), 1) << path;
  EXPECT_GE(CountRequests(sim, "/hp/top.jsp", "id=taro"), 1);
  // The home tab is the one in front, in the model and on the screen; the site tab is blank.
  EXPECT_EQ(Main().ScreenTab->active_page(), Main().TabSheetMyHome);
  EXPECT_TRUE(NotebookShows(*Main().TabSheetMyHome));
  EXPECT_EQ(TabLabel(*Main().TabSheetHobnest), "ホブネスト");
  EXPECT_EQ(TabLabel(*Main().TabSheetMyHome), "マイホーム");
  EXPECT_EQ(Location(TMain::kSiteSlot), "about:blank");
  EXPECT_EQ(UsedSlots(), 2);
  // The window is on the screen with its caption.
  GtkWidget* window = W(Main());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gtk_widget_get_mapped(window));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Mirabo");
  EXPECT_TRUE(real->recording_shell()->calls.empty());
}

// --- new windows -----------------------------------------------------------------------

// Each link of the page list opens a window (target=_blank); from the site tab each becomes a
// tab of its own at the end of the tab set, in front, named by the captions table or by the
// page watcher from its address.
TEST_F(MiraboE2eTest, BlankTargetLinksOfTheSiteTabOpenNewTabs) {
  Start("taro");
  Slot(TMain::kSiteSlot)->Navigate(Url("/links.jsp"));
  ASSERT_TRUE(PumpUntil([&] { return Shows(TMain::kSiteSlot, "/links.jsp"); }));
  // Following a link of the site tab brought it to the front.
  EXPECT_EQ(Main().ScreenTab->active_page(), Main().TabSheetHobnest);

  struct Case {
    const char* path;
    const char* caption;  // UTF-8; empty: the tab stays unnamed
  };
  const Case cases[] = {
      {"/buddy/buddy_list.jsp", "*フレンド*"},  // the site's generic title; named by address
      {"/ch/lobby.jsp", "*チャット*"},          // untitled: named by its address as title
      {"/pop/ad.jsp", "*広告*"},
      {"/msg/inbox.jsp", "*メッセージ*"},
      {"/links.jsp", "ページ一覧"},  // a title of its own
      {"/@hanako", "花子のホームページ"},
      {"/generic.jsp", ""},  // the generic title and an address that says nothing
      {"/notitle.jsp", ""},  // untitled: its address is no caption
  };
  // The first window opens while the site tab is in front; the others while the tab opened
  // last is (their browsers are sent to "about:blank" first, which the window's page wins).
  std::vector<ui::TabSheet*> sheets;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const int slot = UsedSlots();
    const int before = CountRequests(sim, c.path);
    std::string click = "(function () { var a = document.querySelector('a[href=\"" +
                        std::string(c.path) + "\"]'); a.click(); return a.target; })()";
    ASSERT_EQ(EvalIn(TMain::kSiteSlot, click), "_blank");
    ASSERT_TRUE(PumpUntil([&] { return Shows(slot, c.path); })) << Location(slot);
    EXPECT_EQ(UsedSlots(), slot + 1);
    EXPECT_EQ(Main().ScreenTab->PageCount(), slot + 1);
    EXPECT_EQ(CountRequests(sim, c.path), before + 1);
    auto* sheet = dynamic_cast<ui::TabSheet*>(Slot(slot)->parent());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(Main().ScreenTab->IndexOf(sheet), slot);
    // The new tab came to the front (the tab lock is off), on the screen too.
    EXPECT_EQ(Main().ScreenTab->active_page(), sheet);
    EXPECT_TRUE(PumpUntil([&] { return NotebookShows(*sheet); }));
    EXPECT_TRUE(PumpUntil([&] { return U(sheet->caption()) == c.caption; })) << U(sheet->caption());
    sheets.push_back(sheet);
    // The site tab stays where it was.
    EXPECT_EQ(Location(TMain::kSiteSlot), Url("/links.jsp"));
  }
  // Later titles and ticks changed no caption; the notebook shows each one.
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    EXPECT_EQ(U(sheets[i]->caption()), cases[i].caption) << cases[i].path;
    EXPECT_EQ(TabLabel(*sheets[i]), cases[i].caption) << cases[i].path;
  }
  EXPECT_TRUE(real->recording_shell()->calls.empty());
  EXPECT_TRUE(answerer->seen.empty());
}

// The homepage's top frame opens other members' homepages by script, and its diary link holds
// "homepage=" and the member's ID: one tab per member's pages.
TEST_F(MiraboE2eTest, WindowsOpenedFromTheHomepageFramesBecomeTabsOnePerMember) {
  Start("taro");
  ASSERT_EQ(EvalIn(TMain::kHomeSlot, "frames[0].open_myhp('hanako'); 'ok'"), "ok");
  ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(2, "hanako"); })) << Location(2);
  ui::TabSheet* hanako = Main().ScreenTab->Page(2);
  EXPECT_TRUE(PumpUntil([&] { return U(hanako->caption()) == "花子のホームページ"; }))
      << U(hanako->caption());
  EXPECT_EQ(Main().ScreenTab->active_page(), hanako);

  // Hanako's diary, opened twice from her homepage: the second tab replaces the first.
  const std::string diary = "/diary/diary_list.jsp?homepage=hanako&cpg=1";
  const char* open_diary =
      "(function () { var a = frames[0].document.querySelector('a[href*=\"homepage=\"]');"
      " a.click(); return a.target; })()";
  ASSERT_EQ(EvalIn(2, open_diary), "_blank");
  ASSERT_TRUE(PumpUntil([&] { return UsedSlots() == 4 && Shows(3, diary); })) << Location(3);
  platform::WebBrowser* first_diary = Slot(3);
  EXPECT_EQ(U(Main().ScreenTab->Page(3)->caption()), "hanako");
  ASSERT_EQ(EvalIn(2, open_diary), "_blank");
  ASSERT_TRUE(PumpUntil([&] { return UsedSlots() == 4 && Slot(3) != first_diary; }));
  ASSERT_TRUE(PumpUntil([&] { return Shows(3, diary); })) << Location(3);
  EXPECT_EQ(Main().ScreenTab->PageCount(), 4);
  EXPECT_EQ(U(Main().ScreenTab->Page(3)->caption()), "hanako");
  EXPECT_EQ(Slot(2)->parent(), hanako);
  EXPECT_EQ(CountRequests(sim, "/diary/diary_list.jsp"), 2);

  // The member's own diary closes nothing and is named by the ID too.
  ASSERT_EQ(EvalIn(TMain::kHomeSlot,
                   "(function () { var a = frames[0].document.querySelector("
                   "'a[href*=\"homepage=\"]'); a.click(); return a.target; })()"),
            "_blank");
  ASSERT_TRUE(PumpUntil([&] {
    return UsedSlots() == 5 && Shows(4, "/diary/diary_list.jsp?homepage=taro&cpg=1");
  })) << Location(4);
  EXPECT_EQ(U(Main().ScreenTab->Page(4)->caption()), "taro");
  EXPECT_EQ(U(Main().ScreenTab->Page(3)->caption()), "hanako");
  EXPECT_TRUE(real->recording_shell()->calls.empty());
}

// A page of a tab opened by the program (here: the new-tab command's) opens a window: the
// window's page replaces the tab's browser in place; the old browser is retired and destroyed
// shortly after.
TEST_F(MiraboE2eTest, ANewWindowFromAProgramTabReplacesItsBrowserInPlace) {
  Start("taro");
  const int slot = Main().OpenTab(Url("/opener.jsp"), false, "DoNewTabExecute");
  ASSERT_EQ(slot, 2);
  platform::WebBrowser* opener = Slot(slot);
  ui::Control* sheet = opener->parent();
  GoneWatch opener_view(ViewOf(*opener));
  const int pages = Main().ScreenTab->PageCount();

  // The opener's load script opens the window.
  bool retired_when_replaced = false;
  ASSERT_TRUE(PumpUntil([&] {
    if (Slot(slot) == opener) return false;
    retired_when_replaced = Main().RetiredBrowser == opener;
    return true;
  }));
  const auto replaced = std::chrono::steady_clock::now();
  EXPECT_TRUE(retired_when_replaced);
  platform::WebBrowser* window = Slot(slot);
  EXPECT_EQ(window->parent(), sheet);

  // The retired browser goes within about a second: out of the model and its view destroyed.
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (Main().RetiredBrowser) return false;
        for (const auto& child : sheet->children())
          if (child.get() == opener) return false;
        return opener_view.gone();
      },
      1500));
  const auto gone_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - replaced)
                           .count();
  EXPECT_LT(gone_ms, 1500);

  ASSERT_TRUE(PumpUntil([&] { return Shows(slot, "/generic.jsp"); })) << Location(slot);
  EXPECT_EQ(Slot(slot), window);
  EXPECT_EQ(Main().ScreenTab->PageCount(), pages);
  EXPECT_EQ(UsedSlots(), 3);
  EXPECT_EQ(CountRequests(sim, "/opener.jsp"), 1);
  EXPECT_EQ(CountRequests(sim, "/generic.jsp"), 1);
  // The tab's sheet shows the window's page on the screen.
  GtkWidget* view = GTK_WIDGET(ViewOf(*window));
  EXPECT_TRUE(gtk_widget_is_ancestor(view, W(*sheet)));
  EXPECT_TRUE(real->recording_shell()->calls.empty());
}

// --- tab commands -------------------------------------------------------------------------

// The shortcuts reach the main window's actions through GTK, the buttons their handlers: a new
// tab at the member's homepage, back and forward, the tab lock, closing the tab.
TEST_F(MiraboE2eTest, TabCommandsFromTheKeyboardAndTheButtons) {
  Start("taro");
  GtkWidget* window = W(Main());
  const guint ctrl_alt = GDK_CONTROL_MASK | GDK_MOD1_MASK;
  SendKey(window, GDK_KEY_n, ctrl_alt);
  ASSERT_EQ(UsedSlots(), 3);
  ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(2, "taro"); })) << Location(2);
  ui::TabSheet* sheet = Main().ScreenTab->Page(2);
  EXPECT_EQ(Main().ScreenTab->active_page(), sheet);
  EXPECT_TRUE(PumpUntil([&] { return U(sheet->caption()) == "太郎のホームページ"; }))
      << U(sheet->caption());
  // A program tab in front can be closed.
  EXPECT_TRUE(PumpUntil([&] { return gtk_widget_get_sensitive(W(*Main().PageClose)); }));

  Slot(2)->Navigate(Url("/generic.jsp"));
  ASSERT_TRUE(PumpUntil([&] { return Shows(2, "/generic.jsp"); })) << Location(2);
  gtk_button_clicked(GTK_BUTTON(W(*Main().NaviBack)));
  EXPECT_TRUE(PumpUntil([&] { return ShowsHomepage(2, "taro"); })) << Location(2);
  gtk_button_clicked(GTK_BUTTON(W(*Main().NaviNext)));
  EXPECT_TRUE(PumpUntil([&] { return Shows(2, "/generic.jsp"); })) << Location(2);

  SendKey(window, GDK_KEY_l, ctrl_alt);
  EXPECT_TRUE(Main().cbTabLock->checked());
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(*Main().cbTabLock))));
  SendKey(window, GDK_KEY_l, ctrl_alt);
  EXPECT_FALSE(Main().cbTabLock->checked());

  // Ctrl+Alt+D closes the tab in front; its neighbour comes to the front; the view goes.
  GoneWatch view(ViewOf(*Slot(2)));
  SendKey(window, GDK_KEY_d, ctrl_alt);
  EXPECT_EQ(UsedSlots(), 2);
  EXPECT_EQ(Main().ScreenTab->PageCount(), 2);
  EXPECT_EQ(Main().ScreenTab->active_page(), Main().TabSheetMyHome);
  EXPECT_TRUE(PumpUntil([&] { return view.gone(); }, 3000));
  EXPECT_TRUE(PumpUntil([&] { return NotebookShows(*Main().TabSheetMyHome); }));
  EXPECT_FALSE(gtk_widget_get_sensitive(W(*Main().PageClose)));
  // The fixed tabs cannot be closed.
  SendKey(window, GDK_KEY_d, ctrl_alt);
  EXPECT_EQ(Main().ScreenTab->PageCount(), 2);
  EXPECT_TRUE(answerer->seen.empty());
}

// --- tabs that lose their page ------------------------------------------------------------

enum class Loss {
  ClosesItself,        // the page closes its own window as it loads
  ProcessEnds,         // its web process ends after the page has completed
  ProcessEndsLoading,  // its web process ends while the page is still on its way
};

struct LostPageCase {
  const char* name;
  int slot;  // 0: the site tab, 1: the home tab, 2: a program tab
  Loss loss;
};

class LostPageTest : public MiraboE2eTest, public ::testing::WithParamInterface<LostPageCase> {};

// A program tab that lost its page is taken away; the fixed tabs get a fresh browser: the site
// tab comes back blank, the home tab at the member's homepage.
TEST_P(LostPageTest, TheTabGoesOrComesBackFresh) {
  const LostPageCase& c = GetParam();
  SilentServer never;
  ASSERT_GT(never.port(), 0);
  Start("taro");
  const int homepages = CountRequests(sim, "/@taro");
  std::string page = c.loss == Loss::ClosesItself  ? Url("/selfclose.jsp?auto=1")
                     : c.loss == Loss::ProcessEnds ? Url("/generic.jsp")
                                                   : never.Url("/slow.jsp");
  if (c.slot == 2)
    ASSERT_EQ(Main().OpenTab(page, false, "DoNewTabExecute"), 2);
  else
    Slot(c.slot)->Navigate(page);
  platform::WebBrowser* browser = Slot(c.slot);
  ui::Control* sheet = browser->parent();
  GoneWatch view(ViewOf(*browser));
  platform::WebBrowser* others[2] = {Slot(0), Slot(1)};

  if (c.loss == Loss::ProcessEnds) {
    // The program has had the completed document (its busy mark is down).
    ASSERT_TRUE(PumpUntil([&] { return Shows(c.slot, "/generic.jsp") && browser->tag() == 0; }))
        << Location(c.slot);
    webkit_web_view_terminate_web_process(ViewOf(*browser));
  } else if (c.loss == Loss::ProcessEndsLoading) {
    ASSERT_TRUE(PumpUntil([&] { return never.Connected(); }));
    webkit_web_view_terminate_web_process(ViewOf(*browser));
  }
  ASSERT_TRUE(PumpUntil([&] { return Slot(c.slot) != browser; })) << Location(c.slot);
  switch (c.slot) {
    case 2:
      EXPECT_EQ(UsedSlots(), 2);
      EXPECT_EQ(Main().ScreenTab->PageCount(), 2);
      for (int i = 0; i < Main().ScreenTab->PageCount(); ++i)
        EXPECT_NE(Main().ScreenTab->Page(i), sheet);
      break;
    case TMain::kHomeSlot:
      ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(TMain::kHomeSlot, "taro"); }))
          << Location(TMain::kHomeSlot);
      EXPECT_EQ(Main().WB3, Slot(TMain::kHomeSlot));
      EXPECT_EQ(Slot(TMain::kHomeSlot)->parent(), Main().TabSheetMyHome);
      EXPECT_EQ(CountRequests(sim, "/@taro"), homepages + 1);
      break;
    case TMain::kSiteSlot:
      ASSERT_TRUE(PumpUntil([&] {
        return Location(TMain::kSiteSlot) == "about:blank" &&
               Slot(TMain::kSiteSlot)->GetDocument() != nullptr;
      })) << Location(TMain::kSiteSlot);
      EXPECT_EQ(Main().WB2, Slot(TMain::kSiteSlot));
      EXPECT_EQ(Slot(TMain::kSiteSlot)->parent(), Main().TabSheetHobnest);
      break;
  }
  // The browser that lost its page is destroyed, its view too.
  EXPECT_TRUE(PumpUntil([&] { return view.gone(); }, 3000));
  // The other tabs keep their browsers and pages.
  for (int i = 0; i < 2; ++i) {
    if (i == c.slot) continue;
    EXPECT_EQ(Slot(i), others[i]) << "slot " << i;
  }
  EXPECT_TRUE(ShowsHomepage(TMain::kHomeSlot, "taro")) << Location(TMain::kHomeSlot);
  EXPECT_EQ(UsedSlots(), 2);
  EXPECT_TRUE(answerer->seen.empty());
  EXPECT_TRUE(real->recording_shell()->calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tabs, LostPageTest,
    ::testing::Values(LostPageCase{"ProgramTabClosesItself", 2, Loss::ClosesItself},
                      LostPageCase{"HomeTabClosesItself", 1, Loss::ClosesItself},
                      LostPageCase{"SiteTabClosesItself", 0, Loss::ClosesItself},
                      LostPageCase{"ProgramTabProcessEnds", 2, Loss::ProcessEnds},
                      LostPageCase{"HomeTabProcessEnds", 1, Loss::ProcessEnds},
                      LostPageCase{"SiteTabProcessEnds", 0, Loss::ProcessEnds},
                      LostPageCase{"ProgramTabProcessEndsLoading", 2, Loss::ProcessEndsLoading},
                      LostPageCase{"HomeTabProcessEndsLoading", 1, Loss::ProcessEndsLoading}),
    [](const ::testing::TestParamInfo<LostPageCase>& info) { return info.param.name; });

// --- the chat button ----------------------------------------------------------------------

// The chat room's input frame, in the home tab: its text field and exactly one button.
constexpr const char kChatButtons[] =
    "(function () { var d = frames[1].frames[1].document, b = d.getElementsByName('XXXX');"
    " return (d.__seen ? 'old|' : 'new|') + b.length + '|' + (b.length ? b[0].type + '|' +"
    " b[0].value + '|' + b[0].previousElementSibling.name : ''); })()";

TEST_F(MiraboE2eTest, TheChatInputFrameGetsOneButtonThatPostsTheLine) {
  Start("taro");
  int log_completes = 0;
  auto scan = Slot(TMain::kHomeSlot)->OnDocumentComplete;
  Slot(TMain::kHomeSlot)->OnDocumentComplete =
      [&, scan](platform::WebBrowser& s, platform::Document* d, const std::string& url) {
        if (url.find("/chat/log.jsp") != std::string::npos) ++log_completes;
        scan(s, d, url);
      };
  ASSERT_TRUE(PumpUntil([&] {
    return EvalIn(TMain::kHomeSlot, kChatButtons) == "new|1|submit|発言|chatctrl";
  })) << EvalIn(TMain::kHomeSlot, kChatButtons);

  // The input frame loads again: it gets one button again.
  ASSERT_EQ(EvalIn(TMain::kHomeSlot,
                   "frames[1].frames[1].document.__seen = 1;"
                   " frames[1].frames[1].location.reload(); 'ok'"),
            "ok");
  ASSERT_TRUE(PumpUntil([&] {
    return EvalIn(TMain::kHomeSlot, kChatButtons) == "new|1|submit|発言|chatctrl";
  })) << EvalIn(TMain::kHomeSlot, kChatButtons);
  // Another frame completing (its snapshot holds the button) adds none.
  ASSERT_EQ(EvalIn(TMain::kHomeSlot,
                   "frames[1].frames[1].document.__seen = 1;"
                   " frames[1].frames[0].location.reload(); 'ok'"),
            "ok");
  ASSERT_TRUE(PumpUntil([&] { return log_completes >= 1; }));
  EXPECT_EQ(EvalIn(TMain::kHomeSlot, kChatButtons), "old|1|submit|発言|chatctrl");

  // The member types a line and presses the button: the room receives it as typed.
  const std::string line = "こんにちは 'みんな' & <b>\"です\"";
  ASSERT_EQ(
      EvalIn(TMain::kHomeSlot,
             "(function () { var d = frames[1].frames[1].document;"
             " d.getElementsByName('chatctrl')[0].value = " +
                 JsQuote(line) + "; d.getElementsByName('XXXX')[0].click(); return 'ok'; })()"),
      "ok");
  ASSERT_TRUE(PumpUntil([&] {
    for (const hobnest::FormPost& p : sim.Posts())
      if (p.path == "/chat/say.jsp") return true;
    return false;
  }));
  std::vector<hobnest::FormPost> says;
  for (const hobnest::FormPost& p : sim.Posts())
    if (p.path == "/chat/say.jsp") says.push_back(p);
  ASSERT_EQ(says.size(), 1u);
  using Fields = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(says[0].fields, (Fields{{"room", "taro"}, {"chatctrl", line}, {"XXXX", "発言"}}));
  // The line is in the room's log, and the answered input frame has its one button.
  EXPECT_TRUE(PumpUntil([&] {
    return EvalIn(TMain::kHomeSlot, "frames[1].frames[0].document.body.innerText.indexOf(" +
                                        JsQuote(line) + ") >= 0") == "true";
  }));
  EXPECT_TRUE(PumpUntil([&] {
    return EvalIn(TMain::kHomeSlot, kChatButtons) == "new|1|submit|発言|chatctrl";
  })) << EvalIn(TMain::kHomeSlot, kChatButtons);
}

// --- the login ----------------------------------------------------------------------------

TEST_F(MiraboE2eTest, TheLoginReachesTheSiteExactlyAsTypedAndTheSessionIsSent) {
  // Japanese text, an apostrophe, "<", "&" and a double quote, in both.
  const std::string id = "ホブ'太郎<&\"", password = "パス'<&\"ワード";
  sim.AddMember(id, password, "ホブ太郎");
  Start("taro");
  // A further tab, open before the login, on the site's logged-out top page.
  ASSERT_EQ(Main().OpenTab(Url("/"), false, "DoNewTabExecute"), 2);
  ASSERT_TRUE(PumpUntil([&] { return Shows(2, "/"); })) << Location(2);
  ASSERT_EQ(EvalIn(2, "document.body.innerText.indexOf('ログイン中') < 0"), "true");
  ASSERT_TRUE(ShowLoginManager());
  TypeInto(W(*Login().UserID), id);
  TypeInto(W(*Login().PassWord), password);
  EXPECT_EQ(Login().UserID->text(), text::ToSjis(id));
  EXPECT_EQ(Login().PassWord->text(), text::ToSjis(password));
  const std::size_t requests_before = sim.Requests().size();
  gtk_button_clicked(GTK_BUTTON(W(*Login().Button1)));

  // The site tab posted the form and shows the site's welcome.
  ASSERT_TRUE(PumpUntil([&] { return !sim.Posts().empty(); }));
  ASSERT_TRUE(PumpUntil([&] {
    return Shows(TMain::kSiteSlot, "/member/login/login_login_e.jsp") &&
           EvalIn(TMain::kSiteSlot, "document.body.innerText.indexOf('ようこそ') >= 0") == "true";
  })) << Location(TMain::kSiteSlot);
  // The home tab shows the member's homepage in its logged-in view.
  ASSERT_TRUE(PumpUntil([&] {
    return ShowsHomepage(TMain::kHomeSlot, id) &&
           EvalIn(TMain::kHomeSlot,
                  "frames[0].document.body.innerText.indexOf('ログイン中') >= 0") == "true";
  })) << Location(TMain::kHomeSlot);
  // The further tab was refreshed into its logged-in view.
  EXPECT_TRUE(PumpUntil([&] {
    return Shows(2, "/") &&
           EvalIn(2, "document.body.innerText.indexOf('ログイン中') >= 0") == "true";
  }));
  // Exactly one post, even though the login refreshed the site tab (a second one would come
  // within this wait).
  EXPECT_FALSE(PumpUntil([&] { return sim.Posts().size() > 1; }, 1000));

  std::vector<hobnest::FormPost> posts = sim.Posts();
  ASSERT_EQ(posts.size(), 1u);
  using Fields = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(posts[0].path, "/member/login/login_login_e.jsp");
  EXPECT_EQ(posts[0].fields, (Fields{{"id", id}, {"password", password}}));
  // Requests of the home tab after the login carry the session cookie.
  // The home tab's pages were fetched after the login was answered, with its session.
  std::vector<hobnest::Request> requests = sim.Requests();
  std::size_t login_at = requests.size(), homepage_at = requests.size();
  for (std::size_t i = requests_before; i < requests.size(); ++i) {
    const hobnest::Request& r = requests[i];
    if (r.method == "POST" && login_at == requests.size()) login_at = i;
    if (r.path == "/@" + id) homepage_at = i;
  }
  ASSERT_LT(login_at, requests.size());
  ASSERT_LT(homepage_at, requests.size());
  EXPECT_LT(login_at, homepage_at);
  for (std::size_t i = login_at + 1; i < requests.size(); ++i)
    EXPECT_NE(requests[i].cookie.find("HNSESSION="), std::string::npos)
        << requests[i].path << "?" << requests[i].query;
  EXPECT_EQ(CountRequests(sim, "/"), 2);
  EXPECT_EQ(Main().ScreenTab->active_page(), Main().TabSheetMyHome);

  EXPECT_EQ(
      text::ReadHead("your.id", 1024),
      std::optional<std::string>(text::ToSjis(id) + "\r\n" + text::ToSjis(password) + "\r\n"));
  // The login manager closed; the member functions are on.
  EXPECT_FALSE(Login().visible());
  EXPECT_TRUE(PumpUntil([&] { return !gtk_widget_get_visible(W(Login())); }));
  EXPECT_TRUE(Main().ShowLogMng->enabled());
  EXPECT_TRUE(Main().N13->enabled());
  EXPECT_TRUE(Main().N14->enabled());
  EXPECT_TRUE(answerer->seen.empty());
}

// A member who is logged in elsewhere is refused with the address of "nickinuse.htm": the
// box says so and the tab asks to be closed.
TEST_F(MiraboE2eTest, ALoginRefusedAsDuplicateGivesItsBoxAndThePleaseCloseCaption) {
  sim.SetLoggedInElsewhere("hanako", true);
  Start("taro");
  ASSERT_TRUE(ShowLoginManager());
  TypeInto(W(*Login().UserID), "hanako");
  TypeInto(W(*Login().PassWord), "hanako-pass");
  gtk_button_clicked(GTK_BUTTON(W(*Login().Button1)));

  // The box, and once it is answered the site tab in front, asking to be closed.
  ASSERT_TRUE(PumpUntil([&] { return !answerer->seen.empty(); }));
  ASSERT_EQ(answerer->seen.size(), 1u);
  EXPECT_EQ(answerer->seen[0].title, "ログイン失敗");
  EXPECT_EQ(answerer->seen[0].text, "重複したログイン");
  EXPECT_EQ(U(Main().TabSheetHobnest->caption()), "閉じてください");
  EXPECT_EQ(Main().ScreenTab->active_page(), Main().TabSheetHobnest);

  // The navigation went ahead; the tab keeps its caption after the refusal page has come,
  // on the screen too.
  ASSERT_TRUE(PumpUntil([&] { return Shows(TMain::kSiteSlot, "/member/login/nickinuse.htm"); }))
      << Location(TMain::kSiteSlot);
  EXPECT_EQ(CountRequests(sim, "/member/login/nickinuse.htm"), 1);
  EXPECT_EQ(U(Main().TabSheetHobnest->caption()), "閉じてください");
  EXPECT_EQ(TabLabel(*Main().TabSheetHobnest), "閉じてください");
  ASSERT_EQ(sim.Posts().size(), 1u);
  EXPECT_EQ(sim.Posts()[0].path, "/member/login/login_login_e.jsp");
  // The home tab went to the homepage of the ID typed, still logged out.
  ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(TMain::kHomeSlot, "hanako"); }))
      << Location(TMain::kHomeSlot);
  EXPECT_EQ(EvalIn(TMain::kHomeSlot, "frames[0].document.body.innerText.indexOf('ログイン中') < 0"),
            "true");
  EXPECT_EQ(answerer->seen.size(), 1u);
}

struct GoLoginCase {
  const char* name;
  int slot;               // the tab whose page holds the link
  const char* page;       // empty: the tab's own page (the homepage)
  const char* find_link;  // script that finds the link
};

class GoLoginTest : public MiraboE2eTest, public ::testing::WithParamInterface<GoLoginCase> {};

// A link whose address holds "goLogin" (on the logged-out views) opens the login manager
// instead, and the site never sees the request.
TEST_P(GoLoginTest, OpensTheLoginManagerAndNeverLoads) {
  const GoLoginCase& c = GetParam();
  Start("taro");
  if (*c.page) {
    Slot(c.slot)->Navigate(Url(c.page));
    ASSERT_TRUE(PumpUntil([&] { return Shows(c.slot, c.page); })) << Location(c.slot);
  }
  const std::string before = Location(c.slot);
  ASSERT_FALSE(Login().visible());
  ASSERT_EQ(EvalIn(c.slot, "(function () { var a = " + std::string(c.find_link) +
                               "; a.click(); return a.getAttribute('href'); })()"),
            "/member/login/goLogin.jsp");

  ASSERT_TRUE(PumpUntil([&] {
    GtkWidget* w = W(Login());
    return Login().visible() && w && gtk_widget_get_mapped(w);
  }));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(W(Login()))), "ログインマネージャ");
  EXPECT_FALSE(Main().ShowLogMng->enabled());
  EXPECT_FALSE(gtk_widget_get_sensitive(W(*Main().ShowLogMng)));
  // The request would have gone out by now.
  EXPECT_FALSE(
      PumpUntil([&] { return CountRequests(sim, "/member/login/goLogin.jsp") > 0; }, 1000));
  EXPECT_EQ(Location(c.slot), before);
  EXPECT_TRUE(Shows(c.slot, ""));
  EXPECT_TRUE(answerer->seen.empty());

  // The login manager's close box closes it and gives the login button back.
  GdkEvent* del = gdk_event_new(GDK_DELETE);
  del->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(W(Login()))));
  gtk_main_do_event(del);
  gdk_event_free(del);
  EXPECT_FALSE(Login().visible());
  EXPECT_TRUE(Main().ShowLogMng->enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Links, GoLoginTest,
    ::testing::Values(GoLoginCase{"HomepageTopFrame", TMain::kHomeSlot, "",
                                  "frames[0].document.querySelector('a[href*=\"goLogin\"]')"},
                      GoLoginCase{"SiteTopPage", TMain::kSiteSlot, "/",
                                  "document.querySelector('.bd a[href*=\"goLogin\"]')"}),
    [](const ::testing::TestParamInfo<GoLoginCase>& info) { return info.param.name; });

}  // namespace
}  // namespace mirabo::e2e
