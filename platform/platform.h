// The platform a program runs on: every service it asks for, picked once by main() (the real
// backend) or by a test (the fake one).
#pragma once

#include "platform/browser_engine.h"
#include "platform/services.h"
#include "ui/application.h"
#include "ui/scheduler.h"

namespace platform {

struct Platform {
  ui::Scheduler& scheduler;
  Clock& clock;
  Dialogs& dialogs;
  BrowserFactory& browsers;
  Shell& shell;
  Pointer& pointer;
  ui::Renderer* renderer = nullptr;           // null: nothing is drawn
  SingleInstance* single_instance = nullptr;  // for programs that run once at a time
  Power* power = nullptr;                     // for programs that switch the computer off
};

}  // namespace platform
