// A timer: interval, enabled, tick handler. Switching it off and on starts its period anew.
#pragma once

#include <functional>
#include <string>

#include "ui/scheduler.h"

namespace ui {

class Timer {
 public:
  Timer(Scheduler& scheduler, std::string name, int interval_ms, bool enabled);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  const std::string& name() const { return name_; }
  int interval() const { return interval_; }
  void SetInterval(int ms);
  bool enabled() const { return enabled_; }
  void SetEnabled(bool on);
  std::function<void()> OnTimer;

 private:
  void Arm();
  void Disarm();
  Scheduler& scheduler_;
  std::string name_;
  int interval_;
  bool enabled_;
  int id_ = 0;
};

}  // namespace ui
