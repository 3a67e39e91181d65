// The add-in strip: addin.txt, the buttons, starting an add-in and the auto-hide.
#include "browser/addins/addin_file.h"
#include "tests/unit/program_fixture.h"

namespace mirabo::testing {
namespace {

TEST(AddInFile, ReadingRules) {
  struct Case {
    const char* name;
    std::string text;
    std::optional<std::string> hint, path, param, icon;
  } cases[] = {
      {"all four",
       "[HINT]Editor\r\n[PATH]AddIn\\006Quillet\\Quillet.exe\r\n[PRAM]4\r\n[ICON]q.ico\r\n",
       "Editor", "AddIn\\006Quillet\\Quillet.exe", "4", "q.ico"},
      {"path before hint is not seen", "[PATH]x.exe\r\n[HINT]h\r\n", "h", std::nullopt,
       std::nullopt, std::nullopt},
      {"bare LF keeps the last character", "[HINT]hint\n[PATH]prog.exe\n", "hint", "prog.exe",
       std::nullopt, std::nullopt},
      {"a last value without LF is empty", "[PATH]prog.exe", std::nullopt, "", std::nullopt,
       std::nullopt},
      {"text around the tags is ignored", "about\r\nx[PATH]a b\r\nmore\r\n[ICON]i.bmp\r\n",
       std::nullopt, "a b", std::nullopt, "i.bmp"},
      {"nothing", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddInFile f = ParseAddInFile(c.text);
    EXPECT_EQ(f.hint, c.hint);
    EXPECT_EQ(f.path, c.path);
    EXPECT_EQ(f.param, c.param);
    EXPECT_EQ(f.icon, c.icon);
  }
}

class AddInTest : public ProgramTest {
 protected:
  void AddIn(const std::string& folder, const std::string& addin_txt) {
    std::filesystem::create_directories("AddIn/" + folder);
    ASSERT_TRUE(text::WriteAtomic("AddIn/" + folder + "/addin.txt", addin_txt));
  }
  void DefaultIcon() {
    std::filesystem::create_directories("AddIn");
    ASSERT_TRUE(text::WriteAtomic("AddIn/default.ico", "ico"));
  }
  ui::Image* ImageOf(int k) {
    return static_cast<ui::Image*>(main().AddInButtons.at(k)->children()[0].get());
  }
  // Puts the cursor at x, y in the main window's client area.
  void Cursor(int x, int y) { fp.pointer.pos = {fp.pointer.origin.x + x, fp.pointer.origin.y + y}; }
};

TEST_F(AddInTest, ButtonsForTheAddInsFound) {
  DefaultIcon();
  AddIn("006Quillet", Sj("[HINT]定型文エディタ\r\n[PATH]AddIn\\006Quillet\\Quillet.exe\r\n"
                         "[PRAM]\r\n[ICON]quillet.ico\r\n"));
  ASSERT_TRUE(text::WriteAtomic("AddIn/006Quillet/quillet.ico", "ico"));
  AddIn("nohint", "[PATH]tool\r\n[ICON]missing.ico\r\n");
  std::filesystem::create_directories("AddIn/empty");
  Start();
  ASSERT_EQ(main().AddInButtons.size(), 2u);
  // Listing order is the system's: find each by its path.
  int quillet = main().AddInEntries[0].Path == "tool" ? 1 : 0;
  int other = 1 - quillet;
  EXPECT_EQ(main().AddInButtons[quillet]->bounds(), (ui::Rect{7, 25 + 25 * quillet, 20, 20}));
  EXPECT_EQ(ImageOf(quillet)->hint(), "定型文エディタ"_sj);
  EXPECT_TRUE(ImageOf(quillet)->show_hint());
  EXPECT_EQ(ImageOf(quillet)->picture(), "AddIn/006Quillet/quillet.ico");
  EXPECT_EQ(ImageOf(quillet)->cursor(), ui::Cursor::HandPoint);
  EXPECT_FALSE(ImageOf(other)->show_hint());
  EXPECT_EQ(ImageOf(other)->picture(), "AddIn/default.ico") << "a missing icon shows the default";

  // A click starts the program through the shell; a stored ".exe" names the local program.
  ASSERT_TRUE(text::WriteAtomic("AddIn/006Quillet/Quillet", "#!"));
  ImageOf(quillet)->Click();
  ASSERT_EQ(fp.shell.opened.size(), 1u);
  EXPECT_EQ(fp.shell.opened[0].first, "AddIn/006Quillet/Quillet");
  EXPECT_EQ(fp.shell.opened[0].second, "");
}

TEST_F(AddInTest, AtMost32AddIns) {
  DefaultIcon();
  for (int i = 0; i < 33; ++i)
    AddIn("a" + std::to_string(i), "[PATH]p" + std::to_string(i) + "\r\n");
  Start();
  ASSERT_EQ(main().AddInButtons.size(), 32u);
  EXPECT_EQ(main().AddInButtons[31]->top(), 800);
}

TEST_F(AddInTest, EmptyPathStartsNothing) {
  DefaultIcon();
  AddIn("x", "[PATH]x.exe\r\n[HINT]h\r\n");
  Start();
  ASSERT_EQ(main().AddInButtons.size(), 1u);
  ImageOf(0)->Click();
  EXPECT_TRUE(fp.shell.opened.empty());
}

TEST_F(AddInTest, PictureThatCannotBeLoadedEndsTheScan) {
  AddIn("x", "[PATH]x\r\n");  // and no AddIn\default.ico
  Start();
  EXPECT_TRUE(main().AddInButtons.empty());
  ASSERT_EQ(fp.dialogs.messages().size(), 1u);
  EXPECT_NE(fp.dialogs.messages()[0].text.find("AddIn/default.ico"), std::string::npos);
}

TEST_F(AddInTest, NoAddInFolderNoButtons) {
  Start();
  EXPECT_TRUE(main().AddInButtons.empty());
  EXPECT_TRUE(fp.dialogs.shown.empty());
}

TEST_F(AddInTest, AutoHide) {
  Start();
  Tick();
  EXPECT_EQ(main().ExPanel->width(), 32) << "auto-hide off keeps the strip open";
  main().PopupMenu1->Find("opAddIn2")->Click();
  EXPECT_TRUE(main().opAddIn->checked());
  const int mid = main().ExPanel->top() + main().ExPanel->height() / 2;
  struct Step {
    int x, y;
    int width;
  } steps[] = {
      {100, mid, 6},                      // away from the strip: hidden
      {3, mid, 32},                       // the edge box opens it
      {20, mid, 32},                      // the open box keeps it open
      {32, mid, 6},                       // 32 pixels to the right: hidden
      {20, mid, 6},                       // the open box counts only while it is open
      {3, main().ExPanel->top() - 1, 6},  // above the strip
      {3, mid, 32},
      {3, main().ExPanel->top() + main().ExPanel->height() + 1, 6},  // below it
  };
  for (const auto& s : steps) {
    Cursor(s.x, s.y);
    Tick();
    EXPECT_EQ(main().ExPanel->width(), s.width) << s.x << "," << s.y;
    EXPECT_EQ(main().AddInPanel->visible(), s.width == 32);
  }
  // With a dialog in front, nothing changes.
  Cursor(3, mid);
  fp.pointer.active = false;
  Tick(3);
  EXPECT_EQ(main().ExPanel->width(), 6);
  fp.pointer.active = true;
  Tick();
  EXPECT_EQ(main().ExPanel->width(), 32);
  main().opAddIn->Click();
  EXPECT_FALSE(main().PopupMenu1->Find("opAddIn2")->checked());
}

}  // namespace
}  // namespace mirabo::testing
