// Actions with keyboard shortcuts. Code that needs an action's work runs the action.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/types.h"

namespace ui {

class Action {
 public:
  Action(std::string name, ShortCut shortcut) : name_(std::move(name)), shortcut_(shortcut) {}
  const std::string& name() const { return name_; }
  const ShortCut& shortcut() const { return shortcut_; }
  void Execute() {
    if (OnExecute) OnExecute();
  }
  std::function<void()> OnExecute;
  bool checked = false;  // an action's own check mark (full screen keeps its state there)

 private:
  std::string name_;
  ShortCut shortcut_;
};

class ActionList {
 public:
  Action* Add(std::string name, ShortCut shortcut = {});
  Action* Find(const std::string& name) const;
  // Executes the action whose shortcut is this key; false when none has it.
  bool HandleShortCut(const KeyMessage& key);
  const std::vector<std::unique_ptr<Action>>& actions() const { return actions_; }

 private:
  std::vector<std::unique_ptr<Action>> actions_;
};

}  // namespace ui
