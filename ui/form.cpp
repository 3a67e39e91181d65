#include "ui/form.h"

#include "ui/application.h"

namespace ui {

Form::Form(Application& app, std::string name)
    : Control(nullptr, Kind::Form, std::move(name)), app_(app) {
  SetVisible(false);
}

Form::~Form() = default;

void Form::SetBorderStyle(BorderStyle b) {
  border_ = b;
  Changed(Prop::Style);
}

void Form::SetStayOnTop(bool on) {
  stay_on_top_ = on;
  Changed(Prop::Style);
}

void Form::SetPosition(FormPosition p) {
  position_ = p;
  Changed(Prop::Position);
}

void Form::SetMaximized(bool on) {
  if (maximized_ == on) return;
  maximized_ = on;
  Changed(Prop::WindowState);
}

void Form::SetClientSize(int w, int h) { SetBounds({left(), top(), w, h}); }

Menu& Form::CreateMainMenu(std::string name) {
  main_menu_ = std::make_unique<Menu>(std::move(name));
  return *main_menu_;
}

Menu& Form::CreatePopupMenu(std::string name) {
  popup_menu_ = std::make_unique<Menu>(std::move(name));
  return *popup_menu_;
}

void Form::Show() {
  if (!peer()) AttachPeers();
  bool was = visible();
  SetVisible(true);
  if (!was && OnShow) OnShow();
}

void Form::Hide() { SetVisible(false); }

void Form::Close() {
  if (OnClose) OnClose();
  Hide();
  if (app_.main_form() == this) app_.Terminate();
}

static Button* FindDefault(Control& c) {
  if (auto* b = dynamic_cast<Button*>(&c); b && b->is_default()) return b;
  for (auto& child : c.children())
    if (Button* b = FindDefault(*child)) return b;
  return nullptr;
}

bool Form::PressDefault() {
  Button* b = FindDefault(*this);
  if (!b || !b->enabled() || !b->Showing()) return false;
  b->Click();
  return true;
}

}  // namespace ui
