// Sleep detection and shut-down: the page watcher's look at the mouse, the minute count, the
// switch to the asleep status and the count-down, and the shut-down by hand.
#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

// Whether the minute of the day lies in the window from start to end; a start at or after the
// end makes a window across midnight (a start equal to the end: the whole day).
bool InWindow(int now, int start, int end) {
  if (start < end) return start <= now && now < end;
  return start <= now || now < end;
}

}  // namespace

void TMain::CursorWatch() {
  const platform::Point pos = prog_.platform.pointer.CursorPos();
  if (pos != LastCursorPos) {
    NoMouseMinutes = 0;
    if (SleepTimer.enabled()) {
      // Its minute starts anew.
      SleepTimer.SetEnabled(false);
      SleepTimer.SetEnabled(true);
    }
    if (prog_.PowerOff && prog_.PowerOff->visible()) prog_.PowerOff->Close();
  }
  LastCursorPos = pos;
}

void TMain::SleepTimerTimer() {
  const TOnlStat& s = *prog_.OnlStat;
  if (s.SleepWindowOff()) return;
  ++NoMouseMinutes;
  const platform::LocalTime t = prog_.platform.clock.Local();
  const int now = t.hour * 60 + t.minute;
  const int start = s.SleepStartHour * 60 + s.SleepStartMinute;
  const int end = s.SleepEndHour * 60 + s.SleepEndMinute;
  // Equal, not at least: one switch per stretch without movement, at the minute the count
  // reaches the setting, if that minute lies in the window.
  if (!InWindow(now, start, end) || NoMouseMinutes != s.SleepMinutes) return;
  constexpr int kSleep = TOnlStat::kSleepStatus;
  for (int i = 0; i < static_cast<int>(NST.size()); ++i) NST[i]->SetChecked(i == kSleep);
  NST[kSleep]->SetEnabled(true);
  StatusWriteBegin(kSleep);
  if (s.AutoShutdown) prog_.PowerOff->Show();
}

void TMain::Windows1Click() {
  platform::Answer a = prog_.platform.dialogs.MessageBox(
      "Windowsを終了して電源を切りますか？"_sj, "Windows終了の確認"_sj, platform::Buttons::YesNo);
  if (a == platform::Answer::Yes) actions().Find("DoShutDown")->Execute();
}

void TMain::DoShutDownExecute() {
  // The shut-down privilege the original enabled first has no counterpart here: the system
  // decides whether the logged-in user may switch the computer off.
  if (prog_.platform.power) prog_.platform.power->PowerOff();
}

}  // namespace mirabo
