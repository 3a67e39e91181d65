#include "ui/control.h"

#include <algorithm>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/layout.h"

namespace ui {

Control::Control(Control* parent, Kind kind, std::string name)
    : parent_(parent), kind_(kind), name_(std::move(name)) {
  if (parent_) font_ = parent_->font_;
}

Control::~Control() {
  // Children go first, while this control's peer still holds their widgets.
  while (!children_.empty()) children_.pop_back();
  peer_.reset();
}

Form* Control::form() {
  Control* c = this;
  while (c && c->kind_ != Kind::Form) c = c->parent_;
  return static_cast<Form*>(c);
}

Application* Control::app() {
  Form* f = form();
  return f ? &f->application() : nullptr;
}

void Control::Adopt(std::unique_ptr<Control> child) {
  Control* raw = child.get();
  children_.push_back(std::move(child));
  if (peer_) {
    raw->AttachPeers();
    peer_->Update(Prop::Style);  // a child was added
  }
  ChildLayoutChanged();
}

void Control::DestroyChild(Control* child) {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const auto& p) { return p.get() == child; });
  if (it == children_.end()) return;
  ChildRemoving(child);
  std::unique_ptr<Control> doomed = std::move(*it);
  children_.erase(it);
  doomed.reset();
  ChildLayoutChanged();
}

Control* Control::Find(const std::string& name) {
  if (name_ == name) return this;
  for (auto& c : children_)
    if (Control* f = c->Find(name)) return f;
  return nullptr;
}

void Control::Changed(Prop what) {
  if (peer_) peer_->Update(what);
}

void Control::SetCaption(const std::string& s) {
  if (caption_ == s) return;
  caption_ = s;
  Changed(Prop::Caption);
}

void Control::SetHint(const std::string& s) {
  hint_ = s;
  Changed(Prop::Hint);
}

void Control::SetShowHint(bool on) {
  show_hint_ = on;
  Changed(Prop::Hint);
}

void Control::SetBounds(const Rect& r) {
  if (bounds_ == r) return;
  bool resized = r.width != bounds_.width || r.height != bounds_.height;
  bounds_ = r;
  Changed(Prop::Bounds);
  if (!realigning_ && parent_ && align_ != Align::None) parent_->ChildLayoutChanged();
  if (resized) {
    Realign();
    if (OnResize) OnResize();
  }
}

void Control::SetAlign(Align a) {
  if (align_ == a) return;
  align_ = a;
  if (parent_) parent_->ChildLayoutChanged();
}

void Control::SetVisible(bool on) {
  if (visible_ == on) return;
  visible_ = on;
  Changed(Prop::Visible);
  if (parent_ && align_ != Align::None) parent_->ChildLayoutChanged();
}

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Control::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  Changed(Prop::Enabled);
}

void Control::SetColor(const Color& c) {
  color_ = c;
  Changed(Prop::Color);
}

void Control::SetFont(const Font& f) {
  font_ = f;
  Changed(Prop::Font);
}

void Control::SetCursor(Cursor c) {
  cursor_ = c;
  Changed(Prop::Cursor);
}

void Control::ChildLayoutChanged() { Realign(); }

void Control::Realign() {
  if (realigning_ || children_.empty()) return;
  realigning_ = true;
  std::vector<LayoutItem> items;
  items.reserve(children_.size());
  for (auto& c : children_) items.push_back({c->align_, c->bounds_, c->visible_});
  std::vector<Rect> placed = AlignLayout(ClientRect(), items);
  for (std::size_t i = 0; i < children_.size(); ++i) {
    Control& c = *children_[i];
    if (c.align_ == Align::None || !c.visible_) continue;
    Rect old = c.bounds_;
    if (!(old == placed[i])) {
      c.bounds_ = placed[i];
      c.Changed(Prop::Bounds);
    }
    if (old.width != placed[i].width || old.height != placed[i].height) {
      c.Realign();
      if (c.OnResize) c.OnResize();
    }
  }
  realigning_ = false;
}

void Control::AttachPeers() {
  Application* a = app();
  if (!a || !a->renderer()) return;
  if (!peer_) peer_ = a->renderer()->CreatePeer(*this);
  for (auto& c : children_) c->AttachPeers();
}

void Control::DetachPeers() {
  for (auto& c : children_) c->DetachPeers();
  peer_.reset();
}

void Control::Click() {
  if (enabled_ && OnClick) OnClick();
}

Rect GroupBox::ClientRect() const {
  // The frame and its caption take a border round the children, as the original group box did.
  return {2, 15, std::max(width() - 4, 0), std::max(height() - 17, 0)};
}

void Button::SetDefault(bool on) {
  default_ = on;
  Changed(Prop::Default);
}

void CheckBox::SetChecked(bool on) {
  if (checked_ == on) return;
  checked_ = on;
  Changed(Prop::Checked);
  if (OnClick) OnClick();
}

void CheckBox::Click() {
  if (enabled()) SetChecked(!checked_);
}

void Label::SetAlignment(TextAlign a) {
  if (alignment_ == a) return;
  alignment_ = a;
  Changed(Prop::Style);
}

void Edit::SetText(const std::string& s) {
  std::string t = s;
  if (max_length_ > 0 && static_cast<int>(t.size()) > max_length_) {
    // Cut at a character boundary: a Shift-JIS lead byte never stays without its second byte.
    std::size_t end = 0;
    while (end < t.size()) {
      unsigned char c = static_cast<unsigned char>(t[end]);
      std::size_t len = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
      if (end + len > static_cast<std::size_t>(max_length_)) break;
      end += len;
    }
    t.resize(end);
  }
  if (t == caption()) return;
  SetCaption(t);
  if (OnChange) OnChange();
}

void Edit::SetPasswordChar(char c) {
  password_char_ = c;
  Changed(Prop::PasswordChar);
}

void Edit::SetMaxLength(int n) {
  max_length_ = n;
  Changed(Prop::MaxLength);
}

void Edit::SetReadOnly(bool on) {
  read_only_ = on;
  Changed(Prop::ReadOnly);
}

void Image::SetPicture(const std::string& path) {
  picture_ = path;
  Changed(Prop::Items);
}

void Edit::SetBorder(bool on) {
  border_ = on;
  Changed(Prop::Style);
}

void ListBox::AddItem(const std::string& s) {
  items_.push_back(s);
  Changed(Prop::Items);
}

void ListBox::SetItem(int i, const std::string& s) {
  if (i < 0 || i >= count() || items_[i] == s) return;
  items_[i] = s;
  Changed(Prop::Items);
}

void ListBox::Clear() {
  items_.clear();
  item_index_ = -1;
  Changed(Prop::Items);
}

void ListBox::SetItemIndex(int i) {
  if (i < 0 || i >= count()) i = -1;
  if (i == item_index_) return;
  item_index_ = i;
  Changed(Prop::ItemIndex);
}

std::string ListBox::SelectedText() const {
  return item_index_ < 0 ? std::string() : items_[item_index_];
}

void ListBox::SetItemHeight(int h) {
  item_height_ = h;
  Changed(Prop::Items);
}

void ListBox::UserSelect(int i) {
  if (!enabled()) return;
  SetItemIndex(i);
  Click();
}

void Gauge::SetRange(int min_value, int max_value) {
  min_ = min_value;
  max_ = std::max(min_value, max_value);
  progress_ = std::clamp(progress_, min_, max_);
  Changed(Prop::Progress);
}

void Gauge::SetProgress(int v) {
  v = std::clamp(v, min_, max_);
  if (v == progress_) return;
  progress_ = v;
  Changed(Prop::Progress);
}

int Gauge::PercentDone() const {
  if (max_ == min_) return 0;
  return static_cast<int>((static_cast<long long>(progress_ - min_) * 100) / (max_ - min_));
}

void Gauge::SetForeColor(const Color& c) {
  fore_ = c;
  Changed(Prop::Color);
}

void StatusBar::SetPanelCount(int n) {
  panels_.resize(n);
  Changed(Prop::Panels);
}

void StatusBar::SetPanelText(int i, const std::string& s) {
  if (i < 0 || i >= static_cast<int>(panels_.size()) || panels_[i].text == s) return;
  panels_[i].text = s;
  Changed(Prop::Panels);
}

void StatusBar::SetPanelWidth(int i, int w) {
  if (i < 0 || i >= static_cast<int>(panels_.size())) return;
  panels_[i].width = w;
  Changed(Prop::Panels);
}

int PageControl::PageCount() const {
  int n = 0;
  for (auto& c : children())
    if (c->kind() == Kind::TabSheet) ++n;
  return n;
}

TabSheet* PageControl::Page(int i) const {
  int n = 0;
  for (auto& c : children())
    if (c->kind() == Kind::TabSheet && n++ == i) return static_cast<TabSheet*>(c.get());
  return nullptr;
}

int PageControl::IndexOf(const TabSheet* sheet) const {
  int n = 0;
  for (auto& c : children()) {
    if (c->kind() != Kind::TabSheet) continue;
    if (c.get() == sheet) return n;
    ++n;
  }
  return -1;
}

void PageControl::SetActivePage(TabSheet* sheet) {
  if (active_ == sheet) return;
  active_ = sheet;
  Changed(Prop::ActivePage);
}

void PageControl::UserSelect(TabSheet* sheet) {
  if (IndexOf(sheet) < 0) return;
  SetActivePage(sheet);
  if (OnChange) OnChange();
}

void PageControl::SelectNextPage(bool forward) {
  int i = IndexOf(active_);
  int next = forward ? i + 1 : i - 1;
  if (i < 0 || next < 0 || next >= PageCount()) return;
  UserSelect(Page(next));
}

Rect PageControl::ClientRect() const {
  // The sheets sit under the row of tabs.
  return {0, 24, width(), std::max(height() - 24, 0)};
}

void PageControl::ChildRemoving(Control* child) {
  if (active_ != child) return;
  // As the original page control did, the page after the removed one becomes active, wrapping
  // round to the first.
  int i = IndexOf(active_);
  TabSheet* next = Page(i + 1);
  if (!next) next = Page(0);
  if (next == active_) next = nullptr;
  active_ = next;
  Changed(Prop::ActivePage);
}

TabSheet::TabSheet(Control* parent, std::string name)
    : Control(parent, Kind::TabSheet, std::move(name)) {
  SetAlign(Align::Client);
}

PageControl* TabSheet::page_control() const { return dynamic_cast<PageControl*>(parent()); }

}  // namespace ui
