// The shut-down count-down window TPowerOff: a borderless bar that fills over the shut-down
// minutes and then has the computer switched off, unless the mouse moves first (the page
// watcher closes the window then).
#pragma once

#include "ui/control.h"
#include "ui/form.h"
#include "ui/timer.h"

namespace mirabo {

class Program;

class TPowerOff : public ui::Form {
 public:
  explicit TPowerOff(Program& program);

  ui::Label* Label1;
  ui::Gauge* CGauge1;
  ui::Timer Timer1;  // 100 ms

  int CountdownTicks = 0;  // 100 ms ticks since the window was last shown

  // The count-down's length in ticks: the shut-down minutes, one minute when they are 0 or
  // less (the computer is never switched off at once).
  long long CountdownLength() const;

  void FormShow();
  void Timer1Timer();
  void FormClose();

 private:
  Program& prog_;
};

}  // namespace mirabo
