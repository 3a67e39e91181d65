// The program object: the application and the six forms, which reach each other through it.
// A test builds a fresh program on the fake platform in a fresh working folder.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "text/hosts.h"
#include "ui/application.h"

namespace mirabo {

class TMain;
class TAboutBox;
class TLogin;
class TVisit;
class TOnlStat;
class TPowerOff;

class Program {
 public:
  // Process start: the application's title and help file, then the six forms in their order.
  Program(platform::Platform platform, text::Hosts hosts);
  ~Program();

  // Shows the main window and runs the loop until it closes.
  void Run();

  platform::Platform platform;
  text::Hosts hosts;
  ui::Application app;

  std::unique_ptr<TMain> Main;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TLogin> Login;
  std::unique_ptr<TVisit> Visit;
  std::unique_ptr<TOnlStat> OnlStat;
  std::unique_ptr<TPowerOff> PowerOff;
};

}  // namespace mirabo
