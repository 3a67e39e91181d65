#include "ui/application.h"

#include "ui/form.h"

namespace ui {

Application::Application(Scheduler& scheduler, Renderer* renderer)
    : scheduler_(scheduler), renderer_(renderer) {}

Application::~Application() = default;

bool Application::DispatchKey(const KeyMessage& key) {
  if (OnMessage && OnMessage(key)) return true;
  if (key.form && key.form->actions().HandleShortCut(key)) return true;
  return false;
}

void Application::Run() {
  if (main_form_) main_form_->Show();
  if (!terminated_) scheduler_.Run();
}

void Application::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  scheduler_.Quit();
}

}  // namespace ui
