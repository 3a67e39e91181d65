// Sleep detection and shut-down: the cursor watch, the minute count inside the sleep window,
// the switch to the asleep status, the count-down and the shut-down question. The power
// service is the fake platform's recorder: nothing is ever switched off.
#include "tests/unit/presence_fixture.h"

namespace mirabo::testing {
namespace {

class SleepTest : public PresenceTest {
 protected:
  void SetUp() override {
    PresenceTest::SetUp();
    Tick();  // the first look at the cursor counts as a movement
  }
  void Window(int start_hour, int start_minute, int end_hour, int end_minute, int sleep_minutes,
              bool auto_shutdown = true) {
    TOnlStat& s = onlstat();
    s.SleepStartHour = start_hour;
    s.SleepStartMinute = start_minute;
    s.SleepEndHour = end_hour;
    s.SleepEndMinute = end_minute;
    s.SleepMinutes = sleep_minutes;
    s.AutoShutdown = auto_shutdown;
  }
  void SetClock(int minute_of_day) {
    fp.clock.local.hour = (minute_of_day / 60) % 24;
    fp.clock.local.minute = minute_of_day % 60;
  }
  // The mouse moves at `hh:mm`, then rests: the page watcher sees the movement and the sleep
  // minute starts anew from then.
  void MouseMovesAt(int minute_of_day) {
    SetClock(minute_of_day);
    fp.pointer.pos.x += 1;
    Tick();
    rest_from_ = minute_of_day;
    rested_ = 0;
  }
  // The mouse rests for n more minutes; the local time follows the sleep timer's ticks. Returns
  // the minute of the day at which the asleep status was chosen, or -1.
  int RestFor(int n) {
    int switched = -1;
    for (int i = 0; i < n; ++i) {
      ++rested_;
      SetClock(rest_from_ + rested_);
      bool before = nst(4).checked();
      fp.scheduler.Advance(60000);
      if (!before && nst(4).checked() && switched < 0) switched = (rest_from_ + rested_) % 1440;
    }
    return switched;
  }
  static int At(int h, int m) { return h * 60 + m; }

  int rest_from_ = 0;
  int rested_ = 0;
};

struct SleepCase {
  const char* name;
  int start_hour, start_minute, end_hour, end_minute;
  int rest_from;  // minute of the day
  int expected;   // the minute of the switch, -1 for none within two hours
};

TEST_F(SleepTest, TheAsleepStatusComesWhenTheCountReachesTheSettingInsideTheWindow) {
  const SleepCase cases[] = {
      {"23:00-6:00 from 2:00", 23, 0, 6, 0, At(2, 0), At(2, 15)},
      {"23:00-6:00 from 22:50", 23, 0, 6, 0, At(22, 50), At(23, 5)},
      {"23:00-6:00 from 22:40", 23, 0, 6, 0, At(22, 40), -1},
      {"1:00-5:00 at 5:00 is outside", 1, 0, 5, 0, At(4, 45), -1},
      {"1:00-5:00 at 1:00 is inside", 1, 0, 5, 0, At(0, 45), At(1, 0)},
      {"1:00-5:00 at 4:59 is inside", 1, 0, 5, 0, At(4, 44), At(4, 59)},
      {"0:00-0:00 is off", 0, 0, 0, 0, At(2, 0), -1},
      {"1:30-1:30 is the whole day", 1, 30, 1, 30, At(12, 0), At(12, 15)},
      {"22:00-22:00 at 22:00", 22, 0, 22, 0, At(21, 45), At(22, 0)},
  };
  for (const SleepCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Every case starts with writing off and nothing chosen.
    if (main().StatusActive) nst(4).Click();
    for (int i = 0; i < 5; ++i) nst(i).SetChecked(false);
    Window(c.start_hour, c.start_minute, c.end_hour, c.end_minute, 15);
    MouseMovesAt(c.rest_from);
    EXPECT_EQ(RestFor(120), c.expected);
    if (c.expected >= 0) {
      EXPECT_TRUE(nst(4).enabled());
      EXPECT_TRUE(nst2(4).checked());
      EXPECT_EQ(main().StatusIndex, 4);
      EXPECT_NE(main().StatusBrowser(), nullptr) << "the status tab opened for the post";
      EXPECT_TRUE(poweroff().visible());
      EXPECT_EQ(main().NoMouseMinutes, 120) << "the switch does not reset the count";
      poweroff().Close();
    } else {
      EXPECT_FALSE(main().StatusActive);
      EXPECT_FALSE(poweroff().visible());
    }
  }
}

TEST_F(SleepTest, TheCountRunsOnlyWhileTheWindowIsOn) {
  Window(0, 0, 0, 0, 15);
  MouseMovesAt(At(2, 0));
  RestFor(30);
  EXPECT_EQ(main().NoMouseMinutes, 0);
  Window(23, 0, 6, 0, 15);
  RestFor(3);
  EXPECT_EQ(main().NoMouseMinutes, 3) << "counted outside the window too";
}

TEST_F(SleepTest, TheSwitchPostsTheAsleepTextAndClearsTheOtherMarks) {
  onlstat().WriteInterval = 60;
  nst(1).Click();  // writing "away" already
  status_engine().Complete("about:blank");
  fp.scheduler.Advance(100);
  ASSERT_EQ(status_engine().written.size(), 1u);
  status_engine().Complete(kGuestbook, Answer("ABCD"));
  fp.scheduler.Advance(100);
  status_engine().Complete(kGuestbook, Answer());
  Window(23, 0, 6, 0, 10, /*auto_shutdown=*/false);
  MouseMovesAt(At(1, 0));
  EXPECT_EQ(RestFor(10), At(1, 10));
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(nst(i).checked()) << i;
    EXPECT_FALSE(nst2(i).checked()) << i;
  }
  EXPECT_TRUE(nst(4).checked());
  EXPECT_TRUE(nst2(4).enabled());
  EXPECT_EQ(used_slots(), 3) << "the running writer's tab";
  fp.scheduler.Advance(100);
  ASSERT_EQ(status_engine().written.size(), 3u);
  EXPECT_NE(status_engine().written[2].find(Text(4)), std::string::npos);
  EXPECT_FALSE(poweroff().visible()) << "no count-down without automatic shut-down";
  // Moving the mouse afterwards chooses nothing; a new stretch switches again.
  status_engine().Complete(kGuestbook, Answer());
  MouseMovesAt(At(2, 0));
  EXPECT_TRUE(nst(4).checked());
  EXPECT_EQ(RestFor(10), -1) << "already chosen";
  EXPECT_EQ(main().NoMouseMinutes, 10);
  fp.scheduler.Advance(100);
  EXPECT_EQ(status_engine().written.size(), 4u) << "posted once more at the next idle tick";
}

TEST_F(SleepTest, ASleepSettingOfZeroNeverSwitches) {
  Window(23, 0, 6, 0, 0);
  MouseMovesAt(At(23, 30));
  EXPECT_EQ(RestFor(120), -1);
}

TEST_F(SleepTest, AMovementRestartsTheSleepMinute) {
  Window(23, 0, 6, 0, 15);
  MouseMovesAt(At(1, 0));
  fp.scheduler.Advance(50000);
  fp.pointer.pos.y += 1;  // moved 50 s into the minute
  Tick();
  fp.scheduler.Advance(59000);
  EXPECT_EQ(main().NoMouseMinutes, 0) << "the first count comes a full minute after it";
  fp.scheduler.Advance(1100);
  EXPECT_EQ(main().NoMouseMinutes, 1);
}

TEST_F(SleepTest, TheCountDownFillsItsGaugeAndAsksForThePowerOffOnce) {
  onlstat().ShutdownMinutes = 1;
  poweroff().Show();
  EXPECT_TRUE(poweroff().Timer1.enabled());
  EXPECT_EQ(poweroff().CGauge1->progress(), 0);
  fp.scheduler.Advance(600);
  EXPECT_EQ(poweroff().CountdownTicks, 6);
  EXPECT_EQ(poweroff().CGauge1->progress(), 1) << "one percent about every 0.6 s";
  fp.scheduler.Advance(30000 - 600);
  EXPECT_EQ(poweroff().CGauge1->progress(), 50);
  fp.scheduler.Advance(30000 - 100);
  EXPECT_EQ(poweroff().CGauge1->progress(), 99);
  EXPECT_EQ(fp.power.power_offs, 0);
  fp.scheduler.Advance(100);
  EXPECT_EQ(poweroff().CGauge1->progress(), 100);
  EXPECT_EQ(fp.power.power_offs, 1) << "60 s after the window opened";
  fp.scheduler.Advance(120000);
  EXPECT_EQ(fp.power.power_offs, 1) << "later ticks do not ask again";
  EXPECT_EQ(poweroff().CGauge1->progress(), 100);
  EXPECT_TRUE(poweroff().visible()) << "the window stays with a full gauge";
}

TEST_F(SleepTest, ACountDownOfNoMinutesRunsOneMinute) {
  for (int minutes : {0, -5}) {
    SCOPED_TRACE(minutes);
    fp.power.power_offs = 0;
    onlstat().ShutdownMinutes = minutes;
    poweroff().Show();
    fp.scheduler.Advance(100);
    EXPECT_EQ(fp.power.power_offs, 0) << "never at once";
    fp.scheduler.Advance(59800);
    EXPECT_EQ(fp.power.power_offs, 0);
    EXPECT_EQ(poweroff().CGauge1->progress(), 99);
    fp.scheduler.Advance(100);
    EXPECT_EQ(fp.power.power_offs, 1);
    poweroff().Close();
  }
}

TEST_F(SleepTest, MovingTheMouseDuringTheCountDownCancelsIt) {
  Window(23, 0, 6, 0, 15);
  onlstat().ShutdownMinutes = 1;
  MouseMovesAt(At(2, 0));
  ASSERT_EQ(RestFor(15), At(2, 15));
  ASSERT_TRUE(poweroff().visible());
  fp.scheduler.Advance(30000);
  EXPECT_EQ(poweroff().CGauge1->progress(), 50);
  fp.pointer.pos.x -= 1;  // one pixel
  Tick();
  EXPECT_FALSE(poweroff().visible());
  EXPECT_FALSE(poweroff().Timer1.enabled());
  EXPECT_EQ(main().NoMouseMinutes, 0);
  fp.scheduler.Advance(10 * 60000);
  EXPECT_EQ(fp.power.power_offs, 0);
  EXPECT_TRUE(nst(4).checked()) << "the status stays the asleep one";
  // Shown again, it counts from the start.
  poweroff().Show();
  EXPECT_EQ(poweroff().CountdownTicks, 0);
  EXPECT_EQ(poweroff().CGauge1->progress(), 0);
}

TEST_F(SleepTest, TheShutDownQuestionAsksFirst) {
  for (ui::MenuItem* item : {main().Windows1, main().Windows2}) {
    SCOPED_TRACE(item->name());
    fp.dialogs.shown.clear();
    fp.power.power_offs = 0;
    EXPECT_EQ(item->caption(), Sj("Windowsを終了する"));
    fp.dialogs.answers.push_back(platform::Answer::No);
    item->Click();
    ASSERT_EQ(fp.dialogs.shown.size(), 1u);
    EXPECT_EQ(fp.dialogs.shown[0].text, Sj("Windowsを終了して電源を切りますか？"));
    EXPECT_EQ(fp.dialogs.shown[0].caption, Sj("Windows終了の確認"));
    EXPECT_EQ(fp.power.power_offs, 0) << "No changes nothing";
    fp.dialogs.answers.push_back(platform::Answer::Yes);
    item->Click();
    EXPECT_EQ(fp.power.power_offs, 1);
  }
}

using BeforeLoginTest = ProgramTest;

TEST_F(BeforeLoginTest, TheCursorWatchRunsButNothingCounts) {
  Start();
  LoadFixedTabs();
  program->OnlStat->SleepStartHour = 23;
  program->OnlStat->SleepEndHour = 6;
  program->OnlStat->SleepMinutes = 1;
  EXPECT_FALSE(main().SleepTimer.enabled());
  fp.clock.local.hour = 2;
  fp.scheduler.Advance(10 * 60000);
  EXPECT_EQ(main().NoMouseMinutes, 0);
  EXPECT_FALSE(main().NST[4]->checked());
  // A count-down shown by hand still closes at a movement.
  program->PowerOff->Show();
  fp.pointer.pos.x += 5;
  Tick();
  EXPECT_FALSE(program->PowerOff->visible());
  EXPECT_EQ(fp.power.power_offs, 0);
}

}  // namespace
}  // namespace mirabo::testing
