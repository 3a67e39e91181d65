// The login manager and the login itself.
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/member/form_page.h"
#include "browser/member/saved_id.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

TLogin::TLogin(Program& p)
    : ui::Form(p.app, "Login"), Timer1(p.platform.scheduler, "Timer1", 1000, false), prog_(p) {
  SetCaption("ログインマネージャ"_sj);
  SetBorderStyle(ui::BorderStyle::Dialog);
  SetStayOnTop(true);
  SetPosition(ui::FormPosition::ScreenCenter);
  SetClientSize(332, 61);
  SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});

  ui::Font label_font{"ＭＳ Ｐゴシック"_sj, -12, true, ui::Color::FromWin(4020094)};
  Label4 = Add<ui::Label>("Label4");
  Label4->SetCaption("ＩＤ"_sj);
  Label4->SetFont(label_font);
  Label4->SetBounds({8, 10, 24, 12});
  UserID = Add<ui::Edit>("UserID");
  UserID->SetHint("ＨｏｂｎｅｓｔＩＤ入力"_sj);
  UserID->SetShowHint(true);
  UserID->SetBounds({72, 6, 161, 20});
  Label1 = Add<ui::Label>("Label1");
  Label1->SetCaption("パスワード"_sj);
  Label1->SetFont(label_font);
  Label1->SetBounds({8, 38, 60, 12});
  PassWord = Add<ui::Edit>("PassWord");
  PassWord->SetHint("Ｈｏｂｎｅｓｔパスワード入力"_sj);
  PassWord->SetShowHint(true);
  PassWord->SetPasswordChar('*');
  PassWord->SetBounds({72, 34, 161, 20});
  Button1 = Add<ui::Button>("Button1");
  Button1->SetCaption("ログイン"_sj);
  Button1->SetDefault(true);
  Button1->SetBounds({240, 6, 85, 48});
  Button1->OnClick = [this] { Button1Click(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
}

void TLogin::FormShow() { prog_.Main->ShowLogMng->SetEnabled(false); }

void TLogin::FormClose() { prog_.Main->ShowLogMng->SetEnabled(true); }

void TLogin::Button1Click() {
  TMain& main = *prog_.Main;
  const std::string id = UserID->text();
  const std::string password = PassWord->text();

  // 1. Save the ID. The login goes ahead whether or not the file could be written.
  if (!WriteSavedId(id, password))
    main.SB->SetPanelText(0, "ＩＤとパスワードを保存できませんでした（your.id）。"_sj);

  // 2. The fresh-page write of the login page into the site tab.
  platform::WebBrowser* site = main.BrowserSlots[TMain::kSiteSlot];
  const std::string action = text::Hosts::Url(prog_.hosts.site, "/member/login/login_login_e.jsp");
  if (site) {
    site->Navigate("about:blank");
    prog_.platform.clock.Sleep(100);
    WriteFormPage(*site, LoginPage(action, id, password), action);
  }
  // 3. The home tab goes to the member's own homepage.
  if (platform::WebBrowser* home = main.BrowserSlots[TMain::kHomeSlot])
    home->Navigate(main.MemberHomepage());
  // 4. The last step of the fresh-page write.
  if (site) site->Refresh();
  // 5. Every further tab shows its logged-in view.
  for (int i = TMain::kHomeSlot + 1; i < TMain::kPageLimit && main.BrowserSlots[i]; ++i)
    main.BrowserSlots[i]->Refresh();
  // 6. The member functions.
  main.N13->SetEnabled(true);
  main.N14->SetEnabled(true);
  main.SleepTimer.SetEnabled(true);
  // 7.
  Close();
}

}  // namespace mirabo
