// The template texts: their loading, the function keys that insert them into the page, and the
// buttons that start the template editor.
#include "browser/MainForm.h"
#include "browser/program.h"
#include "browser/templates/placeholders.h"
#include "text/files.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

void TMain::DoLoadTeikeiExecute() {
  text::TeikeiLoad load = text::LoadTeikeiForBrowser();
  Teikei = load.entries;
  if (load.damaged) SB->SetPanelText(0, text::TeikeiDamagedMessage());
  for (int i = 0; i < text::kTeikeiCount; ++i) TeikeiButtons[i]->SetCaption(Teikei[i].title);
}

bool TMain::HandleAppMessage(const ui::KeyMessage& key) {
  // Only the main window's keys: those typed in the program's dialogs and boxes reach them.
  if (key.form != this || key.alt) return false;
  platform::WebBrowser* browser = ActiveBrowser();
  if (!browser) return false;
  int entry = -1;
  switch (key.key) {
    case ui::key::Enter:
      browser->InsertText("\n");
      return true;
    case ui::key::F1:
      entry = 0;
      break;
    case ui::key::F2:
      entry = 1;
      break;
    case ui::key::F3:
      entry = 2;
      break;
    case ui::key::F4:
      entry = 3;
      break;
    case ui::key::F11:
      entry = 4;
      break;
    case ui::key::F12:
      entry = 5;
      break;
    default:
      return false;
  }
  // The text goes straight into the focused field; the clipboard stays as the member had it.
  browser->InsertText(ExpandPlaceholders(Teikei[entry].body, prog_.platform.clock.Local()));
  return true;
}

void TMain::F1Click(int tag) {
  if (tag < 0 || tag > 5) return;
  const std::string editor = text::LocalPath("AddIn\\006Quillet\\Quillet.exe");
  if (!text::Exists(editor)) {
    prog_.platform.dialogs.MessageBox("定型文エディタが存在しない為、編集する事はできません。"_sj,
                                      "確認"_sj);
    return;
  }
  prog_.platform.shell.Open(editor, std::to_string(tag));
}

void TMain::CheckTeikeiMarker() {
  if (!text::Exists(text::kTeikeiMarker)) return;
  actions().Find("DoLoadTeikei")->Execute();
  text::Remove(text::kTeikeiMarker);
}

}  // namespace mirabo
