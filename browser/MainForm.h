// The main window TMain: its control tree, its timers and the handlers of the browser shell.
// The handlers live beside their subsystems: shell/ (start-up, tab set, browser events, page
// watcher), member/ (login, generated pages) and presence/ (online status, sleep detection,
// shut-down).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/document.h"
#include "platform/services.h"
#include "platform/web_browser.h"
#include "text/teikei.h"
#include "ui/control.h"
#include "ui/form.h"
#include "ui/timer.h"

namespace mirabo {

class Program;
class Skin;  // the skin object; there is none until a skin is loaded

// The caption an address gives a program tab that has none yet; empty when it says nothing.
std::string CaptionFromAddress(const std::string& address);

class TMain : public ui::Form {
 public:
  static constexpr int kPageLimit = 32;
  static constexpr int kSiteSlot = 0;
  static constexpr int kHomeSlot = 1;

  explicit TMain(Program& program);  // builds the window and runs FormCreate
  ~TMain() override;

  Program& program() { return prog_; }

  // --- controls (the form's own names) ---
  ui::Panel* MainArea;
  ui::Panel* Panel1;
  ui::Panel* BasePanel;
  ui::GroupBox* TabPanel;
  ui::Button* PageAdd;
  ui::Button* PageClose;
  ui::CheckBox* cbTabLock;
  ui::GroupBox* LoginPanel;
  ui::Button* ShowLogMng;
  ui::GroupBox* NaviPanel;
  ui::Button* NaviBack;
  ui::Button* NaviNext;
  ui::GroupBox* TeikeiPanel;
  std::array<ui::Button*, 6> TeikeiButtons;  // F1 .. F6
  ui::Panel* SizeCtrlPanel;
  ui::Button* Button1;
  ui::Panel* ExPanel;
  ui::Panel* AddInPanel;
  ui::StatusBar* SB;
  ui::PageControl* ScreenTab;
  ui::TabSheet* TabSheetHobnest;
  ui::TabSheet* TabSheetMyHome;
  platform::WebBrowser* WB2;
  platform::WebBrowser* WB3;

  // --- menus ---
  ui::Menu* MainMenu1;
  ui::Menu* PopupMenu1;
  ui::MenuItem* Exit1;
  ui::MenuItem* Exit2;
  ui::MenuItem* Skin1;
  ui::MenuItem* Windows1;                // "Windowsを終了する", main menu
  ui::MenuItem* Windows2;                // its popup twin
  ui::MenuItem* N13;                     // online status, main menu
  ui::MenuItem* N14;                     // online status, popup menu
  ui::MenuItem* N24;                     // "ステータス編集", main menu
  ui::MenuItem* N15;                     // its popup twin
  std::array<ui::MenuItem*, 5> NST{};    // NST01 .. NST05: the five statuses, main menu
  std::array<ui::MenuItem*, 5> NST_2{};  // NST01_2 .. NST05_2: their popup twins
  // The view and settings menus; each has its popup twin, named with a trailing 2.
  ui::MenuItem* opBasePanel;
  ui::MenuItem* opLoginPanel;
  ui::MenuItem* opNaviPanel;
  ui::MenuItem* opTeikeiPanel;
  ui::MenuItem* opTabPanel;
  ui::MenuItem* opAddIn;
  ui::MenuItem* opPWrm;
  ui::MenuItem* opSKINrm;

  // --- timers ---
  std::unique_ptr<ui::Timer> InitTimer;  // destroyed after its one tick
  ui::Timer IdleTimer;
  ui::Timer versionCheckTimer;
  ui::Timer IconActionTimer;
  ui::Timer WalkTimer;
  ui::Timer StatTimer;
  ui::Timer SleepTimer;

  // --- the tab set ---
  std::array<platform::WebBrowser*, kPageLimit> BrowserSlots{};
  platform::WebBrowser* RetiredBrowser = nullptr;
  bool StatusActive = false;  // the status writer's fields, kept on its browser by RemoveTab
  int StatusSlot = -1;
  bool WalkRunning = false;  // the walkthrough's fields, likewise
  bool WalkCollecting = false;
  int WalkSlot = -1;

  // --- template texts ---
  text::TeikeiEntries Teikei;
  void DoLoadTeikeiExecute();
  // The application-wide key hook: true when the key was handled (it then goes no further).
  bool HandleAppMessage(const ui::KeyMessage& key);
  void F1Click(int tag);     // the template buttons F1 to F6
  void CheckTeikeiMarker();  // run on every page-watcher tick

  // --- the add-in strip ---
  struct AddInEntry {
    std::string Path;   // what the shell opens
    std::string Param;  // its parameters
  };
  std::vector<AddInEntry> AddInEntries;  // index = the button's tag
  std::vector<ui::Panel*> AddInButtons;
  void DoLoadAddInExecute();
  void AddInClick(int k);
  void opAddInClick();
  void AddInAutoHide();  // run on every page-watcher tick

  // --- skins ---
  Skin* CurrentSkin = nullptr;
  int SkinIndex = -1;

  // --- the status writer ---
  int StatusIndex = 0;     // which of the five texts is posted
  std::string AvatarCode;  // as it is sent, "11" appended; empty until an answer gave it

  // --- the sleep watch ---
  platform::Point LastCursorPos{9999, 9999};
  int NoMouseMinutes = 0;

  // --- start-up and shut-down ---
  void InitTimerTimer();
  void FormClose();
  void ExitClick();

  // --- tab set ---
  int FindBlankWB();
  int SlotOfBrowser(const platform::WebBrowser* browser) const;
  int SlotOfSheet(const ui::TabSheet* sheet) const;
  // caller: the handler name for the allocation messages; browser_failure: the caller's own
  // message when the browser cannot be created (empty: none), with its caption.
  int OpenTab(const std::string& first_address, bool activate, const std::string& caller,
              const std::string& browser_failure = {}, const std::string& failure_caption = {});
  void RemoveTab(int slot);
  void DoNewTabExecute();
  void DoDeleteTabExecute();
  void BeforeDoDeleteExecute();
  void DoTabLockCheckExecute();
  void ScreenTabChange();
  void UpdatePageClose();  // the close button's derived state
  bool TabLocked() const { return cbTabLock->checked(); }
  platform::WebBrowser* ActiveBrowser();  // the browser of the active tab, or null
  std::string MemberHomepage() const;     // the own homepage address
  std::string HomepageOf(const std::string& id) const;

  // --- browser events ---
  void WBBeforeNavigate2(platform::WebBrowser& sender, const std::string& url, bool& cancel);
  void WBNewWindow2(platform::WebBrowser& sender, platform::WebBrowser*& new_window, bool& cancel);
  void WBNewWindow2b(platform::WebBrowser& sender, platform::WebBrowser*& new_window, bool& cancel);
  void WBTitleChange(platform::WebBrowser& sender, const std::string& title);
  void WBProgressChange(platform::WebBrowser& sender, int progress, int progress_max);
  void WBDocumentComplete(platform::WebBrowser& sender, platform::Document* document,
                          const std::string& url);
  void GoBackClick();
  void GoNextClick();

  // --- page watcher ---
  void IdleTimerTimer();
  void ScanFrames(platform::Document* document);

  // --- login panel ---
  void ShowLogMngClick();

  // --- settings file and panel layout ---
  void DoSaveConfigExecute();
  void DoLoadConfigExecute();
  void opBasePanelClick();
  void opLoginPanelClick() { FlipPanel(*opLoginPanel, *LoginPanel); }
  void opNaviPanelClick() { FlipPanel(*opNaviPanel, *NaviPanel); }
  void opTeikeiPanelClick() { FlipPanel(*opTeikeiPanel, *TeikeiPanel); }
  void opTabPanelClick() { FlipPanel(*opTabPanel, *TabPanel); }
  void opPWrmClick() { opPWrm->SetChecked(!opPWrm->checked()); }
  void opSKINrmClick() { opSKINrm->SetChecked(!opSKINrm->checked()); }
  void DoFullScreenExecute();
  void SBResize();

  // --- online status (presence/) ---
  void N24Click();  // shows the settings dialog
  // NST01Click .. NST05Click: the status menu items, index 0 .. 4.
  void NSTClick(int index);
  void StatusWriteBegin(int index);
  void StatTimerTimer();
  void ReadAvatarCode(platform::Document* document);
  // The status tab's browser while status writing is on and the tab is still there; null
  // otherwise. A browser that replaced it in place (a new window of its page) is it.
  platform::WebBrowser* StatusBrowser() const;

  // --- sleep detection and shut-down (presence/) ---
  void CursorWatch();  // the page watcher's look at the mouse
  void SleepTimerTimer();
  void Windows1Click();
  void DoShutDownExecute();

 private:
  void BuildControls();
  void BuildMenus();
  void BuildActions();
  void FormCreate();
  // Which handlers a browser carries: the two designed browsers have a few; a tab from OpenTab
  // opens new windows in place; every other browser opens them as new tabs.
  enum class HandlerSet { SiteDesign, HomeDesign, OpenTab, Full };
  // Creates a browser on the sheet with the handlers of `set`; null when it cannot be made.
  platform::WebBrowser* CreateBrowser(ui::TabSheet* sheet, HandlerSet set,
                                      platform::WebBrowser* related_to = nullptr);
  void Bind(platform::WebBrowser* browser, HandlerSet set);
  ui::TabSheet* NewSheet();
  ui::TabSheet* SheetOf(const platform::WebBrowser* browser) const;
  void RemoveSlot(int slot);  // RemoveTab's table steps
  void DestroyTab(int slot_gone, platform::WebBrowser* browser);
  bool IsStatusBrowser(const platform::WebBrowser* browser) const;
  void BringToFront(ui::TabSheet* sheet, const platform::WebBrowser& sender);
  // The message for a browser that could not be created, captioned with the handler's name.
  void NoBrowserMemory(const char* handler);
  void CheckBrowsers();
  void FlipPanel(ui::MenuItem& item, ui::Control& panel);
  void ShowBasePanel(bool shown);
  bool ReplaceFixedBrowser(int slot);

  Program& prog_;
  int browser_serial_ = 0;
  // The status tab itself was taken out while status writing was on: StatusSlot no longer
  // designates it (whatever tab moved into that slot is another one).
  bool status_tab_gone_ = false;
};

}  // namespace mirabo
