// Main and popup menus: trees of menu items. An item and its twin (the popup copy named with
// "2" or "_2") share one state: the same handler, check mark and enabled state.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class MenuItem;

class MenuPeer {
 public:
  virtual ~MenuPeer() = default;
  virtual void Update() = 0;           // caption, check mark, enabled, visible
  virtual void ChildrenChanged() = 0;  // items added or removed below
};

class MenuItem {
 public:
  MenuItem(MenuItem* parent, std::string name, std::string caption);
  ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::string& name() const { return name_; }
  MenuItem* parent() const { return parent_; }
  const std::vector<std::unique_ptr<MenuItem>>& items() const { return items_; }
  MenuItem* Add(std::string name, std::string caption);
  // A separator line ("-").
  MenuItem* AddSeparator(std::string name = {});
  void Remove(MenuItem* item);
  MenuItem* Find(const std::string& name);
  bool is_separator() const { return caption_ == "-"; }

  const std::string& caption() const { return caption_; }
  void SetCaption(const std::string& s);
  bool visible() const { return visible_; }
  void SetVisible(bool on);
  bool checked() const { return state_->checked; }
  void SetChecked(bool on);
  bool enabled() const { return state_->enabled; }
  void SetEnabled(bool on);
  bool radio() const { return radio_; }
  void SetRadio(bool on) { radio_ = on; }
  int tag() const { return tag_; }
  void SetTag(int v) { tag_ = v; }

  // The handler, shared with the twin.
  void SetOnClick(std::function<void(MenuItem&)> handler) { state_->on_click = std::move(handler); }
  // What choosing the item does: runs the handler when the item is enabled.
  void Click();

  // Makes `twin` share this item's state from now on (its own is dropped).
  void Twin(MenuItem& twin);
  MenuItem* twin() const;

  MenuPeer* peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<MenuPeer> p) { peer_ = std::move(p); }

 private:
  struct State {
    bool checked = false;
    bool enabled = true;
    std::function<void(MenuItem&)> on_click;
    std::vector<MenuItem*> members;
  };
  void NotifyState();
  void NotifyChildren();

  MenuItem* parent_;
  std::string name_, caption_;
  std::vector<std::unique_ptr<MenuItem>> items_;
  std::shared_ptr<State> state_;
  bool visible_ = true;
  bool radio_ = false;
  int tag_ = 0;
  std::unique_ptr<MenuPeer> peer_;
};

// A menu bar (main menu) or a popup menu: the root's items are its top-level items.
class Menu {
 public:
  explicit Menu(std::string name) : root_(nullptr, std::move(name), {}) {}
  MenuItem& root() { return root_; }
  MenuItem* Add(std::string name, std::string caption) {
    return root_.Add(std::move(name), std::move(caption));
  }
  MenuItem* Find(const std::string& name) { return root_.Find(name); }

 private:
  MenuItem root_;
};

}  // namespace ui
