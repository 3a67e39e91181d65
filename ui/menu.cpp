#include "ui/menu.h"

#include <algorithm>

namespace ui {

MenuItem::MenuItem(MenuItem* parent, std::string name, std::string caption)
    : parent_(parent),
      name_(std::move(name)),
      caption_(std::move(caption)),
      state_(std::make_shared<State>()) {
  state_->members.push_back(this);
}

MenuItem::~MenuItem() {
  items_.clear();
  peer_.reset();
  auto& m = state_->members;
  m.erase(std::remove(m.begin(), m.end(), this), m.end());
}

MenuItem* MenuItem::Add(std::string name, std::string caption) {
  items_.push_back(std::make_unique<MenuItem>(this, std::move(name), std::move(caption)));
  NotifyChildren();
  return items_.back().get();
}

MenuItem* MenuItem::AddSeparator(std::string name) { return Add(std::move(name), "-"); }

void MenuItem::Remove(MenuItem* item) {
  auto it =
      std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == item; });
  if (it == items_.end()) return;
  items_.erase(it);
  NotifyChildren();
}

MenuItem* MenuItem::Find(const std::string& name) {
  if (name_ == name && !name.empty()) return this;
  for (auto& i : items_)
    if (MenuItem* f = i->Find(name)) return f;
  return nullptr;
}

void MenuItem::SetCaption(const std::string& s) {
  caption_ = s;
  if (peer_) peer_->Update();
}

void MenuItem::SetVisible(bool on) {
  visible_ = on;
  if (peer_) peer_->Update();
}

void MenuItem::SetChecked(bool on) {
  if (state_->checked == on) return;
  state_->checked = on;
  NotifyState();
}

void MenuItem::SetEnabled(bool on) {
  if (state_->enabled == on) return;
  state_->enabled = on;
  NotifyState();
}

void MenuItem::Click() {
  if (!state_->enabled) return;
  // Keep the state alive: a handler may rebuild the menu that holds this item.
  auto state = state_;
  if (state->on_click) state->on_click(*this);
}

void MenuItem::Twin(MenuItem& twin) {
  auto& m = twin.state_->members;
  m.erase(std::remove(m.begin(), m.end(), &twin), m.end());
  twin.state_ = state_;
  state_->members.push_back(&twin);
  twin.NotifyState();
}

MenuItem* MenuItem::twin() const {
  for (MenuItem* m : state_->members)
    if (m != this) return m;
  return nullptr;
}

void MenuItem::NotifyState() {
  for (MenuItem* m : state_->members)
    if (m->peer_) m->peer_->Update();
}

void MenuItem::NotifyChildren() {
  if (peer_) peer_->ChildrenChanged();
}

}  // namespace ui
