// The application object: its title, its forms, the renderer, the key hook and the loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/scheduler.h"
#include "ui/types.h"

namespace ui {

class Control;
class Form;
class MenuItem;
class ControlPeer;
class MenuPeer;
class Menu;

// The real backend's side of the model: makes a peer for each control and menu item.
class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual std::unique_ptr<ControlPeer> CreatePeer(Control& control) = 0;
  virtual std::unique_ptr<MenuPeer> CreateMenuPeer(MenuItem& item) = 0;
  // Shows a form's popup menu at the pointer.
  virtual void Popup(Menu& menu) = 0;
};

class Application {
 public:
  explicit Application(Scheduler& scheduler, Renderer* renderer = nullptr);
  ~Application();

  Scheduler& scheduler() { return scheduler_; }
  Renderer* renderer() const { return renderer_; }

  std::string title;
  std::string help_file;

  // The application-wide key hook: sees every key-down of the program's windows before it is
  // dispatched; returning true swallows the key.
  std::function<bool(const KeyMessage&)> OnMessage;

  // A key-down from a window: the hook first, then the form's shortcuts. True when handled (the
  // key then goes no further).
  bool DispatchKey(const KeyMessage& key);

  void SetMainForm(Form* form) { main_form_ = form; }
  Form* main_form() const { return main_form_; }

  // Shows the main form and runs the loop until Terminate.
  void Run();
  void Terminate();
  bool terminated() const { return terminated_; }

 private:
  Scheduler& scheduler_;
  Renderer* renderer_;
  Form* main_form_ = nullptr;
  bool terminated_ = false;
};

}  // namespace ui
