// Browser events: the navigation rules, new windows, tab captions, progress, completed documents
// and the back and forward buttons.
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The member ID in an address or title: the text after the first "homepage=", up to the next
// "&" when `to_amp`, else to the end.
std::string AfterHomepage(const std::string& s, bool to_amp) {
  std::size_t at = s.find("homepage=");
  if (at == std::string::npos) return {};
  std::string rest = s.substr(at + 9);
  if (to_amp) rest = rest.substr(0, rest.find('&'));
  return rest;
}

struct Captions {
  std::string friends = "*フレンド*"_sj, chat = "*チャット*"_sj, ad = "*広告*"_sj,
              message = "*メッセージ*"_sj, ready = "*ready*", close = "閉じてください"_sj;
};
const Captions& Words() {
  static const Captions c;
  return c;
}

}  // namespace

// The caption an address gives a tab that has none yet (the page watcher's naming); empty when
// the address says nothing.
std::string CaptionFromAddress(const std::string& address) {
  const Captions& w = Words();
  if (Has(address, "homepage=")) return AfterHomepage(address, false);
  if (Has(address, "buddy")) return w.friends;
  if (Has(address, "chat") || Has(address, "/ch/")) return w.chat;
  if (Has(address, "pop")) return w.ad;
  if (Has(address, "msg/")) return w.message;
  return {};
}

void TMain::NoBrowserMemory(const char* handler) {
  prog_.platform.dialogs.MessageBox(
      "新規ブラウザ用メモリの確保に失敗しました。ソフトを終了させてください。"_sj,
      "メモリ確保エラー::"_sj + handler);
}

void TMain::BringToFront(ui::TabSheet* sheet, const platform::WebBrowser& sender) {
  if (!TabLocked() && !IsStatusBrowser(&sender) && sheet) ScreenTab->SetActivePage(sheet);
}

void TMain::WBBeforeNavigate2(platform::WebBrowser& sender, const std::string& url, bool& cancel) {
  platform::Dialogs& dialogs = prog_.platform.dialogs;
  try {
    ui::TabSheet* sheet = SheetOf(&sender);
    if (Has(url, "nickinuse.htm")) {
      dialogs.MessageBox("重複したログイン"_sj, "ログイン失敗"_sj);
      if (sheet) {
        sheet->SetCaption(Words().close);
        ScreenTab->SetActivePage(sheet);
      }
      return;
    }
    if (Has(url, "goLogin")) {
      cancel = true;
      prog_.Login->Show();
      return;
    }
    if (IsStatusBrowser(&sender) && !Has(url, "logs_insert_e.jsp") && !Has(url, "about:blank")) {
      dialogs.MessageBox("このページからはリンク移動できません。"_sj,
                         "Mirabo::オンラインステータス"_sj);
      cancel = true;
      return;
    }
    BringToFront(sheet, sender);
    if (Has(url, "homepage=") && sheet && sheet != TabSheetHobnest && sheet != TabSheetMyHome) {
      std::string id = AfterHomepage(url, true);
      if (id != prog_.Login->UserID->text()) {
        // One tab per member homepage: other program tabs captioned with this ID close. A slot
        // is looked at again after a removal, since the next tab has moved into it.
        for (int i = 2; i < kPageLimit && BrowserSlots[i];) {
          ui::TabSheet* other = SheetOf(BrowserSlots[i]);
          if (other && other != sheet && other->caption() == id)
            RemoveTab(i);
          else
            ++i;
        }
      }
      BringToFront(sheet, sender);
      sheet->SetCaption(id);
    }
  } catch (...) {
    dialogs.MessageBox("ナビゲートエラー"_sj, "error");
  }
}

void TMain::WBNewWindow2(platform::WebBrowser& sender, platform::WebBrowser*& new_window,
                         bool& cancel) {
  int slot = FindBlankWB();
  if (slot < 0) return;  // the page opens outside the program
  ui::TabSheet* sheet = NewSheet();
  platform::WebBrowser* b = CreateBrowser(sheet, HandlerSet::Full, &sender);
  if (!b) {
    NoBrowserMemory("WBNewWindow2");
    cancel = true;
    return;
  }
  if (!(ScreenTab->active_page() == TabSheetHobnest && !TabLocked())) b->Navigate("about:blank");
  BrowserSlots[slot] = b;
  new_window = b;
  cancel = false;
}

void TMain::WBNewWindow2b(platform::WebBrowser& sender, platform::WebBrowser*& new_window,
                          bool& cancel) {
  int slot = SlotOfBrowser(&sender);
  if (slot < 0) {
    prog_.platform.dialogs.MessageBox("ブラウザが見つかりません。"_sj, "確認::WBNewWindow2b"_sj);
    return;
  }
  platform::WebBrowser* b = CreateBrowser(SheetOf(&sender), HandlerSet::Full, &sender);
  if (!b) {
    NoBrowserMemory("WBNewWindow2b");
    cancel = true;
    return;
  }
  if (RetiredBrowser) {
    if (auto* holder = RetiredBrowser->parent()) holder->DestroyChild(RetiredBrowser);
    RetiredBrowser = nullptr;
  }
  RetiredBrowser = &sender;
  sender.SetTag(8);
  if (!(ScreenTab->active_page() == TabSheetHobnest && !TabLocked())) b->Navigate("about:blank");
  BrowserSlots[slot] = b;
  new_window = b;
  cancel = false;
}

void TMain::WBTitleChange(platform::WebBrowser& sender, const std::string& title) {
  ui::TabSheet* sheet = SheetOf(&sender);
  if (!sheet || sheet == TabSheetHobnest || sheet == TabSheetMyHome) return;
  const Captions& w = Words();
  if (sheet->caption() == w.close) return;
  if (Has(title, "homepage="))
    sheet->SetCaption(AfterHomepage(title, false));
  else if (Has(title, "buddy"))
    sheet->SetCaption(w.friends);
  else if (Has(title, "chat") || Has(title, "/ch/"))
    sheet->SetCaption(w.chat);
  else if (Has(title, "pop"))
    sheet->SetCaption(w.ad);
  else if (Has(title, "msg/"))
    sheet->SetCaption(w.message);
  else if (title == "about:blank")
    sheet->SetCaption(w.ready);
  else if (title != "::: Hobnest :::" && !Has(title, "http://"))
    sheet->SetCaption(title);
}

void TMain::WBProgressChange(platform::WebBrowser&, int progress, int progress_max) {
  if (progress < 0 || progress_max < 1) {
    SB->SetPanelText(1, "Document Completed.");
    return;
  }
  int percent = static_cast<int>(static_cast<double>(progress) * 100.0 / progress_max);
  SB->SetPanelText(1, percent > 100 ? "Loading.. " : "Loading.. " + std::to_string(percent) + "%");
}

void TMain::WBDocumentComplete(platform::WebBrowser& sender, platform::Document* document,
                               const std::string&) {
  if (document) {
    ScanFrames(document);
    if (IsStatusBrowser(&sender)) ReadAvatarCode(document);
  }
  sender.SetTag(0);
}

void TMain::GoBackClick() {
  if (platform::WebBrowser* b = ActiveBrowser()) b->GoBack();
}

void TMain::GoNextClick() {
  if (platform::WebBrowser* b = ActiveBrowser()) b->GoForward();
}

}  // namespace mirabo
