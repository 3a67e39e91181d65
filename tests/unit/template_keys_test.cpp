// The template texts in the browser: loading, the function keys, the editor buttons, the marker.
#include "browser/templates/placeholders.h"
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

TEST(Placeholders, Expansion) {
  platform::LocalTime t{2004, 9, 30, 9, 5, 7, 4};
  platform::LocalTime nine_pm{2004, 9, 30, 21, 0, 0, 4};
  struct Case {
    const char* body;
    platform::LocalTime at;
    const char* expanded;
  } cases[] = {
      {"（&hour時&min分&sec秒）", t, "（9時5分7秒）"},
      {"&year年&mon月&day日", t, "2004年9月30日"},
      {"&hour時と&hour時", nine_pm, "21時と&hour時"},
      {"&HOUR時", t, "&HOUR時"},
      {"&minute", t, "5ute"},
      {"", t, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(text::ToUtf8(ExpandPlaceholders(text::ToSjis(c.body), c.at)), c.expanded) << c.body;
}

class TemplateKeysTest : public StartedProgramTest {
 protected:
  bool Press(int key, bool ctrl = false, bool alt = false, bool shift = false,
             ui::Form* form = nullptr) {
    return program->app.DispatchKey({key, ctrl, alt, shift, form ? form : &main()});
  }
  void Editor() {
    std::filesystem::create_directories("AddIn/006Quillet");
    ASSERT_TRUE(text::WriteAtomic("AddIn/006Quillet/Quillet", "#!"));
  }
};

TEST_F(TemplateKeysTest, KeysInsertTheExpandedTextIntoTheActiveTab) {
  fp.clock.local = {2004, 9, 30, 9, 5, 7, 4};
  int slot = OpenLoadedTab();
  main().ScreenTab->UserSelect(SheetOfSlot(slot));
  struct Case {
    int key;
    bool ctrl, alt, shift;
    bool handled;
    int entry;  // -1: a line break
  } cases[] = {
      {ui::key::F1, false, false, false, true, 0},
      {ui::key::F2, false, false, false, true, 1},
      {ui::key::F3, false, false, false, true, 2},
      {ui::key::F4, false, false, false, true, 3},
      {ui::key::F11, false, false, false, true, 4},
      {ui::key::F12, false, false, false, true, 5},
      {ui::key::F2, true, false, false, true, 1},
      {ui::key::F2, false, false, true, true, 1},
      {ui::key::Enter, false, false, false, true, -1},
      {ui::key::Enter, true, false, false, true, -1},
      {ui::key::F2, false, true, false, false, 0},
      {ui::key::F5, false, false, false, false, 0},
      {'A', false, false, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    engine(slot).inserted.clear();
    EXPECT_EQ(Press(c.key, c.ctrl, c.alt, c.shift), c.handled);
    if (!c.handled) {
      EXPECT_TRUE(engine(slot).inserted.empty());
      continue;
    }
    ASSERT_EQ(engine(slot).inserted.size(), 1u);
    std::string want =
        c.entry < 0 ? "\n" : ExpandPlaceholders(main().Teikei[c.entry].body, fp.clock.local);
    EXPECT_EQ(engine(slot).inserted[0], want);
  }
  // The default F2 text is the time.
  engine(slot).inserted.clear();
  Press(ui::key::F2);
  EXPECT_EQ(text::ToUtf8(engine(slot).inserted.at(0)), "（9時5分7秒）");
  EXPECT_TRUE(engine(1).inserted.empty());
}

TEST_F(TemplateKeysTest, KeysInDialogsReachTheDialogs) {
  login().Show();
  EXPECT_FALSE(Press(ui::key::F2, false, false, false, &login()));
  EXPECT_FALSE(Press(ui::key::Enter, false, false, false, &login()));
  EXPECT_TRUE(engine(1).inserted.empty());
}

TEST_F(TemplateKeysTest, ButtonsStartTheEditorOnTheirPage) {
  Editor();
  main().TeikeiButtons[4]->Click();  // F5, the button of the F11 text
  ASSERT_EQ(fp.shell.opened.size(), 1u);
  EXPECT_EQ(fp.shell.opened[0].first, "AddIn/006Quillet/Quillet");
  EXPECT_EQ(fp.shell.opened[0].second, "4");
  std::filesystem::remove_all("AddIn");
  main().TeikeiButtons[0]->Click();
  EXPECT_EQ(fp.shell.opened.size(), 1u);
  ASSERT_EQ(fp.dialogs.shown.size(), 1u);
  EXPECT_EQ(fp.dialogs.shown[0].text, Sj("定型文エディタが存在しない為、編集する事はできません。"));
  EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("確認"));
}

TEST_F(TemplateKeysTest, MarkerReloadsTheTemplatesWithinATick) {
  text::TeikeiEntries changed = main().Teikei;
  changed[4].title = "Hello";
  ASSERT_TRUE(text::WriteAtomic(text::kTeikeiFile, text::FormatTeikei(changed)));
  Tick();
  EXPECT_NE(main().TeikeiButtons[4]->caption(), "Hello") << "no marker, no reload";
  ASSERT_TRUE(text::WriteAtomic(text::kTeikeiMarker, ""));
  Tick();
  EXPECT_EQ(main().TeikeiButtons[4]->caption(), "Hello");
  EXPECT_FALSE(text::Exists(text::kTeikeiMarker));
}

TEST_F(TemplateKeysTest, DamagedFileIsReportedAndTheRestDefaulted) {
  ASSERT_TRUE(text::WriteAtomic(text::kTeikeiFile, "Mine\n3\nabc\nSecond\nnot a number\n"));
  ASSERT_TRUE(text::WriteAtomic(text::kTeikeiMarker, ""));
  Tick();
  EXPECT_EQ(main().TeikeiButtons[0]->caption(), "Mine");
  EXPECT_EQ(main().Teikei[0].body, "abc");
  EXPECT_EQ(main().Teikei[1], text::BrowserDefaultTeikei()[1]);
  EXPECT_EQ(main().SB->PanelText(0), text::TeikeiDamagedMessage());
}

}  // namespace
}  // namespace mirabo::testing
