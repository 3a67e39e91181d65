#include "browser/program.h"

#include "browser/AboutForm.h"
#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "browser/VisitForm.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

Program::Program(platform::Platform p, text::Hosts h)
    : platform(p), hosts(std::move(h)), app(p.scheduler, p.renderer) {
  app.title = "Mirabo";
  app.help_file = "Mirabo公式ガイドブック.hlp"_sj;
  Main = std::make_unique<TMain>(*this);
  app.SetMainForm(Main.get());
  AboutBox = std::make_unique<TAboutBox>(*this);
  Login = std::make_unique<TLogin>(*this);
  Visit = std::make_unique<TVisit>(*this);
  OnlStat = std::make_unique<TOnlStat>(*this);
  PowerOff = std::make_unique<TPowerOff>(*this);
}

Program::~Program() {
  // The main window's timers and browsers go before the forms they reach.
  PowerOff.reset();
  OnlStat.reset();
  Visit.reset();
  Main.reset();
  Login.reset();
  AboutBox.reset();
}

void Program::Run() { app.Run(); }

// The two forms whose features come later are plain windows with their captions.
static void PlainDialog(ui::Form& f, const std::string& caption, int w, int h) {
  f.SetCaption(caption);
  f.SetBorderStyle(ui::BorderStyle::Dialog);
  f.SetStayOnTop(true);
  f.SetPosition(ui::FormPosition::DesktopCenter);
  f.SetClientSize(w, h);
  f.SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});
}

TAboutBox::TAboutBox(Program& p) : ui::Form(p.app, "AboutBox") {
  PlainDialog(*this, "バージョン情報"_sj, 339, 147);
  SetPosition(ui::FormPosition::ScreenCenter);
}

TVisit::TVisit(Program& p) : ui::Form(p.app, "Visit") {
  PlainDialog(*this, "訪問リスト編集"_sj, 388, 291);
}

}  // namespace mirabo
