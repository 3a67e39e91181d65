#include "ui/timer.h"

namespace ui {

Timer::Timer(Scheduler& scheduler, std::string name, int interval_ms, bool enabled)
    : scheduler_(scheduler), name_(std::move(name)), interval_(interval_ms), enabled_(enabled) {
  Arm();
}

Timer::~Timer() { Disarm(); }

void Timer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Disarm();
  Arm();
}

void Timer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  Disarm();
  Arm();
}

void Timer::Arm() {
  if (!enabled_ || interval_ <= 0 || id_ != 0) return;
  id_ = scheduler_.AddTimer(interval_, [this] {
    if (!enabled_ || !OnTimer) return;
    // A tick may destroy its own timer (the start-up timer does): run a copy of the handler.
    auto tick = OnTimer;
    tick();
  });
}

void Timer::Disarm() {
  if (id_ == 0) return;
  scheduler_.RemoveTimer(id_);
  id_ = 0;
}

}  // namespace ui
