// The retained model of controls. Each control keeps the properties the forms use and raises
// the events the forms handle; parents own their children. A renderer (the real backend) mirrors
// the model into widgets through a peer per control; the model itself never knows how it is
// drawn, so tests run it without one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/types.h"

namespace ui {

class Application;
class Control;
class Form;

enum class Kind {
  Form,
  Panel,
  GroupBox,
  Button,
  CheckBox,
  Edit,
  Label,
  Memo,
  PageControl,
  TabSheet,
  StatusBar,
  Browser,
  Image,
  SpeedButton,
  Gauge,
  ListBox,
  Shape,
};

// What changed, so a peer updates only that.
enum class Prop {
  Caption,
  Bounds,
  Visible,
  Enabled,
  Color,
  Font,
  Hint,
  Cursor,
  Checked,
  ReadOnly,
  PasswordChar,
  MaxLength,
  Items,
  ActivePage,
  Panels,
  Position,
  Style,
  Default,
  Focus,
  WindowState,
  ItemIndex,  // the selected item of a list box
  Progress,   // a gauge's position or range
};

// The renderer's side of one control.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Update(Prop what) = 0;
};

class Control {
 public:
  Control(Control* parent, Kind kind, std::string name);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  Control* parent() const { return parent_; }
  const std::vector<std::unique_ptr<Control>>& children() const { return children_; }
  Form* form();  // the form this control sits on (itself for a form)
  Application* app();

  // Creates a child owned by this control.
  template <class T, class... Args>
  T* Add(Args&&... args) {
    auto child = std::make_unique<T>(this, std::forward<Args>(args)...);
    T* raw = child.get();
    Adopt(std::move(child));
    return raw;
  }
  // Destroys a child and everything it owns.
  void DestroyChild(Control* child);
  // Finds a descendant by name (depth first); nullptr when none.
  Control* Find(const std::string& name);
  template <class T>
  T* FindAs(const std::string& name) {
    return dynamic_cast<T*>(Find(name));
  }

  // Properties. Texts are Shift-JIS.
  const std::string& caption() const { return caption_; }
  void SetCaption(const std::string& s);
  const std::string& hint() const { return hint_; }
  void SetHint(const std::string& s);
  bool show_hint() const { return show_hint_; }
  void SetShowHint(bool on);
  int tag() const { return tag_; }
  void SetTag(int v) { tag_ = v; }

  const Rect& bounds() const { return bounds_; }
  int left() const { return bounds_.left; }
  int top() const { return bounds_.top; }
  int width() const { return bounds_.width; }
  int height() const { return bounds_.height; }
  void SetBounds(const Rect& r);
  void SetLeft(int v) { SetBounds({v, bounds_.top, bounds_.width, bounds_.height}); }
  void SetTop(int v) { SetBounds({bounds_.left, v, bounds_.width, bounds_.height}); }
  void SetWidth(int v) { SetBounds({bounds_.left, bounds_.top, v, bounds_.height}); }
  void SetHeight(int v) { SetBounds({bounds_.left, bounds_.top, bounds_.width, v}); }
  // The area children are laid out in, relative to this control.
  virtual Rect ClientRect() const { return {0, 0, bounds_.width, bounds_.height}; }

  Align align() const { return align_; }
  void SetAlign(Align a);
  bool visible() const { return visible_; }
  void SetVisible(bool on);
  // Visible and every parent visible.
  bool Showing() const;
  bool enabled() const { return enabled_; }
  void SetEnabled(bool on);
  const Color& color() const { return color_; }
  void SetColor(const Color& c);
  const Font& font() const { return font_; }
  void SetFont(const Font& f);
  Cursor cursor() const { return cursor_; }
  void SetCursor(Cursor c);

  // Lays the children out by their alignment, then their children.
  void Realign();

  // The renderer's peer; null when nothing draws this control.
  ControlPeer* peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<ControlPeer> p) { peer_ = std::move(p); }
  // Creates the peers of this control and its children through the application's renderer.
  void AttachPeers();
  // Drops the peers of this control and its children (before the widgets go away).
  void DetachPeers();

  // Events common to many controls.
  std::function<void()> OnClick;
  std::function<void()> OnResize;  // the width or the height changed
  std::function<void()> OnExit;
  // Runs OnClick when the control is enabled (what a click by the user does).
  virtual void Click();

 protected:
  void Changed(Prop what);
  // A child is about to be destroyed.
  virtual void ChildRemoving(Control*) {}

 private:
  void Adopt(std::unique_ptr<Control> child);
  void ChildLayoutChanged();

  Control* parent_;
  Kind kind_;
  std::string name_;
  std::vector<std::unique_ptr<Control>> children_;
  std::unique_ptr<ControlPeer> peer_;
  std::string caption_, hint_;
  bool show_hint_ = false;
  int tag_ = 0;
  Rect bounds_;
  Align align_ = Align::None;
  bool visible_ = true;
  bool enabled_ = true;
  Color color_;
  Font font_;
  Cursor cursor_ = Cursor::Default;
  bool realigning_ = false;
};

// Adds a child with its caption and bounds, as the forms lay out their controls.
template <class T>
T* Place(Control* parent, const char* name, const std::string& caption, Rect r) {
  T* c = parent->Add<T>(name);
  c->SetCaption(caption);
  c->SetBounds(r);
  return c;
}

class Panel : public Control {
 public:
  Panel(Control* parent, std::string name) : Control(parent, Kind::Panel, std::move(name)) {}
};

// A group box: a frame with a caption around its children.
class GroupBox : public Control {
 public:
  GroupBox(Control* parent, std::string name) : Control(parent, Kind::GroupBox, std::move(name)) {}
  Rect ClientRect() const override;
};

class Button : public Control {
 public:
  Button(Control* parent, std::string name) : Control(parent, Kind::Button, std::move(name)) {}
  // The default button of its form: Enter in the form presses it.
  bool is_default() const { return default_; }
  void SetDefault(bool on);

 private:
  bool default_ = false;
};

class CheckBox : public Control {
 public:
  CheckBox(Control* parent, std::string name) : Control(parent, Kind::CheckBox, std::move(name)) {}
  bool checked() const { return checked_; }
  // Changing the state runs OnClick, as the original check box did.
  void SetChecked(bool on);
  // A click by the user toggles the state.
  void Click() override;

 private:
  bool checked_ = false;
};

enum class TextAlign { Left, Center, Right };

class Label : public Control {
 public:
  Label(Control* parent, std::string name) : Control(parent, Kind::Label, std::move(name)) {}
  // Where the text sits across the label's width.
  TextAlign alignment() const { return alignment_; }
  void SetAlignment(TextAlign a);

 private:
  TextAlign alignment_ = TextAlign::Left;
};

// A one-line edit box. Its text is the caption.
class Edit : public Control {
 public:
  Edit(Control* parent, std::string name, Kind kind = Kind::Edit)
      : Control(parent, kind, std::move(name)) {}
  const std::string& text() const { return caption(); }
  // Sets the text as typing would: runs OnChange when it differs.
  void SetText(const std::string& s);
  char password_char() const { return password_char_; }
  void SetPasswordChar(char c);
  int max_length() const { return max_length_; }  // 0: no limit
  void SetMaxLength(int n);
  bool read_only() const { return read_only_; }
  void SetReadOnly(bool on);
  // The sunken frame round the text (on by default).
  bool border() const { return border_; }
  void SetBorder(bool on);
  std::function<void()> OnChange;

 private:
  char password_char_ = 0;
  int max_length_ = 0;
  bool read_only_ = false;
  bool border_ = true;
};

// A multi-line edit box; lines are CR LF separated in its text.
class Memo : public Edit {
 public:
  Memo(Control* parent, std::string name) : Edit(parent, std::move(name), Kind::Memo) {}
};

// A picture, stretched to its bounds with a transparent background.
class Image : public Control {
 public:
  Image(Control* parent, std::string name) : Control(parent, Kind::Image, std::move(name)) {}
  const std::string& picture() const { return picture_; }  // a file path; empty: none
  void SetPicture(const std::string& path);

 private:
  std::string picture_;
};

class StatusBar : public Control {
 public:
  struct PanelInfo {
    std::string text;
    int width = 50;
  };
  StatusBar(Control* parent, std::string name)
      : Control(parent, Kind::StatusBar, std::move(name)) {}
  const std::vector<PanelInfo>& panels() const { return panels_; }
  void SetPanelCount(int n);
  const std::string& PanelText(int i) const { return panels_.at(i).text; }
  void SetPanelText(int i, const std::string& s);
  void SetPanelWidth(int i, int w);

 private:
  std::vector<PanelInfo> panels_;
};

// A list of text items, at most one of them selected. A click by the user selects an item and
// raises OnClick.
class ListBox : public Control {
 public:
  ListBox(Control* parent, std::string name) : Control(parent, Kind::ListBox, std::move(name)) {}
  const std::vector<std::string>& items() const { return items_; }
  int count() const { return static_cast<int>(items_.size()); }
  void AddItem(const std::string& s);
  // Replaces the text of item i (nothing when there is no such item).
  void SetItem(int i, const std::string& s);
  // Removes every item; nothing is selected afterwards.
  void Clear();
  // The selected item, -1 when none.
  int item_index() const { return item_index_; }
  // Selects item i (-1 or an index out of range: none). Raises no event.
  void SetItemIndex(int i);
  // The text of the selected item; empty when none is selected.
  std::string SelectedText() const;
  int item_height() const { return item_height_; }
  void SetItemHeight(int h);
  // The user clicked item i: it becomes the selected one, then OnClick runs (when enabled).
  void UserSelect(int i);

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
  int item_height_ = 13;
};

// A horizontal bar that fills from its minimum to its maximum and shows how far it is as a
// percentage. Its colour is the background; the filled part has the fore colour.
class Gauge : public Control {
 public:
  Gauge(Control* parent, std::string name) : Control(parent, Kind::Gauge, std::move(name)) {}
  int min_value() const { return min_; }
  int max_value() const { return max_; }
  void SetRange(int min_value, int max_value);
  int progress() const { return progress_; }
  // Kept inside the range.
  void SetProgress(int v);
  // The filled share in whole percent, as the bar's text shows it.
  int PercentDone() const;
  const Color& fore_color() const { return fore_; }
  void SetForeColor(const Color& c);

 private:
  int min_ = 0, max_ = 100, progress_ = 0;
  Color fore_{0, 0, 0};
};

class TabSheet;

// A page control: its children are its tab sheets, in page order.
class PageControl : public Control {
 public:
  PageControl(Control* parent, std::string name)
      : Control(parent, Kind::PageControl, std::move(name)) {}
  int PageCount() const;
  TabSheet* Page(int i) const;
  int IndexOf(const TabSheet* sheet) const;
  TabSheet* active_page() const { return active_; }
  // Makes a sheet the active page. Programmatic changes do not raise OnChange.
  void SetActivePage(TabSheet* sheet);
  // The user picked a page: make it active, then raise OnChange.
  void UserSelect(TabSheet* sheet);
  // Activates the page before (forward = false) or after the active one, without wrapping, and
  // raises OnChange as a change by the user does.
  void SelectNextPage(bool forward);
  bool multi_line() const { return multi_line_; }
  void SetMultiLine(bool on) { multi_line_ = on; }
  std::function<void()> OnChange;
  Rect ClientRect() const override;

  void ChildRemoving(Control* child) override;

 private:
  TabSheet* active_ = nullptr;
  bool multi_line_ = false;
};

class TabSheet : public Control {
 public:
  TabSheet(Control* parent, std::string name);
  PageControl* page_control() const;
};

}  // namespace ui
