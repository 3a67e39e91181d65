// The login: your.id, the login page written into the site tab, and what follows.
#include <sys/stat.h>

#include "browser/member/form_page.h"
#include "tests/unit/program_fixture.h"
#include "text/html.h"

namespace mirabo::testing {
namespace {

class LoginTest : public StartedProgramTest {
 protected:
  void Type(const std::string& id, const std::string& password) {
    login().UserID->SetText(id);
    login().PassWord->SetText(password);
  }
};

TEST(LoginPage, Bytes) {
  std::string page = LoginPage("http://site.test/member/login/login_login_e.jsp", "taro", "pw");
  std::string expected = text::ToSjis(
      "<html><head><title>自動ログイン</title></head><body onLoad='javascript:a.submit();'>"
      "<center><br><br><br><br><br><h1>ログインしています。<br>しばらくお待ちください…</h1>"
      "</center><form name=a method=post action=http://site.test/member/login/login_login_e.jsp>"
      "<input type=hidden name=id value='taro'></td><input type=hidden name=password "
      "value='pw'></form></body></html>");
  EXPECT_EQ(page, expected);
}

TEST(LoginPage, ValuesAreEscaped) {
  struct Case {
    const char* value;
    const char* in_page;
  } cases[] = {
      {"o'neil", "o&#39;neil"},
      {"<b>&amp;", "&lt;b&gt;&amp;amp;"},
      {"say \"hi\"", "say &quot;hi&quot;"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    std::string page = LoginPage("http://s/x", c.value, "");
    EXPECT_NE(page.find(std::string("name=id value='") + c.in_page + "'"), std::string::npos)
        << c.value;
  }
  // Shift-JIS characters whose second byte is a markup-free ASCII value pass unchanged.
  std::string so = text::ToSjis("ソ表");
  EXPECT_EQ(text::EscapeHtml(so), so);
}

TEST_F(LoginTest, LoginRunsItsStepsInOrder) {
  for (int i = 0; i < 2; ++i) OpenLoadedTab();
  login().Show();
  EXPECT_FALSE(main().ShowLogMng->enabled());
  Type("taro", "taro-pass");
  login().Button1->Click();

  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\ntaro-pass\r\n");
  struct stat st {};
  ASSERT_EQ(stat("your.id", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  fake::Engine& site = engine(0);
  EXPECT_EQ(site.navigations.back(), "about:blank");
  EXPECT_EQ(fp.clock.sleeps, std::vector<int>{100});
  ASSERT_EQ(site.written.size(), 1u);
  EXPECT_EQ(site.written[0],
            LoginPage("http://site.test/member/login/login_login_e.jsp", "taro", "taro-pass"));
  EXPECT_EQ(site.written_base[0], "http://site.test/member/login/login_login_e.jsp");
  EXPECT_EQ(site.refreshes, 1);
  EXPECT_EQ(engine(1).navigations.back(), "http://hp.test/@taro");
  EXPECT_EQ(engine(1).refreshes, 0) << "the home tab is navigated, not refreshed";
  EXPECT_EQ(engine(2).refreshes, 1);
  EXPECT_EQ(engine(3).refreshes, 1);
  EXPECT_TRUE(main().N13->enabled());
  EXPECT_TRUE(main().N14->enabled());
  EXPECT_TRUE(main().SleepTimer.enabled());
  EXPECT_FALSE(login().visible());
  EXPECT_TRUE(main().ShowLogMng->enabled());
}

TEST_F(LoginTest, PasswordZeroReadsBackAsNone) {
  Type("taro", "0");
  login().Button1->Click();
  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\n0\r\n");
  program.reset();
  Create();
  fp.scheduler.Advance(20);
  EXPECT_EQ(login().PassWord->text(), "");
}

TEST_F(LoginTest, EnterInEitherFieldLogsIn) {
  login().Show();
  Type("taro", "x");
  EXPECT_TRUE(login().PressDefault());
  EXPECT_EQ(engine(0).written.size(), 1u);
}

TEST_F(LoginTest, UnwritableIdFileStillLogsIn) {
  std::filesystem::remove("your.id");
  std::filesystem::create_directory("your.id");
  Type("taro", "x");
  login().Button1->Click();
  EXPECT_EQ(engine(0).written.size(), 1u);
  EXPECT_EQ(text::ToUtf8(main().SB->PanelText(0)),
            "ＩＤとパスワードを保存できませんでした（your.id）。");
  EXPECT_TRUE(main().N13->enabled());
}

TEST_F(LoginTest, FieldsAreNotValidated) {
  Type("", "");
  login().Button1->Click();
  EXPECT_EQ(text::ReadAll("your.id"), "\r\n\r\n");
  EXPECT_EQ(engine(1).navigations.back(), "http://hp.test/@");
}

TEST_F(LoginTest, LoginButtonShowsTheManagerWithoutALoop) {
  main().ShowLogMng->Click();
  EXPECT_TRUE(login().visible());
  EXPECT_FALSE(main().ShowLogMng->enabled());
  main().ShowLogMng->Click();  // disabled: nothing happens
  login().Close();
  EXPECT_TRUE(main().ShowLogMng->enabled());
}

}  // namespace
}  // namespace mirabo::testing
