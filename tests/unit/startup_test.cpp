// Start-up, the main window's composition, the saved ID and the close.
#include <sys/stat.h>

#include "browser/AboutForm.h"
#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "browser/VisitForm.h"
#include "browser/member/saved_id.h"
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

using StartupTest = ProgramTest;

TEST_F(StartupTest, FirstStartAsksForTheIdOnceAndRemembersIt) {
  fp.dialogs.inputs.push_back("taro");
  Create();
  EXPECT_TRUE(fp.dialogs.shown.empty()) << "nothing may be asked before the loop runs";
  fp.scheduler.Advance(20);

  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].kind, "input");
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("ホブネストＩＤの入力"));
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("ＩＤ"));
  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\n0\r\n");
  struct stat st {};
  ASSERT_EQ(stat("your.id", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "your.id holds the password";

  EXPECT_EQ(login().UserID->text(), "taro");
  EXPECT_EQ(login().PassWord->text(), "");
  EXPECT_EQ(engine(0).navigations, std::vector<std::string>{"about:blank"});
  EXPECT_EQ(engine(1).navigations, std::vector<std::string>{"http://hp.test/@taro"});
  EXPECT_EQ(main().ScreenTab->active_page(), main().TabSheetMyHome);
  EXPECT_EQ(main().InitTimer, nullptr) << "the start-up tick runs once and is gone";
  LoadFixedTabs();
  fp.scheduler.Advance(5000);
  EXPECT_EQ(fp.dialogs.shown.size(), 1u);
}

TEST_F(StartupTest, CancelledIdBoxSavesAnEmptyId) {
  Create();
  fp.scheduler.Advance(20);
  EXPECT_EQ(text::ReadAll("your.id"), "\r\n0\r\n");
  EXPECT_EQ(engine(1).navigations.back(), "http://hp.test/@");
}

TEST_F(StartupTest, SavedIdFillsTheLoginManager) {
  Start("hanako", "secret");
  EXPECT_TRUE(fp.dialogs.shown.empty());
  EXPECT_EQ(login().UserID->text(), "hanako");
  EXPECT_EQ(login().PassWord->text(), "secret");
  EXPECT_EQ(engine(1).navigations.back(), "http://hp.test/@hanako");
}

TEST_F(StartupTest, UnwritableIdFileKeepsTheIdForTheRun) {
  std::filesystem::create_directory("your.id");  // neither readable as a file nor replaceable
  fp.dialogs.inputs.push_back("jiro");
  Create();
  fp.scheduler.Advance(20);
  EXPECT_EQ(login().UserID->text(), "jiro");
  EXPECT_EQ(engine(1).navigations.back(), "http://hp.test/@jiro");
  EXPECT_TRUE(fp.dialogs.messages().empty());
}

struct ReaderCase {
  const char* name;
  std::string bytes;
  std::string id, password;
};

TEST(SavedIdReader, Cases) {
  std::string long_id(140, 'a');
  const ReaderCase cases[] = {
      {"two CR LF lines", "taro\r\npass\r\n", "taro", "pass"},
      {"a 0 line is no password", "taro\r\n0\r\n", "taro", ""},
      {"no line break at all", "taropass", "", ""},
      {"bare LF keeps every character", "taro\npass\n", "taro", "pass"},
      {"second LF beyond 128 bytes", "id\r\n" + std::string(130, 'p') + "\r\n", "id", ""},
      {"first LF beyond 128 bytes", long_id + "\r\npw\r\n", "", ""},
      {"NUL ends the text", std::string("taro\r\npa\0ss\r\n", 13), "taro", ""},
      {"invalid Shift-JIS passes as bytes", "\x81\xff\r\n\xfd\r\n", "\x81\xff", "\xfd"},
      {"a password of 00 is kept", "taro\r\n00\r\n", "taro", "00"},
      {"empty file", "", "", ""},
  };
  char tmpl[] = "/tmp/mirabo-id-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir + "/your.id";
    ASSERT_TRUE(text::WriteAtomic(path, c.bytes));
    auto got = ReadSavedId(path);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->id, c.id);
    EXPECT_EQ(got->password, c.password);
  }
  // A megabyte of data reads its first 128 bytes only.
  ASSERT_TRUE(text::WriteAtomic(dir + "/your.id", std::string(1 << 20, '\n')));
  auto big = ReadSavedId(dir + "/your.id");
  ASSERT_TRUE(big.has_value());
  EXPECT_EQ(big->id, "");
  EXPECT_FALSE(ReadSavedId(dir + "/missing").has_value());
  std::filesystem::remove_all(dir);
}

TEST_F(StartupTest, FormsAreCreatedInOrderWithTheirCaptions) {
  Start();
  EXPECT_EQ(program->app.title, "Mirabo");
  EXPECT_EQ(program->app.help_file, Sj("Mirabo公式ガイドブック.hlp"));
  EXPECT_EQ(main().caption(), "Mirabo");
  EXPECT_EQ(program->AboutBox->caption(), Sj("バージョン情報"));
  EXPECT_EQ(login().caption(), Sj("ログインマネージャ"));
  EXPECT_EQ(program->Visit->caption(), Sj("訪問リスト編集"));
  EXPECT_EQ(program->OnlStat->caption(), Sj("オンラインステータス編集"));
  EXPECT_EQ(program->PowerOff->caption(), "PowerOff");
  EXPECT_FALSE(login().visible());
  EXPECT_EQ(login().client_width(), 332);
  EXPECT_EQ(login().client_height(), 61);
  EXPECT_TRUE(login().stay_on_top());
  EXPECT_EQ(login().PassWord->password_char(), '*');
  EXPECT_TRUE(login().Button1->is_default());
}

TEST_F(StartupTest, MainWindowLayout) {
  Start();
  TMain& m = main();
  EXPECT_EQ(m.client_width(), 720);
  EXPECT_EQ(m.client_height(), 550);
  EXPECT_EQ(m.color(), ui::Color::Rgb(255, 255, 255));
  EXPECT_TRUE(m.key_preview());
  EXPECT_EQ(m.font().name, Sj("ＭＳ Ｐゴシック"));
  EXPECT_EQ(m.MainArea->bounds(), (ui::Rect{0, 0, 720, 550}));
  EXPECT_EQ(m.MainArea->color(), ui::Color::Rgb(254, 245, 233));
  EXPECT_EQ(m.Panel1->bounds(), (ui::Rect{0, 0, 720, 41}));
  EXPECT_EQ(m.Panel1->color(), ui::Color::Rgb(60, 60, 60));
  EXPECT_EQ(m.ExPanel->bounds().width, 33);
  EXPECT_EQ(m.ExPanel->bounds().top, 41);
  EXPECT_EQ(m.SB->bounds().bottom(), 550);
  EXPECT_EQ(m.ScreenTab->bounds().left, 33);
  EXPECT_EQ(m.ScreenTab->bounds().right(), 720);
  // The tool bar's group boxes in their order from the left.
  EXPECT_EQ(m.TabPanel->left(), 0);
  EXPECT_EQ(m.LoginPanel->left(), 176);
  EXPECT_EQ(m.NaviPanel->left(), 254);
  EXPECT_EQ(m.TeikeiPanel->left(), 390);
  EXPECT_FALSE(m.SizeCtrlPanel->visible());
  ASSERT_EQ(m.SB->panels().size(), 2u);
  EXPECT_EQ(m.SB->panels()[0].width, 720 - 140);
  EXPECT_EQ(m.SB->PanelText(1), "Document Completed.");
  ASSERT_EQ(m.ScreenTab->PageCount(), 2);
  EXPECT_EQ(m.ScreenTab->Page(0)->caption(), Sj("ホブネスト"));
  EXPECT_EQ(m.ScreenTab->Page(1)->caption(), Sj("マイホーム"));
  EXPECT_EQ(m.BrowserSlots[0], m.WB2);
  EXPECT_EQ(m.BrowserSlots[1], m.WB3);
  EXPECT_EQ(m.WB2->parent(), m.TabSheetHobnest);
  EXPECT_EQ(m.WB2->bounds(), m.TabSheetHobnest->ClientRect());
  EXPECT_FALSE(m.PageClose->enabled());
  const char* keys[] = {"F1", "F2", "F3", "F4", "F11", "F12"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(m.TeikeiButtons[i]->name(), "F" + std::to_string(i + 1));
    EXPECT_EQ(m.TeikeiButtons[i]->caption(), text::BrowserDefaultTeikei()[i].title);
    EXPECT_EQ(m.TeikeiButtons[i]->hint(), keys[i] + Sj("キーに割り当てる定型文の編集"));
    EXPECT_EQ(m.TeikeiButtons[i]->tag(), i);
  }
  EXPECT_FALSE(m.N13->enabled());
  EXPECT_FALSE(m.N14->enabled());
}

TEST_F(StartupTest, TimersOfTheMainWindow) {
  Start();
  TMain& m = main();
  EXPECT_TRUE(m.IdleTimer.enabled());
  EXPECT_EQ(m.IdleTimer.interval(), 60);
  EXPECT_TRUE(m.versionCheckTimer.enabled());
  EXPECT_EQ(m.versionCheckTimer.interval(), 6000000);
  EXPECT_FALSE(m.IconActionTimer.enabled());
  EXPECT_FALSE(m.WalkTimer.enabled());
  EXPECT_FALSE(m.StatTimer.enabled());
  EXPECT_FALSE(m.SleepTimer.enabled());
  EXPECT_EQ(m.SleepTimer.interval(), 60000);
}

TEST_F(StartupTest, WatcherTicksBeforeAndAfterTheStartUpTickBothWork) {
  // A watcher tick that comes first finds two browsers with no document and mark 0: it gives
  // them fresh browsers, and the start-up tick then navigates those.
  ASSERT_TRUE(text::WriteAtomic("your.id", "taro\r\n0\r\n"));
  Create();
  fake::Engine* first_home = &engine(1);
  main().IdleTimerTimer();
  EXPECT_NE(&engine(1), first_home);
  fp.scheduler.Advance(20);
  EXPECT_EQ(engine(0).navigations.back(), "about:blank");
  EXPECT_EQ(engine(1).navigations.back(), main().MemberHomepage());
  EXPECT_EQ(main().WB2, main().BrowserSlots[0]);
  EXPECT_EQ(main().WB3, main().BrowserSlots[1]);
  LoadFixedTabs();
  Tick(3);
  EXPECT_EQ(used_slots(), 2);
}

TEST_F(StartupTest, ExitClosesTheProgram) {
  Start();
  main().Exit1->Click();
  EXPECT_TRUE(program->app.terminated());
  EXPECT_TRUE(fp.scheduler.quit);
}

}  // namespace
}  // namespace mirabo::testing
