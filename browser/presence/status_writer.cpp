// The status writer: the status menus, the status tab, the posts to the member's own guestbook
// and the avatar code read from the guestbook's answers.
#include <algorithm>
#include <climits>

#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/member/form_page.h"
#include "browser/presence/status_page.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

constexpr int kDueNow = 100;  // ms: the next post as soon as the status tab is idle

// WriteInterval minutes as a timer interval. 0 or less leaves the timer without a period;
// an interval longer than the timer can hold is the longest it can.
int IntervalMs(int minutes) {
  return static_cast<int>(std::min<long long>(static_cast<long long>(minutes) * 60000, INT_MAX));
}

}  // namespace

platform::WebBrowser* TMain::StatusBrowser() const {
  if (!StatusActive || status_tab_gone_ || StatusSlot < 0 || StatusSlot >= kPageLimit)
    return nullptr;
  return BrowserSlots[StatusSlot];
}

void TMain::N24Click() { prog_.OnlStat->Show(); }

void TMain::NSTClick(int index) {
  constexpr int kSleep = TOnlStat::kSleepStatus;
  // Twins share their marks: the popup copies follow.
  const bool now = !NST[index]->checked();
  for (int i = 0; i < static_cast<int>(NST.size()); ++i) NST[i]->SetChecked(i == index && now);
  if (index != kSleep) NST[kSleep]->SetEnabled(false);
  if (now) {
    StatusWriteBegin(index);
    return;
  }
  // The chosen status clicked again: writing off, and its tab closes if it is still there.
  platform::WebBrowser* status = StatusBrowser();
  StatusActive = false;
  StatTimer.SetEnabled(false);
  if (status) {
    if (ui::TabSheet* sheet = SheetOf(status)) ScreenTab->SetActivePage(sheet);
    actions().Find("DoDeleteTab")->Execute();
  }
  if (index == kSleep) NST[kSleep]->SetEnabled(false);
}

void TMain::StatusWriteBegin(int index) {
  StatTimer.SetInterval(kDueNow);
  StatusIndex = index;
  if (StatusBrowser()) return;  // the running writer takes the new status at its next tick
  int slot = FindBlankWB();
  if (slot < 0) {
    StatTimer.SetEnabled(false);
    return;
  }
  StatusActive = true;
  StatusSlot = slot;
  status_tab_gone_ = false;
  if (OpenTab("about:blank", true, "StatusWriteBegin",
              "致命的エラーが発生しました。直ちにソフトウェアを終了させてください。"_sj,
              "メモリ確保エラー::StatusWriteBegin"_sj) < 0)
    return;
  StatTimer.SetEnabled(true);
}

void TMain::StatTimerTimer() {
  platform::WebBrowser* b = StatusBrowser();
  if (!b) {
    StatTimer.SetEnabled(false);
    return;
  }
  if (b->tag() == 1) return;  // the previous page is still on its way
  TOnlStat& settings = *prog_.OnlStat;
  StatTimer.SetInterval(AvatarCode.empty() ? kDueNow : IntervalMs(settings.WriteInterval));
  const std::string action = text::Hosts::Url(prog_.hosts.app, "/logs/logs_insert_e.jsp");
  const std::string page =
      StatusPage(action, prog_.Login->UserID->text(), settings.StatusText(StatusIndex), AvatarCode);
  // The in-place write: over whatever the tab shows, normally the answer to the last post.
  b->Refresh();
  WriteFormPage(*b, page, action);
  b->SetTag(1);
}

void TMain::ReadAvatarCode(platform::Document* document) {
  if (!document) return;
  const std::size_t count = document->ElementCount();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string outer = document->OuterHtml(i);
    if (RefusesPost(outer)) StatTimer.SetEnabled(false);
    // Every element is read: a later code replaces an earlier one.
    if (std::optional<std::string> code = AvatarCodeIn(outer)) AvatarCode = *code;
  }
}

}  // namespace mirabo
