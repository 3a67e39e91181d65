// The event loop the program runs on: repeating timers and the loop itself. The real backend
// is the GLib main loop; tests use a virtual clock.
#pragma once

#include <functional>

namespace ui {

class Scheduler {
 public:
  virtual ~Scheduler() = default;
  // Calls `tick` every `interval_ms` from the loop until the timer is removed; returns its id.
  virtual int AddTimer(int interval_ms, std::function<void()> tick) = 0;
  virtual void RemoveTimer(int id) = 0;
  // Runs the loop until Quit.
  virtual void Run() = 0;
  virtual void Quit() = 0;
};

}  // namespace ui
