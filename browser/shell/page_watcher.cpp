// The page watcher (the 60 ms tick) and the frame scanner run on every completed document.
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

void TMain::IdleTimerTimer() {
  CheckBrowsers();
  if (!IdleTimer.enabled()) return;  // a fixed browser could not be re-created
  AddInAutoHide();
  CursorWatch();
  CheckTeikeiMarker();
  if (RetiredBrowser) {
    if (RetiredBrowser->tag() > 0) {
      RetiredBrowser->SetTag(RetiredBrowser->tag() - 1);
    } else {
      if (auto* holder = RetiredBrowser->parent()) holder->DestroyChild(RetiredBrowser);
      RetiredBrowser = nullptr;
    }
  }
  UpdatePageClose();
}

void TMain::CheckBrowsers() {
  try {
    for (int slot = 0; slot < kPageLimit; ++slot) {
      platform::WebBrowser* b = BrowserSlots[slot];
      if (!b) continue;
      if (!b->GetDocument()) {
        if (b->tag() != 0) continue;  // still starting up
        if (slot == kSiteSlot || slot == kHomeSlot) {
          if (!ReplaceFixedBrowser(slot)) {
            // Switched off before the box: its nested loop must not run further ticks.
            IdleTimer.SetEnabled(false);
            prog_.platform.dialogs.MessageBox(
                "致命的エラーが発生しました。直ちにソフトを終了させてください。"_sj,
                "メモリ確保エラー::IdleTimerTimer"_sj);
            return;
          }
        } else {
          // The entry that moves into this slot waits for the next tick.
          RemoveTab(slot);
        }
        continue;
      }
      if (slot >= 2) {
        ui::TabSheet* sheet = SheetOf(b);
        if (sheet && sheet->caption().empty()) {
          std::string caption = CaptionFromAddress(b->LocationUrl());
          if (!caption.empty()) sheet->SetCaption(caption);
        }
      }
    }
  } catch (...) {
    static const std::string failure = "ミラボを再起動してください。::Error::IdleTimer"_sj;
    SB->SetPanelText(0, failure);
  }
}

bool TMain::ReplaceFixedBrowser(int slot) {
  platform::WebBrowser* old = BrowserSlots[slot];
  ui::TabSheet* sheet = SheetOf(old);
  // The replacement is made before the old browser goes, so a failure leaves the slot holding
  // a browser rather than nothing.
  platform::WebBrowser* b = CreateBrowser(sheet, HandlerSet::Full);
  if (!b) return false;
  if (RetiredBrowser == old) RetiredBrowser = nullptr;
  sheet->DestroyChild(old);
  BrowserSlots[slot] = b;
  if (slot == kSiteSlot) WB2 = b;
  if (slot == kHomeSlot) WB3 = b;
  b->Navigate("about:blank");
  if (sheet == TabSheetMyHome) b->Navigate(MemberHomepage());
  return true;
}

void TMain::ScanFrames(platform::Document* document) {
  static const std::string chat_button = "<INPUT TYPE='SUBMIT' NAME='XXXX' VALUE='発言' ALT=''>"_sj;
  if (!document) return;
  const int frames = document->FrameCount();
  for (int f = 0; f < frames; ++f) {
    platform::Document* doc = nullptr;
    auto access = document->Frame(f, &doc);
    if (access == platform::Document::FrameAccess::NoWindow) return;
    if (access != platform::Document::FrameAccess::Ok || !doc) continue;
    ScanFrames(doc);  // nested frames before their parents' elements
    const std::size_t count = doc->ElementCount();
    if (count == 0) continue;
    bool button_missing = true;
    for (int pass = 0; pass < 2; ++pass) {
      bool done = false;
      for (std::size_t i = 0; i < count && !done; ++i) {
        const std::string tag = doc->TagName(i);
        if (tag == "INPUT") {
          const std::string outer = doc->OuterHtml(i);
          if (pass == 1 && button_missing && outer.find("chatctrl") != std::string::npos) {
            doc->SetOuterHtml(i, outer + chat_button);
            done = true;
          } else if (outer.find("XXXX") != std::string::npos) {
            button_missing = false;
          }
        }
        // The walkthrough's harvest of member IDs from links joins pass 0 with its feature.
      }
      if (done) break;
    }
  }
}

}  // namespace mirabo
