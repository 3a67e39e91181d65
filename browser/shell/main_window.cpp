// The main window: its control tree, menus and actions, its creation, the start-up tick and the
// orderly close.
#include <stdexcept>

#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/member/saved_id.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

namespace {

const ui::Color kToolBarGrey = ui::Color::Rgb(60, 60, 60);

using ui::Place;

}  // namespace

TMain::TMain(Program& p)
    : ui::Form(p.app, "Main"),
      IdleTimer(p.platform.scheduler, "IdleTimer", 60, true),
      versionCheckTimer(p.platform.scheduler, "versionCheckTimer", 6000000, true),
      IconActionTimer(p.platform.scheduler, "IconActionTimer", 5, false),
      WalkTimer(p.platform.scheduler, "WalkTimer", 2000, false),
      StatTimer(p.platform.scheduler, "StatTimer", 2000, false),
      SleepTimer(p.platform.scheduler, "SleepTimer", 60000, false),
      prog_(p) {
  BuildControls();
  BuildMenus();
  BuildActions();
  InitTimer = std::make_unique<ui::Timer>(p.platform.scheduler, "InitTimer", 20, false);
  InitTimer->OnTimer = [this] { InitTimerTimer(); };
  IdleTimer.OnTimer = [this] { IdleTimerTimer(); };
  StatTimer.OnTimer = [this] { StatTimerTimer(); };
  SleepTimer.OnTimer = [this] { SleepTimerTimer(); };
  OnClose = [this] { FormClose(); };
  FormCreate();
}

TMain::~TMain() {
  prog_.app.OnMessage = nullptr;
  // Browsers report to this form's handlers: take them down while the form is whole.
  IdleTimer.SetEnabled(false);
  for (auto*& b : BrowserSlots) b = nullptr;
  RetiredBrowser = nullptr;
  DestroyChild(MainArea);
}

void TMain::BuildControls() {
  SetCaption("Mirabo");
  SetClientSize(812, 580);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetColor(ui::Color::Rgb(255, 255, 255));
  SetKeyPreview(true);
  SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});

  MainArea = Add<ui::Panel>("MainArea");
  MainArea->SetBounds({8, 8, 796, 540});
  MainArea->SetColor(ui::Color::Rgb(254, 245, 233));

  Panel1 = MainArea->Add<ui::Panel>("Panel1");
  Panel1->SetBounds({0, 0, 796, 41});
  Panel1->SetAlign(ui::Align::Top);
  Panel1->SetColor(kToolBarGrey);
  BasePanel = Panel1->Add<ui::Panel>("BasePanel");
  BasePanel->SetBounds({0, 0, 796, 41});
  BasePanel->SetAlign(ui::Align::Top);
  BasePanel->SetColor(kToolBarGrey);

  ui::Font white = font();
  white.color = ui::Color::Rgb(255, 255, 255);
  auto group = [&](const char* name, const std::string& caption, int left, int width) {
    auto* g = Place<ui::GroupBox>(BasePanel, name, caption, {left, 0, width, 41});
    g->SetAlign(ui::Align::Left);
    g->SetColor(kToolBarGrey);
    g->SetFont(white);
    return g;
  };
  auto button = [&](ui::Control* parent, const char* name, const std::string& caption,
                    const std::string& hint, ui::Rect r) {
    auto* b = Place<ui::Button>(parent, name, caption, r);
    b->SetFont(font());
    b->SetHint(hint);
    b->SetShowHint(!hint.empty());
    return b;
  };

  TabPanel = group("TabPanel", "タブ操作"_sj, 0, 176);
  PageAdd = button(TabPanel, "PageAdd", "開く"_sj, "タブを追加（CTRL+ALT+N)"_sj, {4, 14, 52, 22});
  PageAdd->OnClick = [this] { DoNewTabExecute(); };
  PageClose =
      button(TabPanel, "PageClose", "閉じる"_sj, "タブを削除（CTRL+ALT+D)"_sj, {58, 14, 52, 22});
  PageClose->SetEnabled(false);
  PageClose->OnClick = [this] { DoDeleteTabExecute(); };
  cbTabLock = Place<ui::CheckBox>(TabPanel, "cbTabLock", "ロック"_sj, {114, 16, 58, 17});
  cbTabLock->SetFont(white);
  cbTabLock->SetHint("選択中のタブを優先表示(CTRL+ALT+L)"_sj);
  cbTabLock->SetShowHint(true);

  LoginPanel = group("LoginPanel", "", 176, 78);
  ShowLogMng = button(LoginPanel, "ShowLogMng", "ログイン"_sj, "ホブネストにログインします"_sj,
                      {4, 14, 70, 22});
  ShowLogMng->OnClick = [this] { ShowLogMngClick(); };

  NaviPanel = group("NaviPanel", "ナビ"_sj, 254, 136);
  NaviBack = button(NaviPanel, "NaviBack", "もどる"_sj, "ページを一つ戻します"_sj, {4, 14, 62, 22});
  NaviBack->OnClick = [this] { GoBackClick(); };
  NaviNext =
      button(NaviPanel, "NaviNext", "すすむ"_sj, "ページを一つ進めます"_sj, {68, 14, 62, 22});
  NaviNext->OnClick = [this] { GoNextClick(); };

  TeikeiPanel = group("TeikeiPanel", "定型文編集"_sj, 390, 250);
  const char* keys[6] = {"F1", "F2", "F3", "F4", "F11", "F12"};
  for (int i = 0; i < 6; ++i) {
    std::string name = "F" + std::to_string(i + 1);
    TeikeiButtons[i] =
        Place<ui::Button>(TeikeiPanel, name.c_str(), keys[i], {4 + i * 40, 14, 40, 22});
    TeikeiButtons[i]->SetFont(font());
    TeikeiButtons[i]->SetTag(i);
    TeikeiButtons[i]->SetHint(std::string(keys[i]) + "キーに割り当てる定型文の編集"_sj);
    TeikeiButtons[i]->SetShowHint(true);
    TeikeiButtons[i]->OnClick = [this, i] { F1Click(TeikeiButtons[i]->tag()); };
  }

  SizeCtrlPanel = Place<ui::Panel>(BasePanel, "SizeCtrlPanel", "最大化"_sj, {700, 0, 96, 41});
  SizeCtrlPanel->SetColor(kToolBarGrey);
  SizeCtrlPanel->SetAlign(ui::Align::Right);
  SizeCtrlPanel->SetVisible(false);
  Button1 = Place<ui::Button>(SizeCtrlPanel, "Button1", "終了"_sj, {4, 14, 86, 22});

  ExPanel = MainArea->Add<ui::Panel>("ExPanel");
  ExPanel->SetBounds({0, 41, 33, 470});
  ExPanel->SetAlign(ui::Align::Left);
  ExPanel->SetColor(kToolBarGrey);
  AddInPanel = ExPanel->Add<ui::Panel>("AddInPanel");
  AddInPanel->SetBounds({0, 0, 33, 470});
  AddInPanel->SetAlign(ui::Align::Client);
  AddInPanel->SetColor(kToolBarGrey);

  SB = MainArea->Add<ui::StatusBar>("SB");
  SB->SetBounds({0, 521, 796, 19});
  SB->SetAlign(ui::Align::Bottom);
  SB->SetPanelCount(2);
  SB->SetPanelWidth(0, 620);
  SB->SetPanelWidth(1, 30);
  SB->SetPanelText(1, "Document Completed.");
  SB->OnResize = [this] { SBResize(); };
  OnResize = [this] { SBResize(); };

  ScreenTab = MainArea->Add<ui::PageControl>("ScreenTab");
  ScreenTab->SetBounds({33, 41, 763, 480});
  ScreenTab->SetAlign(ui::Align::Client);
  ScreenTab->SetMultiLine(true);
  ScreenTab->OnChange = [this] { ScreenTabChange(); };

  TabSheetHobnest = ScreenTab->Add<ui::TabSheet>("TabSheetHobnest");
  TabSheetHobnest->SetCaption("ホブネスト"_sj);
  TabSheetMyHome = ScreenTab->Add<ui::TabSheet>("TabSheetMyHome");
  TabSheetMyHome->SetCaption("マイホーム"_sj);
  ScreenTab->SetActivePage(TabSheetHobnest);
  WB2 = CreateBrowser(TabSheetHobnest, HandlerSet::SiteDesign);
  WB3 = CreateBrowser(TabSheetMyHome, HandlerSet::HomeDesign);
  if (!WB2 || !WB3) throw std::runtime_error("the browser control cannot be created");
  // The design-time browsers start idle.
  WB2->SetTag(0);
  WB3->SetTag(0);
}

void TMain::BuildMenus() {
  MainMenu1 = &CreateMainMenu("MainMenu1");
  PopupMenu1 = &CreatePopupMenu("PopupMenu1");

  ui::MenuItem* file = MainMenu1->Add("File1", "ファイル"_sj);
  Windows1 = file->Add("Windows1", "Windowsを終了する"_sj);
  Windows1->SetOnClick([this](ui::MenuItem&) { Windows1Click(); });
  Exit1 = file->Add("Exit1", "Ｍｉｒａｂｏを終了する"_sj);
  Exit1->SetOnClick([this](ui::MenuItem&) { ExitClick(); });

  // The view and settings menus, built once for each menu; the popup's items are the twins.
  struct Command {
    ui::MenuItem* TMain::*field;
    const char* name;
    const char* caption;
    bool checked;
    void (TMain::*click)();
  };
  const Command view[] = {
      {&TMain::opLoginPanel, "opLoginPanel", "ログインボタン", true, &TMain::opLoginPanelClick},
      {&TMain::opNaviPanel, "opNaviPanel", "ナビパネル", true, &TMain::opNaviPanelClick},
      {&TMain::opTeikeiPanel, "opTeikeiPanel", "定型文編集パネル", true,
       &TMain::opTeikeiPanelClick},
      {&TMain::opTabPanel, "opTabPanel", "タブ操作パネル", true, &TMain::opTabPanelClick},
  };
  const Command settings[] = {
      {&TMain::opPWrm, "opPWrm", "終了時にパスワード情報を保存しない", false, &TMain::opPWrmClick},
      {&TMain::opSKINrm, "opSKINrm", "終了時にスキン情報を保存しない", false,
       &TMain::opSKINrmClick},
  };
  auto add = [this](ui::MenuItem* parent, const Command& c, bool twin) {
    ui::MenuItem* item =
        parent->Add(std::string(c.name) + (twin ? "2" : ""), text::ToSjis(c.caption));
    if (twin) {
      (this->*c.field)->Twin(*item);
    } else {
      this->*c.field = item;
      item->SetChecked(c.checked);
      auto click = c.click;
      item->SetOnClick([this, click](ui::MenuItem&) { (this->*click)(); });
    }
  };
  for (bool twin : {false, true}) {
    ui::Menu* menu = twin ? PopupMenu1 : MainMenu1;
    std::string suffix = twin ? "2" : "";
    ui::MenuItem* viewMenu = menu->Add("View" + suffix, "表示"_sj);
    ui::MenuItem* base = viewMenu->Add("Base" + suffix, "基本機能"_sj);
    add(base, {&TMain::opBasePanel, "opBasePanel", "表示しない", false, &TMain::opBasePanelClick},
        twin);
    for (const Command& c : view) add(viewMenu, c, twin);
    ui::MenuItem* addins = viewMenu->Add("AddIn" + suffix, "アドイン"_sj);
    opAddIn = twin ? opAddIn : addins->Add("opAddIn", "自動的に隠す"_sj);
    if (twin)
      opAddIn->Twin(*addins->Add("opAddIn2", "自動的に隠す"_sj));
    else
      opAddIn->SetOnClick([this](ui::MenuItem&) { opAddInClick(); });
    ui::MenuItem* settingsMenu = menu->Add("Settings" + suffix, "設定"_sj);
    for (const Command& c : settings) add(settingsMenu, c, twin);
  }

  Skin1 = MainMenu1->Add("Skin1", "スキン"_sj);

  // The online status menus; the status items get their captions from the settings.
  N13 = MainMenu1->Add("N13", "オンラインテータス"_sj);
  N13->SetEnabled(false);
  N24 = N13->Add("N24", "ステータス編集"_sj);
  N24->SetOnClick([this](ui::MenuItem&) { N24Click(); });
  N13->AddSeparator();
  for (int i = 0; i < static_cast<int>(NST.size()); ++i) {
    NST[i] = N13->Add("NST0" + std::to_string(i + 1), "");
    NST[i]->SetOnClick([this, i](ui::MenuItem&) { NSTClick(i); });
  }
  NST[4]->SetEnabled(false);  // the asleep status: only while the sleep detection chose it

  ui::MenuItem* file2 = PopupMenu1->Add("File2", "ファイル"_sj);
  Windows2 = file2->Add("Windows2", "Windowsを終了する"_sj);
  Windows1->Twin(*Windows2);
  N14 = PopupMenu1->Add("N14", "オンラインステータス"_sj);
  N14->SetEnabled(false);
  N15 = N14->Add("N15", "ステータス編集"_sj);
  N24->Twin(*N15);
  N14->AddSeparator();
  for (int i = 0; i < static_cast<int>(NST_2.size()); ++i) {
    NST_2[i] = N14->Add("NST0" + std::to_string(i + 1) + "_2", "");
    NST[i]->Twin(*NST_2[i]);
  }
  PopupMenu1->root().AddSeparator();
  Exit2 = PopupMenu1->Add("Exit2", "Miraboを終了する"_sj);
  Exit2->SetOnClick([this](ui::MenuItem&) { ExitClick(); });
}

void TMain::BuildActions() {
  actions().Add("DoNewTab", {'N', true, true, false})->OnExecute = [this] { DoNewTabExecute(); };
  actions().Add("DoDeleteTab")->OnExecute = [this] { DoDeleteTabExecute(); };
  actions().Add("BeforeDoDelete", {'D', true, true, false})->OnExecute = [this] {
    BeforeDoDeleteExecute();
  };
  actions().Add("DoTabLockCheck", {'L', true, true, false})->OnExecute = [this] {
    DoTabLockCheckExecute();
  };
  actions().Add("DoFullScreen", {'F', true, true, false})->OnExecute = [this] {
    DoFullScreenExecute();
  };
  actions().Add("DoLoadTeikei")->OnExecute = [this] { DoLoadTeikeiExecute(); };
  actions().Add("DoLoadAddIn")->OnExecute = [this] { DoLoadAddInExecute(); };
  actions().Add("DoSaveConfig")->OnExecute = [this] { DoSaveConfigExecute(); };
  actions().Add("DoLoadConfig")->OnExecute = [this] { DoLoadConfigExecute(); };
  actions().Add("DoShutDown")->OnExecute = [this] { DoShutDownExecute(); };
}

void TMain::FormCreate() {
  prog_.app.OnMessage = [this](const ui::KeyMessage& key) { return HandleAppMessage(key); };
  BrowserSlots[kSiteSlot] = WB2;
  BrowserSlots[kHomeSlot] = WB3;
  MainArea->SetBounds({0, 0, MainArea->width(), MainArea->height()});
  MainArea->SetAlign(ui::Align::Client);
  SetClientSize(720, 550);
  actions().Find("DoLoadTeikei")->Execute();
  actions().Find("DoLoadAddIn")->Execute();
  // Skins join here with their feature.
  InitTimer->SetEnabled(true);
  NoMouseMinutes = 0;
}

void TMain::InitTimerTimer() {
  // Off first: the ID box below runs a nested loop, in which a second tick must not come.
  InitTimer->SetEnabled(false);
  TLogin& login = *prog_.Login;
  if (std::optional<SavedId> saved = ReadSavedId()) {
    login.UserID->SetText(saved->id);
    login.PassWord->SetText(saved->password);
  } else {
    std::string id =
        prog_.platform.dialogs.InputBox("ホブネストＩＤの入力"_sj, "ＩＤ"_sj, std::string());
    login.UserID->SetText(id);
    WriteSavedId(id, "0");  // if it cannot be written, the ID lives until the program ends
  }
  BrowserSlots[kSiteSlot]->Navigate("about:blank");
  BrowserSlots[kHomeSlot]->Navigate(MemberHomepage());
  ScreenTab->SetActivePage(TabSheetMyHome);
  UpdatePageClose();
  actions().Find("DoLoadConfig")->Execute();
  // The version check and the visit list join here with their features.
  prog_.OnlStat->LoadSettings();
  IdleTimer.SetEnabled(true);
  InitTimer.reset();
}

void TMain::FormClose() {
  actions().Find("DoSaveConfig")->Execute();
  // The skin is released here once skins exist.
}

void TMain::ExitClick() { Close(); }

void TMain::ShowLogMngClick() { prog_.Login->Show(); }

std::string TMain::HomepageOf(const std::string& id) const {
  return text::Hosts::Url(prog_.hosts.homepage, "/@" + id);
}

std::string TMain::MemberHomepage() const { return HomepageOf(prog_.Login->UserID->text()); }

}  // namespace mirabo
