// Config.txt, the tool bar's panels, full screen and the status bar's widths.
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/member/saved_id.h"
#include "browser/program.h"
#include "text/files.h"

namespace mirabo {

namespace {

constexpr const char* kConfigFile = "Config.txt";

}  // namespace

void TMain::DoSaveConfigExecute() {
  std::string out;
  auto line = [&](const char* s) { out += std::string(s) + "\r\n"; };
  line(TabLocked() ? "TAB LOCK = ON" : "TAB LOCK = OFF");
  line(opPWrm->checked() ? "PASSWORD SAVE = OFF" : "PASSWORD SAVE = ON");
  if (opBasePanel->checked()) line("BASE PANEL = OFF");
  if (!opLoginPanel->checked()) line("LOGIN PANEL = OFF");
  if (!opNaviPanel->checked()) line("NAVI PANEL = OFF");
  if (!opTeikeiPanel->checked()) line("TEIKEI PANEL = OFF");
  if (!opTabPanel->checked()) line("TAB PANEL = OFF");
  if (opAddIn->checked()) line("ADDIN PANEL = AUTO OFF");
  if (opSKINrm->checked())
    line("SKIN = OFF");
  else if (CurrentSkin && SkinIndex >= 0)
    line(("SKIN = [" + std::to_string(SkinIndex) + "]").c_str());
  // A file that cannot be written loses this run's settings; the password is dropped anyway.
  text::WriteAtomic(kConfigFile, out);
  if (opPWrm->checked()) WriteSavedId(prog_.Login->UserID->text(), "0");
}

void TMain::DoLoadConfigExecute() {
  std::optional<std::string> head = text::ReadHead(kConfigFile, 1024);
  if (!head) return;
  std::string t;
  for (char c : *head)
    if (c != ' ') t += c;
  auto find = [&](const char* key) { return t.find(key); };
  auto on_after = [&](const char* key) {
    std::size_t at = find(key);
    if (at == std::string::npos) return -1;
    return t.compare(at + std::char_traits<char>::length(key), 2, "ON") == 0 ? 1 : 0;
  };
  auto found = [&](const char* key) { return find(key) != std::string::npos; };

  if (int on = on_after("TABLOCK="); on >= 0) cbTabLock->SetChecked(on == 1);
  if (int on = on_after("PASSWORDSAVE="); on >= 0) opPWrm->SetChecked(on == 0);
  if (found("BASEPANEL=OFF")) {
    opBasePanel->SetChecked(true);
    ShowBasePanel(false);
  }
  // Panels hidden here keep their place in the row.
  struct {
    const char* key;
    ui::MenuItem* item;
    ui::Control* panel;
  } panels[] = {{"LOGINPANEL=OFF", opLoginPanel, LoginPanel},
                {"TEIKEIPANEL=OFF", opTeikeiPanel, TeikeiPanel},
                {"TABPANEL=OFF", opTabPanel, TabPanel},
                {"NAVIPANEL=OFF", opNaviPanel, NaviPanel}};
  for (auto& p : panels) {
    if (!found(p.key)) continue;
    p.item->SetChecked(false);
    p.panel->SetVisible(false);
  }
  if (found("ADDINPANEL=AUTOOFF")) opAddIn->SetChecked(true);
  if (found("SKIN=OFF")) {
    opSKINrm->SetChecked(true);
    return;
  }
  // A chosen skin is selected as the skin menu does, once skins exist; with no skin object the
  // line is ignored.
}

void TMain::FlipPanel(ui::MenuItem& item, ui::Control& panel) {
  item.SetChecked(!item.checked());
  // Moved to the far right first, so a panel shown again lands at the right end of the row.
  panel.SetLeft(2000);
  panel.SetVisible(item.checked());
}

void TMain::ShowBasePanel(bool shown) {
  BasePanel->SetVisible(shown);
  Panel1->SetHeight(shown ? 41 : 12);
}

void TMain::opBasePanelClick() {
  opBasePanel->SetChecked(!opBasePanel->checked());
  ShowBasePanel(!opBasePanel->checked());
}

void TMain::DoFullScreenExecute() {
  ui::Action* action = actions().Find("DoFullScreen");
  // A skinned window has its own maximised view; the plain window is maximised.
  SetMaximized(!action->checked);
  action->checked = !action->checked;
}

void TMain::SBResize() {
  SB->SetPanelWidth(0, MainArea->width() - 140);
  SB->SetPanelWidth(1, std::max(SB->width() - (MainArea->width() - 140), 0));
}

}  // namespace mirabo
