// The online status settings: the dialog's boxes and rules, OnlStatus.txt and the status menus'
// captions.
#include "browser/presence/status_file.h"
#include "tests/unit/presence_fixture.h"

namespace mirabo::testing {
namespace {

const char* const kDefaults[] = {"只今活動中(☆∀☆)", "一時退席中(* ^ーﾟ)", "外出中(≧ω≦)！",
                                 "取り込み中(||  ﾟДﾟ)", "恐らく寝てます(ﾟДﾟ;≡;ﾟдﾟ)"};

std::string DefaultFile() {
  std::string s;
  for (const char* t : kDefaults) s += text::ToSjis(t) + "\r\n";
  return s + "5,0,0,0,0,15,30,1\r\n";
}

class OnlineStatusTest : public PresenceTest {
 protected:
  // Opens the dialog from the main menu, as the member does.
  void Open() { main().N24->Click(); }
  void Close() { onlstat().Close(); }
  // Types into a box as the member does, then leaves it.
  void Type(ui::Edit* box, const std::string& s) {
    box->SetText(s);
    box->OnExit();
  }
  void Pick(int item) { onlstat().StatusList->UserSelect(item); }
  bool SleepControlsEnabled() {
    TOnlStat& d = onlstat();
    bool all = true, none = true;
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             d.EditSleepInterval, d.LabelSleepInterval, d.EditShutdownInterval,
             d.LabelShutdownInterval, d.cbAutoShutdown}) {
      all = all && c->enabled();
      none = none && !c->enabled();
    }
    EXPECT_TRUE(all || none) << "the five controls go together";
    return all;
  }
};

TEST_F(OnlineStatusTest, FirstStartShowsTheDefaultsAndTheFirstCloseWritesThem) {
  EXPECT_FALSE(text::Exists("OnlStatus.txt")) << "the start-up load creates no file";
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(nst(i).caption(), Sj(kDefaults[i])) << i;
    EXPECT_EQ(nst2(i).caption(), Sj(kDefaults[i])) << "the popup copies too";
  }
  TOnlStat& d = onlstat();
  EXPECT_EQ(d.WriteInterval, 5);
  EXPECT_EQ(d.SleepMinutes, 15);
  EXPECT_EQ(d.ShutdownMinutes, 30);
  EXPECT_TRUE(d.AutoShutdown);
  EXPECT_TRUE(d.SleepWindowOff());
  Open();
  EXPECT_TRUE(d.visible());
  EXPECT_EQ(d.EditInterval->text(), "5");
  EXPECT_EQ(d.EditTime1->text(), "0") << "the design text 00 is replaced by the load";
  EXPECT_EQ(d.EditSleepInterval->text(), "15");
  EXPECT_EQ(d.EditShutdownInterval->text(), "30");
  EXPECT_TRUE(d.cbAutoShutdown->checked());
  Close();
  EXPECT_FALSE(d.visible());
  EXPECT_EQ(text::ReadAll("OnlStatus.txt"), DefaultFile());
}

TEST_F(OnlineStatusTest, TheMenusOpenTheDialogModelessOnceLoggedIn) {
  EXPECT_EQ(main().N13->caption(), Sj("オンラインテータス"));
  EXPECT_EQ(main().N14->caption(), Sj("オンラインステータス"));
  EXPECT_EQ(main().N24->caption(), Sj("ステータス編集"));
  EXPECT_EQ(main().N15->caption(), Sj("ステータス編集"));
  EXPECT_TRUE(main().N13->enabled());
  EXPECT_TRUE(main().N14->enabled());
  main().N15->Click();
  EXPECT_TRUE(onlstat().visible());
  EXPECT_TRUE(fp.dialogs.shown.empty()) << "modeless: no box, no nested loop";
  // The main window goes on meanwhile: its page watcher still names tabs.
  int slot = OpenLoadedTab("http://hp.test/buddy/buddy_list.jsp");
  Tick();
  EXPECT_EQ(SheetAt(slot)->caption(), Sj("*フレンド*"));
  // The guide button waits for the guide book: nothing opens, nothing is asked.
  onlstat().Button2->Click();
  EXPECT_TRUE(fp.shell.opened.empty());
  EXPECT_TRUE(fp.dialogs.shown.empty());
}

using NotLoggedInTest = ProgramTest;

TEST_F(NotLoggedInTest, StatusMenusAreDisabledUntilALogin) {
  Start();
  EXPECT_FALSE(main().N13->enabled());
  EXPECT_FALSE(main().N14->enabled());
  EXPECT_FALSE(main().NST[4]->enabled()) << "the asleep item waits for the sleep detection";
  EXPECT_TRUE(main().NST[0]->enabled());
  EXPECT_EQ(main().NST[0]->caption(), Sj("只今活動中(☆∀☆)")) << "loaded by the start-up tick";
}

struct BoxCase {
  const char* box;
  int TOnlStat::*field;
  const char* typed;
  const char* text_after;  // while still in the box
  int field_after;
  const char* text_left;  // after leaving it
  int field_left;
};

TEST_F(OnlineStatusTest, NumberBoxesKeepValidNumbersAndFallBackOtherwise) {
  const BoxCase cases[] = {
      {"EditInterval", &TOnlStat::WriteInterval, "abc", "", 5, "5", 5},
      {"EditInterval", &TOnlStat::WriteInterval, "07", "7", 7, "7", 7},
      {"EditInterval", &TOnlStat::WriteInterval, "0", "", 5, "5", 5},
      {"EditInterval", &TOnlStat::WriteInterval, "999", "999", 999, "999", 999},
      {"EditInterval", &TOnlStat::WriteInterval, "1000", "", 5, "5", 5},
      {"EditInterval", &TOnlStat::WriteInterval, "-3", "", 5, "5", 5},
      {"EditInterval", &TOnlStat::WriteInterval, "99999999999", "", 5, "5", 5},
      {"EditTime0", &TOnlStat::SleepStartHour, "24", "", 0, "0", 0},
      {"EditTime0", &TOnlStat::SleepStartHour, "23", "23", 23, "23", 23},
      {"EditTime0", &TOnlStat::SleepStartHour, "x", "", 0, "0", 0},
      {"EditTime1", &TOnlStat::SleepStartMinute, "59", "59", 59, "59", 59},
      {"EditTime1", &TOnlStat::SleepStartMinute, "60", "", 0, "0", 0},
      {"EditTime2", &TOnlStat::SleepEndHour, "05", "5", 5, "5", 5},
      {"EditTime3", &TOnlStat::SleepEndMinute, "", "", 0, "0", 0},
      {"EditSleepInterval", &TOnlStat::SleepMinutes, "0", "", 0, "15", 15},
      {"EditSleepInterval", &TOnlStat::SleepMinutes, "120", "120", 120, "120", 120},
      {"EditSleepInterval", &TOnlStat::SleepMinutes, "1a", "", 0, "15", 15},
      {"EditShutdownInterval", &TOnlStat::ShutdownMinutes, "", "", 0, "30", 30},
      {"EditShutdownInterval", &TOnlStat::ShutdownMinutes, "1", "1", 1, "1", 1},
  };
  TOnlStat& d = onlstat();
  Open();
  Pick(4);
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(std::string(c.box) + " <- '" + c.typed + "'");
    auto* box = d.FindAs<ui::Edit>(c.box);
    ASSERT_NE(box, nullptr);
    box->SetText("12");  // something valid in every box first
    box->SetText(c.typed);
    EXPECT_EQ(box->text(), c.text_after);
    const int* field = &(d.*c.field);
    EXPECT_EQ(*field, c.field_after);
    box->OnExit();
    EXPECT_EQ(box->text(), c.text_left);
    EXPECT_EQ(*field, c.field_left);
  }
}

TEST_F(OnlineStatusTest, ABoxLeftInvalidWhenTheDialogClosesSavesItsFallback) {
  Open();
  Pick(4);
  onlstat().EditSleepInterval->SetText("0");  // invalid, and the dialog closes before leaving
  onlstat().EditShutdownInterval->SetText("abc");
  Close();
  EXPECT_EQ(onlstat().SleepMinutes, 0);
  EXPECT_EQ(onlstat().ShutdownMinutes, 0);
  std::string file = *text::ReadAll("OnlStatus.txt");
  EXPECT_NE(file.find("\r\n5,0,0,0,0,0,0,1\r\n"), std::string::npos) << file;
}

struct WindowCase {
  const char* start_hour;
  const char* start_minute;
  const char* end_hour;
  const char* end_minute;
  bool enabled;
};

TEST_F(OnlineStatusTest, SleepWindowRuleEnablesTheSleepControlsOnlyForAWindow) {
  const WindowCase cases[] = {
      {"0", "0", "0", "0", false}, {"5", "5", "5", "5", false}, {"1", "30", "1", "30", true},
      {"23", "0", "6", "0", true}, {"0", "0", "0", "1", true},  {"24", "0", "0", "0", false},
  };
  TOnlStat& d = onlstat();
  Open();
  Pick(4);
  EXPECT_TRUE(d.Memo2->visible());
  EXPECT_TRUE(d.gbSleep->enabled());
  EXPECT_TRUE(d.gbShutdown->enabled());
  EXPECT_TRUE(d.EditTime0->enabled());
  EXPECT_TRUE(d.LabelTime4->enabled());
  EXPECT_FALSE(SleepControlsEnabled()) << "0:00 to 0:00 is off";
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(std::string(c.start_hour) + ":" + c.start_minute + "-" + c.end_hour + ":" +
                 c.end_minute);
    Type(d.EditTime0, c.start_hour);
    Type(d.EditTime1, c.start_minute);
    Type(d.EditTime2, c.end_hour);
    Type(d.EditTime3, c.end_minute);
    EXPECT_EQ(SleepControlsEnabled(), c.enabled);
    EXPECT_EQ(d.SleepWindowOff(), !c.enabled);
  }
  // Changing a time without leaving the box does not apply the rule yet.
  Type(d.EditTime0, "3");
  ASSERT_TRUE(SleepControlsEnabled());
  d.EditTime0->SetText("0");
  d.EditTime1->SetText("0");
  d.EditTime2->SetText("0");
  d.EditTime3->SetText("0");
  EXPECT_TRUE(SleepControlsEnabled());
  d.EditTime3->OnExit();
  EXPECT_FALSE(SleepControlsEnabled());

  // Another text disables the whole sleep part, and shows no note.
  Type(d.EditTime0, "1");
  Pick(1);
  EXPECT_FALSE(d.Memo2->visible());
  EXPECT_FALSE(d.gbSleep->enabled());
  EXPECT_FALSE(d.gbShutdown->enabled());
  EXPECT_FALSE(d.EditTime2->enabled());
  EXPECT_FALSE(d.LabelTime0->enabled());
  EXPECT_FALSE(SleepControlsEnabled());
}

TEST_F(OnlineStatusTest, ShowingTheDialogReloadsAndKeepsTheSleepPartAsItWas) {
  TOnlStat& d = onlstat();
  Open();
  EXPECT_FALSE(d.Memo2->visible());
  EXPECT_FALSE(d.Button1->enabled());
  EXPECT_FALSE(d.EditStatus->enabled());
  EXPECT_EQ(d.StatusList->item_index(), -1);
  EXPECT_FALSE(d.gbSleep->enabled()) << "disabled the first time";
  Pick(4);
  Type(d.EditTime0, "23");
  Close();
  // A change made outside the program between two showings shows up.
  std::string file = DefaultFile();
  file.replace(file.find(Sj(kDefaults[2])), Sj(kDefaults[2]).size(), "outside");
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", file));
  Open();
  EXPECT_EQ(d.StatusText(2), "outside");
  EXPECT_EQ(nst(2).caption(), "outside");
  EXPECT_EQ(nst2(2).caption(), "outside");
  EXPECT_EQ(d.SleepStartHour, 0) << "the file said 0";
  EXPECT_EQ(d.EditTime0->text(), "0");
  EXPECT_EQ(d.StatusList->item_index(), -1);
  EXPECT_FALSE(d.Memo2->visible());
  EXPECT_FALSE(d.Button1->enabled());
  EXPECT_TRUE(d.gbSleep->enabled()) << "as it was when the dialog closed";
  EXPECT_TRUE(d.EditTime3->enabled());
}

TEST_F(OnlineStatusTest, ChangeRenamesTheMenuItemsAtOnceAndTheFileOnClose) {
  TOnlStat& d = onlstat();
  Open();
  Pick(2);
  EXPECT_EQ(d.EditStatus->text(), Sj(kDefaults[2]));
  EXPECT_TRUE(d.EditStatus->enabled());
  EXPECT_TRUE(d.Button1->enabled());
  d.EditStatus->SetText(Sj("買い物中 ｶｲﾓﾉ"));
  EXPECT_EQ(nst(2).caption(), Sj(kDefaults[2])) << "nothing before 変更";
  d.Button1->Click();
  EXPECT_EQ(d.StatusText(2), Sj("買い物中 ｶｲﾓﾉ"));
  EXPECT_EQ(nst(2).caption(), Sj("買い物中 ｶｲﾓﾉ"));
  EXPECT_EQ(nst2(2).caption(), Sj("買い物中 ｶｲﾓﾉ"));
  EXPECT_EQ(d.StatusList->item_index(), 2);
  EXPECT_FALSE(text::Exists("OnlStatus.txt")) << "written only when the dialog closes";
  // An edit that is not confirmed is lost.
  Pick(3);
  d.EditStatus->SetText("never");
  Close();
  std::string expected = DefaultFile();
  expected.replace(expected.find(Sj(kDefaults[2])), Sj(kDefaults[2]).size(), Sj("買い物中 ｶｲﾓﾉ"));
  EXPECT_EQ(text::ReadAll("OnlStatus.txt"), expected);
}

TEST_F(OnlineStatusTest, AutomaticShutDownGoesToTheFileAndComesBack) {
  Open();
  Pick(4);
  Type(onlstat().EditTime0, "23");
  onlstat().cbAutoShutdown->Click();
  EXPECT_FALSE(onlstat().AutoShutdown);
  Close();
  std::string file = *text::ReadAll("OnlStatus.txt");
  EXPECT_NE(file.find("\r\n5,23,0,0,0,15,30,0\r\n"), std::string::npos) << file;
  program.reset();
  Start();
  EXPECT_FALSE(onlstat().AutoShutdown);
  EXPECT_FALSE(onlstat().cbAutoShutdown->checked());
  EXPECT_EQ(onlstat().SleepStartHour, 23);
}

TEST_F(OnlineStatusTest, AStatusTextLongerThanTheBoxIsShownAndKeptWhole) {
  std::string file = DefaultFile();
  std::string long_text(200, 'x');
  file.replace(0, Sj(kDefaults[0]).size(), long_text);
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", file));
  Open();
  Pick(0);
  EXPECT_EQ(onlstat().EditStatus->text(), long_text);
  onlstat().Button1->Click();
  EXPECT_EQ(onlstat().StatusText(0), long_text);
}

// --- the file ---

struct FileCase {
  const char* name;
  std::string bytes;
  std::array<std::string, 5> texts;
  std::vector<int> numbers;
};

TEST(StatusFile, ReadsTextsAndNumbersAsTheyStand) {
  const std::string a255(255, 'a');
  const FileCase cases[] = {
      {"complete",
       "a\r\nb\r\nc\r\nd\r\ne\r\n5,0,0,0,0,15,30,1\r\n",
       {"a", "b", "c", "d", "e"},
       {5, 0, 0, 0, 0, 15, 30, 1}},
      {"empty texts",
       "\r\n\r\nc\r\n\r\n\r\n1,2,3,4,5,6,7,0\r\n",
       {"", "", "c", "", ""},
       {1, 2, 3, 4, 5, 6, 7, 0}},
      {"out of range",
       "a\nb\nc\nd\ne\n0,99,-1,24,60,0,-5,2\n",
       {"a", "b", "c", "d", "e"},
       {0, 99, -1, 24, 60, 0, -5, 2}},
      {"numbers stop early",
       "a\r\nb\r\nc\r\nd\r\ne\r\n10,22,x,1\r\n",
       {"a", "b", "c", "d", "e"},
       {10, 22}},
      {"numbers missing", "a\r\nb\r\nc\r\nd\r\ne\r\n", {"a", "b", "c", "d", "e"}, {}},
      {"fewer lines", "a\r\nb\r\n", {"a", "b", "", "", ""}, {}},
      {"last line without break",
       "a\r\nb\r\nc\r\nd\r\ne\r\n5,1,2,3,4,15,30,1",
       {"a", "b", "c", "d", "e"},
       {5, 1, 2, 3, 4, 15, 30, 1}},
      {"bare LF keeps the last character",
       "ab\ncd\nef\ngh\nij\n1,1,1,1,1,1,1,1\n",
       {"ab", "cd", "ef", "gh", "ij"},
       {1, 1, 1, 1, 1, 1, 1, 1}},
      {"a CR inside a text stays",
       "a\rb\r\nc\r\nd\r\ne\r\nf\r\n",
       {"a\rb", "c", "d", "e", "f"},
       {}},
      {"longer line",
       std::string(300, 'a') + "\r\nb\r\nc\r\nd\r\ne\r\n3,0,0,0,0,1,1,1\r\n",
       {a255, "b", "c", "d", "e"},
       {3, 0, 0, 0, 0, 1, 1, 1}},
      {"exactly 255",
       a255 + "\r\nb\r\nc\r\nd\r\ne\r\n3,0,0,0,0,1,1,1\r\n",
       {a255, "b", "c", "d", "e"},
       {3, 0, 0, 0, 0, 1, 1, 1}},
      {"empty file", "", {"", "", "", "", ""}, {}},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    StatusFile f = ParseStatusFile(c.bytes);
    EXPECT_EQ(f.texts, c.texts);
    EXPECT_EQ(f.numbers, c.numbers);
  }
}

TEST(StatusFile, WritesCrLfLinesAndReadsThemBack) {
  std::vector<std::string> texts = {text::ToSjis("只今活動中(☆∀☆)"), "", "x,y", " ", "z"};
  std::string bytes = FormatStatusFile(texts, {7, 23, 30, 6, 0, 20, 45, 0});
  EXPECT_EQ(bytes, texts[0] + "\r\n\r\nx,y\r\n \r\nz\r\n7,23,30,6,0,20,45,0\r\n");
  StatusFile back = ParseStatusFile(bytes);
  EXPECT_EQ(std::vector<std::string>(back.texts.begin(), back.texts.end()), texts);
  EXPECT_EQ(back.numbers, (std::vector<int>{7, 23, 30, 6, 0, 20, 45, 0}));
}

TEST_F(OnlineStatusTest, DamagedFilesKeepWhatTheyDoNotSupply) {
  TOnlStat& d = onlstat();
  ASSERT_TRUE(
      text::WriteAtomic("OnlStatus.txt", "a\r\nb\r\nc\r\nd\r\ne\r\n7,23,0,6,0,20,45,0\r\n"));
  Open();
  Close();
  EXPECT_FALSE(d.AutoShutdown);
  // A line that stops early changes only what it supplies; the rest keep their values,
  // automatic shut-down included.
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", "a\r\nb\r\nc\r\nd\r\ne\r\n9,22\r\n"));
  Open();
  EXPECT_EQ(d.WriteInterval, 9);
  EXPECT_EQ(d.SleepStartHour, 22);
  EXPECT_EQ(d.SleepEndHour, 6);
  EXPECT_EQ(d.SleepMinutes, 20);
  EXPECT_EQ(d.ShutdownMinutes, 45);
  EXPECT_FALSE(d.AutoShutdown);
  EXPECT_EQ(d.EditInterval->text(), "9");
  EXPECT_EQ(d.EditShutdownInterval->text(), "45");
  Close();
  // An eighth number other than 1 is off; numbers out of range are taken as they stand and
  // shown as they are, without the boxes' rules.
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", "a\r\nb\r\nc\r\nd\r\ne\r\n0,25,0,0,0,0,-1,2\r\n"));
  Open();
  EXPECT_EQ(d.WriteInterval, 0);
  EXPECT_EQ(d.EditInterval->text(), "0");
  EXPECT_EQ(d.SleepStartHour, 25);
  EXPECT_EQ(d.SleepMinutes, 0);
  EXPECT_EQ(d.ShutdownMinutes, -1);
  EXPECT_FALSE(d.AutoShutdown);
  Close();
  EXPECT_EQ(text::ReadAll("OnlStatus.txt"), "a\r\nb\r\nc\r\nd\r\ne\r\n0,25,0,0,0,0,-1,0\r\n");
  // Fewer than five text lines: the missing ones are empty, and so are their menu items.
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", "only\r\n"));
  Open();
  EXPECT_EQ(d.StatusText(0), "only");
  EXPECT_EQ(d.StatusText(4), "");
  EXPECT_EQ(nst(4).caption(), "");
  EXPECT_EQ(d.StatusList->count(), 5);
}

TEST_F(OnlineStatusTest, AMissingFileGivesTheDefaultsAgain) {
  ASSERT_TRUE(text::WriteAtomic("OnlStatus.txt", "a\r\nb\r\nc\r\nd\r\ne\r\n7,1,2,3,4,20,45,0\r\n"));
  Open();
  Close();
  ASSERT_TRUE(text::Remove("OnlStatus.txt"));
  Open();
  EXPECT_EQ(onlstat().WriteInterval, 5);
  EXPECT_EQ(onlstat().SleepStartHour, 0);
  EXPECT_TRUE(onlstat().AutoShutdown);
  EXPECT_EQ(nst(0).caption(), Sj(kDefaults[0]));
}

}  // namespace
}  // namespace mirabo::testing
