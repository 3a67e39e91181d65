// Config.txt and the tool bar's panels.
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

class SettingsTest : public ProgramTest {
 protected:
  // Starts with this Config.txt (nullptr: none).
  void StartWith(const char* config) {
    if (config) {
      ASSERT_TRUE(text::WriteAtomic("Config.txt", config));
    }
    Start();
  }
  void Restart() {
    main().Close();
    program.reset();
    Create();
    fp.scheduler.Advance(20);
  }
  std::vector<std::string> RowOrder() {
    std::vector<std::pair<int, std::string>> shown;
    for (auto* p : {main().TabPanel, main().LoginPanel, main().NaviPanel, main().TeikeiPanel})
      if (p->visible()) shown.push_back({p->left(), p->name()});
    std::sort(shown.begin(), shown.end());
    std::vector<std::string> names;
    for (auto& s : shown) names.push_back(s.second);
    return names;
  }
};

TEST_F(SettingsTest, DefaultsWriteExactlyTwoLines) {
  StartWith(nullptr);
  main().Close();
  EXPECT_EQ(text::ReadAll("Config.txt"), "TAB LOCK = OFF\r\nPASSWORD SAVE = ON\r\n");
  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\n0\r\n") << "your.id is left as it was";
}

TEST_F(SettingsTest, EverySettingSurvivesARestart) {
  StartWith(nullptr);
  main().cbTabLock->SetChecked(true);
  main().opBasePanel->Click();
  main().PopupMenu1->Find("opNaviPanel2")->Click();
  main().opTabPanel->Click();
  main().opAddIn->Click();
  main().opSKINrm->Click();
  main().Close();
  EXPECT_EQ(text::ReadAll("Config.txt"),
            "TAB LOCK = ON\r\nPASSWORD SAVE = ON\r\nBASE PANEL = OFF\r\nNAVI PANEL = OFF\r\n"
            "TAB PANEL = OFF\r\nADDIN PANEL = AUTO OFF\r\nSKIN = OFF\r\n");
  program.reset();
  Create();
  fp.scheduler.Advance(20);
  EXPECT_TRUE(main().cbTabLock->checked());
  EXPECT_TRUE(main().opBasePanel->checked());
  EXPECT_TRUE(main().PopupMenu1->Find("opBasePanel2")->checked());
  EXPECT_FALSE(main().BasePanel->visible());
  EXPECT_EQ(main().Panel1->height(), 12);
  EXPECT_FALSE(main().NaviPanel->visible());
  EXPECT_FALSE(main().opNaviPanel->checked());
  EXPECT_FALSE(main().TabPanel->visible());
  EXPECT_TRUE(main().LoginPanel->visible());
  EXPECT_TRUE(main().opAddIn->checked());
  EXPECT_TRUE(main().PopupMenu1->Find("opSKINrm2")->checked());

  // Turning them back on leaves nothing of the old file behind.
  main().cbTabLock->SetChecked(false);
  main().opBasePanel->Click();
  main().opNaviPanel->Click();
  main().opTabPanel->Click();
  main().PopupMenu1->Find("opAddIn2")->Click();
  main().opSKINrm->Click();
  Restart();
  EXPECT_EQ(text::ReadAll("Config.txt"), "TAB LOCK = OFF\r\nPASSWORD SAVE = ON\r\n");
  EXPECT_TRUE(main().BasePanel->visible());
  EXPECT_EQ(main().Panel1->height(), 41);
  EXPECT_FALSE(main().opAddIn->checked());
}

TEST_F(SettingsTest, KeySearchRules) {
  struct Case {
    const char* file;
    bool lock, no_password, tab_panel, navi_panel, skin_off;
  } cases[] = {
      {"TABLOCK=ON", true, false, true, true, false},
      {"TAB LOCK = ON\r\nPASSWORD SAVE = OFF\r\n", true, true, true, true, false},
      {"tab lock = on\r\ntab panel = off\r\n", false, false, true, true, false},
      {"TAB PANEL = OFF NAVI PANEL = OFF", false, false, false, false, false},
      {"TAB LOCK = O", false, false, true, true, false},
      {"TAB LOCK =", false, false, true, true, false},
      {"TAB LOCK = OFF", false, false, true, true, false},
      {"T A B L O C K = O N", true, false, true, true, false},
      {"TAB\tLOCK = ON", false, false, true, true, false},
      {"SKIN = OFF\r\nSKIN = [3]\r\n", false, false, true, true, true},
      {"PASSWORDSAVE=", false, true, true, true, false},
      {"", false, false, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    program.reset();
    ASSERT_TRUE(text::WriteAtomic("Config.txt", c.file));
    Start();
    EXPECT_EQ(main().cbTabLock->checked(), c.lock);
    EXPECT_EQ(main().opPWrm->checked(), c.no_password);
    EXPECT_EQ(main().TabPanel->visible(), c.tab_panel);
    EXPECT_EQ(main().opTabPanel->checked(), c.tab_panel);
    EXPECT_EQ(main().NaviPanel->visible(), c.navi_panel);
    EXPECT_EQ(main().opSKINrm->checked(), c.skin_off);
  }
}

TEST_F(SettingsTest, OnlyTheFirst1024BytesCount) {
  std::string file = std::string(1020, '#') + "TAB LOCK = ON";
  StartWith(file.c_str());
  EXPECT_FALSE(main().cbTabLock->checked());
  program.reset();
  ASSERT_TRUE(text::WriteAtomic("Config.txt", std::string("TAB LOCK = ON\0TAB PANEL = OFF", 29)));
  Start();
  EXPECT_TRUE(main().cbTabLock->checked());
  EXPECT_TRUE(main().TabPanel->visible()) << "the text ends at a NUL byte";
}

TEST_F(SettingsTest, PanelShownAgainTakesTheRightEnd) {
  StartWith(nullptr);
  EXPECT_EQ(RowOrder(),
            (std::vector<std::string>{"TabPanel", "LoginPanel", "NaviPanel", "TeikeiPanel"}));
  main().opTabPanel->Click();
  EXPECT_EQ(RowOrder(), (std::vector<std::string>{"LoginPanel", "NaviPanel", "TeikeiPanel"}));
  EXPECT_EQ(main().LoginPanel->left(), 0);
  main().opTabPanel->Click();
  EXPECT_EQ(RowOrder(),
            (std::vector<std::string>{"LoginPanel", "NaviPanel", "TeikeiPanel", "TabPanel"}));
  EXPECT_EQ(main().TabPanel->left(), 78 + 136 + 250);
}

TEST_F(SettingsTest, PanelsHiddenByTheFileKeepTheirPlace) {
  StartWith("LOGIN PANEL = OFF");
  EXPECT_FALSE(main().LoginPanel->visible());
  main().opLoginPanel->Click();  // shown again by the menu: now it moves to the right end
  EXPECT_EQ(RowOrder().back(), "LoginPanel");
}

TEST_F(SettingsTest, DroppingThePasswordAtExit) {
  StartWith(nullptr);
  ASSERT_TRUE(text::WriteAtomic("your.id", "taro\r\nsecret-and-long\r\n"));
  main().PopupMenu1->Find("opPWrm2")->Click();
  EXPECT_TRUE(main().opPWrm->checked());
  main().Exit1->Click();
  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\n0\r\n");
  EXPECT_EQ(text::ReadAll("Config.txt"), "TAB LOCK = OFF\r\nPASSWORD SAVE = OFF\r\n");
}

TEST_F(SettingsTest, UnwritableConfigStillDropsThePassword) {
  StartWith(nullptr);
  std::filesystem::create_directory("Config.txt");
  main().opPWrm->Click();
  main().Close();
  EXPECT_EQ(text::ReadAll("your.id"), "taro\r\n0\r\n");
  EXPECT_TRUE(fp.dialogs.shown.empty());
}

TEST_F(SettingsTest, FullScreenMaximisesThePlainWindow) {
  StartWith(nullptr);
  ui::KeyMessage ctrl_alt_f{'F', true, true, false, &main()};
  EXPECT_TRUE(program->app.DispatchKey(ctrl_alt_f));
  EXPECT_TRUE(main().maximized());
  EXPECT_TRUE(main().actions().Find("DoFullScreen")->checked);
  program->app.DispatchKey(ctrl_alt_f);
  EXPECT_FALSE(main().maximized());
}

TEST_F(SettingsTest, StatusBarWidthsFollowTheWindow) {
  StartWith(nullptr);
  EXPECT_EQ(main().SB->panels()[0].width, 720 - 140);
  main().SetClientSize(1000, 700);
  EXPECT_EQ(main().SB->panels()[0].width, 1000 - 140);
  EXPECT_EQ(main().SB->panels()[1].width, 140);
}

}  // namespace
}  // namespace mirabo::testing
