// The shut-down count-down window.
#include <algorithm>
#include <climits>

#include "browser/MainForm.h"
#include "browser/OnlStatForm.h"
#include "browser/PowerOffForm.h"
#include "browser/program.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

TPowerOff::TPowerOff(Program& p)
    : ui::Form(p.app, "PowerOff"), Timer1(p.platform.scheduler, "Timer1", 100, false), prog_(p) {
  SetCaption("PowerOff");
  SetBorderStyle(ui::BorderStyle::None);
  SetStayOnTop(true);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetClientSize(570, 65);
  SetColor(ui::Color::Rgb(81, 104, 132));
  SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});

  Label1 = Add<ui::Label>("Label1");
  Label1->SetCaption(
      "しばらくすると自動的にＰＣの電源がＯＦＦになります、マウスカーソルを動かすと解除されます。"_sj);
  Label1->SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, ui::Color::Rgb(255, 255, 255)});
  Label1->SetCursor(ui::Cursor::HandPoint);
  Label1->SetBounds({40, 8, 478, 12});

  CGauge1 = Add<ui::Gauge>("CGauge1");
  CGauge1->SetBounds({8, 32, 553, 25});
  CGauge1->SetForeColor(ui::Color::Rgb(251, 190, 49));
  CGauge1->SetColor(ui::Color::Rgb(228, 227, 222));

  Timer1.OnTimer = [this] { Timer1Timer(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
}

long long TPowerOff::CountdownLength() const {
  int minutes = prog_.OnlStat->ShutdownMinutes;
  return static_cast<long long>(minutes > 0 ? minutes : 1) * 600;
}

void TPowerOff::FormShow() {
  CountdownTicks = 0;
  Timer1.SetEnabled(true);
  CGauge1->SetProgress(0);
}

void TPowerOff::Timer1Timer() {
  if (CountdownTicks < INT_MAX) ++CountdownTicks;
  const long long length = CountdownLength();
  CGauge1->SetProgress(static_cast<int>(std::min<long long>(CountdownTicks * 100LL / length, 100)));
  // Once, on the tick that ends the count-down; the timer runs on without asking again.
  if (CountdownTicks == length) prog_.Main->actions().Find("DoShutDown")->Execute();
}

void TPowerOff::FormClose() { Timer1.SetEnabled(false); }

}  // namespace mirabo
