#include "ui/action.h"

namespace ui {

Action* ActionList::Add(std::string name, ShortCut shortcut) {
  actions_.push_back(std::make_unique<Action>(std::move(name), shortcut));
  return actions_.back().get();
}

Action* ActionList::Find(const std::string& name) const {
  for (auto& a : actions_)
    if (a->name() == name) return a.get();
  return nullptr;
}

bool ActionList::HandleShortCut(const KeyMessage& key) {
  ShortCut pressed{key.key, key.ctrl, key.alt, key.shift};
  for (auto& a : actions_) {
    if (a->shortcut().key != 0 && a->shortcut() == pressed) {
      a->Execute();
      return true;
    }
  }
  return false;
}

}  // namespace ui
