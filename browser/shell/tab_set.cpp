// The tab set: the browser slots, opening and closing tabs, the tab lock and the close button.
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

platform::WebBrowser* TMain::CreateBrowser(ui::TabSheet* sheet, HandlerSet set,
                                           platform::WebBrowser* related_to) {
  auto* b = platform::WebBrowser::Create(sheet, "WB" + std::to_string(4 + browser_serial_++),
                                         prog_.platform.browsers, prog_.platform.shell, related_to);
  if (!b) return nullptr;
  b->SetTag(1);
  b->SetAlign(ui::Align::Client);
  b->silent = true;
  b->register_as_browser = false;
  b->register_as_drop_target = false;
  Bind(b, set);
  return b;
}

void TMain::Bind(platform::WebBrowser* b, HandlerSet set) {
  using platform::WebBrowser;
  b->OnBeforeNavigate2 = [this](WebBrowser& s, const std::string& url, bool& cancel) {
    WBBeforeNavigate2(s, url, cancel);
  };
  if (set == HandlerSet::OpenTab) {
    b->OnNewWindow2 = [this](WebBrowser& s, WebBrowser*& w, bool& c) { WBNewWindow2b(s, w, c); };
  } else {
    b->OnNewWindow2 = [this](WebBrowser& s, WebBrowser*& w, bool& c) { WBNewWindow2(s, w, c); };
  }
  if (set != HandlerSet::SiteDesign) {
    b->OnDocumentComplete = [this](WebBrowser& s, platform::Document* d, const std::string& u) {
      WBDocumentComplete(s, d, u);
    };
  }
  if (set == HandlerSet::OpenTab || set == HandlerSet::Full) {
    b->OnTitleChange = [this](WebBrowser& s, const std::string& t) { WBTitleChange(s, t); };
    b->OnProgressChange = [this](WebBrowser& s, int p, int max) { WBProgressChange(s, p, max); };
  }
}

ui::TabSheet* TMain::NewSheet() {
  auto* sheet = ScreenTab->Add<ui::TabSheet>("TabSheet" + std::to_string(browser_serial_));
  return sheet;
}

ui::TabSheet* TMain::SheetOf(const platform::WebBrowser* b) const {
  return b ? dynamic_cast<ui::TabSheet*>(b->parent()) : nullptr;
}

int TMain::FindBlankWB() {
  for (int i = 0; i < kPageLimit; ++i)
    if (!BrowserSlots[i]) return i;
  prog_.platform.dialogs.MessageBox("これ以上ページを開けません。"_sj, "確認::FindBlankWB"_sj);
  return -1;
}

int TMain::SlotOfBrowser(const platform::WebBrowser* browser) const {
  if (!browser) return -1;
  for (int i = 0; i < kPageLimit; ++i)
    if (BrowserSlots[i] && BrowserSlots[i] == browser) return i;
  return -1;
}

int TMain::SlotOfSheet(const ui::TabSheet* sheet) const {
  for (int i = 0; i < kPageLimit && BrowserSlots[i]; ++i)
    if (BrowserSlots[i]->parent() == sheet) return i;
  return -1;
}

platform::WebBrowser* TMain::ActiveBrowser() {
  int slot = SlotOfSheet(ScreenTab->active_page());
  return slot < 0 ? nullptr : BrowserSlots[slot];
}

bool TMain::IsStatusBrowser(const platform::WebBrowser* b) const {
  return StatusActive && StatusSlot >= 0 && StatusSlot < kPageLimit &&
         BrowserSlots[StatusSlot] == b;
}

int TMain::OpenTab(const std::string& first_address, bool activate, const std::string&,
                   const std::string& browser_failure, const std::string& failure_caption) {
  int slot = FindBlankWB();
  if (slot < 0) return -1;
  ui::TabSheet* sheet = NewSheet();
  platform::WebBrowser* b =
      platform::WebBrowser::Create(sheet, "WB" + std::to_string(4 + browser_serial_++),
                                   prog_.platform.browsers, prog_.platform.shell);
  if (!b) {
    // The empty sheet stays, as it always did.
    if (!browser_failure.empty())
      prog_.platform.dialogs.MessageBox(browser_failure, failure_caption);
    return -1;
  }
  BrowserSlots[slot] = b;
  b->SetTag(1);
  b->SetAlign(ui::Align::Client);
  b->silent = true;
  // The first navigation already passes the navigation rules; the other handlers follow it.
  b->OnBeforeNavigate2 = [this](platform::WebBrowser& s, const std::string& url, bool& cancel) {
    WBBeforeNavigate2(s, url, cancel);
  };
  b->Navigate(first_address);
  Bind(b, HandlerSet::OpenTab);
  if (activate) ScreenTab->SetActivePage(sheet);
  return slot;
}

void TMain::RemoveSlot(int slot) {
  for (int i = slot; i < kPageLimit - 1; ++i) BrowserSlots[i] = BrowserSlots[i + 1];
  BrowserSlots[kPageLimit - 1] = nullptr;
  if (StatusActive && slot < StatusSlot) --StatusSlot;
  if (WalkRunning) {
    if (slot < WalkSlot)
      --WalkSlot;
    else if (slot == WalkSlot)
      WalkSlot = -1;
  }
}

void TMain::DestroyTab(int, platform::WebBrowser* browser) {
  ui::TabSheet* sheet = SheetOf(browser);
  if (!sheet) return;
  // A browser retired on this sheet goes with it.
  if (RetiredBrowser && RetiredBrowser->parent() == sheet) RetiredBrowser = nullptr;
  sheet->DestroyChild(browser);
  ScreenTab->DestroyChild(sheet);
}

void TMain::RemoveTab(int slot) {
  if (slot < 0 || slot >= kPageLimit || !BrowserSlots[slot]) return;
  platform::WebBrowser* b = BrowserSlots[slot];
  RemoveSlot(slot);
  DestroyTab(slot, b);
}

void TMain::DoNewTabExecute() {
  if (!PageAdd->enabled()) return;
  OpenTab(MemberHomepage(), false, "DoNewTabExecute");
}

void TMain::DoDeleteTabExecute() {
  IdleTimer.SetEnabled(false);
  try {
    ui::TabSheet* sheet = ScreenTab->active_page();
    int slot = -1;
    for (int i = 2; i < kPageLimit; ++i)
      if (BrowserSlots[i] && BrowserSlots[i]->parent() == sheet) {
        slot = i;
        break;
      }
    if (slot >= 0) {
      platform::WebBrowser* b = BrowserSlots[slot];
      RemoveSlot(slot);
      ScreenTab->SelectNextPage(false);
      ui::TabSheet* left = ScreenTab->active_page();
      DestroyTab(slot, b);
      ScreenTab->SetActivePage(left);
    }
  } catch (...) {
    // Closing a tab reports nothing; the watcher comes back on below in every case.
  }
  IdleTimer.SetEnabled(true);
}

void TMain::BeforeDoDeleteExecute() {
  if (PageClose->enabled()) actions().Find("DoDeleteTab")->Execute();
}

void TMain::DoTabLockCheckExecute() { cbTabLock->SetChecked(!cbTabLock->checked()); }

void TMain::UpdatePageClose() {
  ui::TabSheet* active = ScreenTab->active_page();
  bool fixed = active == TabSheetHobnest || active == TabSheetMyHome;
  bool status = StatusActive && StatusSlot >= 0 && StatusSlot < kPageLimit &&
                BrowserSlots[StatusSlot] && BrowserSlots[StatusSlot]->parent() == active;
  PageClose->SetEnabled(!fixed && !status);
}

void TMain::ScreenTabChange() {
  UpdatePageClose();
  if (ScreenTab->active_page() == TabSheetHobnest && BrowserSlots[kSiteSlot] &&
      BrowserSlots[kSiteSlot]->LocationUrl() == "about:blank")
    prog_.Login->Show();
}

}  // namespace mirabo
