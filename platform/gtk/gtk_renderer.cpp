#include "platform/gtk/gtk_renderer.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "platform/gtk/webkit_engine.h"
#include "platform/web_browser.h"
#include "text/sjis.h"

// --- a fixed container that asks for no minimum size ------------------------------------------
//
// Every container of the model is one of these. Its children sit where the model puts them; its
// own size is what its parent gives it (the model's size, by size request), never the extent of
// its children, so a window can shrink and the model lays it out again. What it and its
// children draw stays inside its allocation, as a child window's drawing did in the original.

extern "C" {
typedef struct {
  GtkFixed parent;
  int natural_width;
  int natural_height;
} MiraboFixed;
typedef struct {
  GtkFixedClass parent_class;
} MiraboFixedClass;
}

G_DEFINE_TYPE(MiraboFixed, mirabo_fixed, GTK_TYPE_FIXED)

static void mirabo_fixed_preferred_width(GtkWidget* widget, gint* minimum, gint* natural) {
  *minimum = 0;
  *natural = reinterpret_cast<MiraboFixed*>(widget)->natural_width;
}

static void mirabo_fixed_preferred_height(GtkWidget* widget, gint* minimum, gint* natural) {
  *minimum = 0;
  *natural = reinterpret_cast<MiraboFixed*>(widget)->natural_height;
}

static void mirabo_fixed_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  GTK_WIDGET_CLASS(mirabo_fixed_parent_class)->size_allocate(widget, allocation);
  gtk_widget_set_clip(widget, allocation);
}

static void mirabo_fixed_class_init(MiraboFixedClass* klass) {
  GtkWidgetClass* wc = GTK_WIDGET_CLASS(klass);
  wc->get_preferred_width = mirabo_fixed_preferred_width;
  wc->get_preferred_height = mirabo_fixed_preferred_height;
  wc->size_allocate = mirabo_fixed_size_allocate;
  gtk_widget_class_set_accessible_role(wc, ATK_ROLE_PANEL);
}

static void mirabo_fixed_init(MiraboFixed* self) {
  self->natural_width = 0;
  self->natural_height = 0;
}

static GtkWidget* NewMiraboFixed() {
  return GTK_WIDGET(g_object_new(mirabo_fixed_get_type(), nullptr));
}

static void SetNaturalSize(GtkWidget* fixed, int w, int h) {
  auto* f = reinterpret_cast<MiraboFixed*>(fixed);
  if (f->natural_width == w && f->natural_height == h) return;
  f->natural_width = w;
  f->natural_height = h;
  gtk_widget_queue_resize(fixed);
}

namespace platform::gtk {

namespace {

using text::ToSjis;
using text::ToUtf8;

// The look shared by every widget the renderer makes (they carry the style class "mirabo"): the
// compact metrics of the original controls, so captions fit the sizes the forms give them.
const char kRendererCss[] = R"css(
button.mirabo { min-height: 0; min-width: 0; padding: 0 2px; }
checkbutton.mirabo { min-height: 0; padding: 0; }
checkbutton.mirabo check { min-height: 11px; min-width: 11px; margin: 0 3px 0 0; }
entry.mirabo { min-height: 0; padding: 0 3px; }
notebook.mirabo > header.top { padding: 0; }
notebook.mirabo > header.top > tabs { margin: 0; }
notebook.mirabo > header.top > tabs > tab { min-height: 18px; padding: 3px 8px 2px 8px; }
notebook.mirabo > header > tabs > arrow { min-height: 0; min-width: 14px; padding: 0; }
label.mirabo-panel { padding: 0 4px; border-right: 1px solid #a0a0a0; }
menubar.mirabo { padding: 0; }
menubar.mirabo > menuitem { min-height: 0; padding: 2px 6px; }
)css";

std::string Utf8(const std::string& sjis) { return ToUtf8(sjis); }

// A caption with the original's accelerator marks ("&F", "&&") as a GTK mnemonic text.
std::string MnemonicText(const std::string& sjis) {
  std::string s = ToUtf8(sjis), out;
  out.reserve(s.size() + 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') {
        out += '&';
        ++i;
      } else if (i + 1 < s.size()) {
        out += '_';
      }
    } else if (ch == '_') {
      out += "__";
    } else {
      out += ch;
    }
  }
  return out;
}

std::string CssColor(const ui::Color& c) {
  return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

int FontPixels(int height) {
  // Negative: the character height in pixels. Positive: the cell height, of which the
  // character takes about five sixths.
  if (height < 0) return -height;
  return (height * 5 + 3) / 6;
}

std::string FontCss(const ui::Font& f) {
  std::string css;
  std::string family = GtkRenderer::FontFamily(f.name);
  family.erase(std::remove_if(family.begin(), family.end(),
                              [](char c) { return c == '"' || c == '\\' || c == '\n'; }),
               family.end());
  if (!family.empty()) css += "font-family: \"" + family + "\";";
  if (f.height != 0) css += "font-size: " + std::to_string(FontPixels(f.height)) + "px;";
  css += f.bold ? "font-weight: bold;" : "font-weight: normal;";
  css += "color: " + CssColor(f.color) + ";";
  return css;
}

// One style provider per widget, replaced whenever the control's look changes.
void SetWidgetCss(GtkWidget* w, const std::string& declarations,
                  const std::string& extra_rules = std::string()) {
  const char* node = gtk_widget_class_get_css_name(GTK_WIDGET_GET_CLASS(w));
  std::string css = std::string(node ? node : "*") + " {" + declarations + "}" + extra_rules;
  GtkStyleContext* ctx = gtk_widget_get_style_context(w);
  if (auto* old = static_cast<GtkCssProvider*>(g_object_get_data(G_OBJECT(w), "mirabo-css")))
    gtk_style_context_remove_provider(ctx, GTK_STYLE_PROVIDER(old));
  GtkCssProvider* p = gtk_css_provider_new();
  gtk_css_provider_load_from_data(p, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(ctx, GTK_STYLE_PROVIDER(p),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  g_object_set_data_full(G_OBJECT(w), "mirabo-css", p, g_object_unref);
}

void SetAccessibleName(GtkWidget* w, const std::string& utf8) {
  if (AtkObject* a = gtk_widget_get_accessible(w)) atk_object_set_name(a, utf8.c_str());
}

void Name(GtkWidget* w, const std::string& name) {
  gtk_widget_set_name(w, name.c_str());
  gtk_style_context_add_class(gtk_widget_get_style_context(w), "mirabo");
  if (AtkObject* a = gtk_widget_get_accessible(w)) atk_object_set_accessible_id(a, name.c_str());
}

void RemoveFromParent(GtkWidget* w) {
  if (!w) return;
  if (GtkWidget* parent = gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(parent), w);
}

void RemoveAllChildren(GtkWidget* container) {
  if (!container || !GTK_IS_CONTAINER(container)) return;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList* k = kids; k; k = k->next)
    gtk_container_remove(GTK_CONTAINER(container), GTK_WIDGET(k->data));
  g_list_free(kids);
}

void PaintColor(GtkWidget* w, cairo_t* cr, const ui::Color& c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(w), gtk_widget_get_allocated_height(w));
  cairo_fill(cr);
}

PangoFontDescription* PangoFont(const ui::Font& f) {
  PangoFontDescription* d = pango_font_description_new();
  std::string family = GtkRenderer::FontFamily(f.name);
  if (!family.empty()) pango_font_description_set_family(d, family.c_str());
  pango_font_description_set_absolute_size(d, FontPixels(f.height ? f.height : -12) * PANGO_SCALE);
  pango_font_description_set_weight(d, f.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  return d;
}

// A flag the peer drops when it goes, so a handler that ran model code (which may destroy the
// control) knows whether it may still touch the peer.
using Alive = std::shared_ptr<bool>;

// ------------------------------------------------------------------------------------------
// Control peers

class Peer : public ui::ControlPeer {
 public:
  Peer(GtkRenderer& r, ui::Control& c) : r_(r), c_(c), alive_(std::make_shared<bool>(true)) {}
  ~Peer() override {
    *alive_ = false;
    if (idle_) g_source_remove(idle_);
    if (GtkWidget* in = inner()) RemoveAllChildren(in);
    if (Peer* parent = ParentPeer()) parent->ChildGoing(*this);
    RemoveFromParent(outer_);
    if (outer_) g_object_unref(outer_);
  }

  // Second stage of construction: widgets, names, properties, then the place in the parent.
  void Start() {
    Build();
    g_object_ref_sink(outer_);
    Name(outer_, c_.name());
    if (GtkWidget* self = widget(); self != outer_) Name(self, c_.name());
    for (ui::Prop p :
         {ui::Prop::Caption, ui::Prop::Enabled, ui::Prop::Color, ui::Prop::Font, ui::Prop::Hint,
          ui::Prop::Checked, ui::Prop::ReadOnly, ui::Prop::PasswordChar, ui::Prop::MaxLength,
          ui::Prop::Items, ui::Prop::Panels, ui::Prop::Position, ui::Prop::Style, ui::Prop::Default,
          ui::Prop::WindowState, ui::Prop::ItemIndex, ui::Prop::Progress})
      Apply(p);
    if (Peer* parent = ParentPeer()) parent->PlaceChild(*this);
    Apply(ui::Prop::Bounds);
    Apply(ui::Prop::Visible);
    Apply(ui::Prop::ActivePage);
    Apply(ui::Prop::Cursor);
    // Children that already have peers (a parent drawn after them) move in now.
    for (auto& child : c_.children())
      if (auto* p = dynamic_cast<Peer*>(child->peer())) {
        PlaceChild(*p);
        p->Apply(ui::Prop::Bounds);
      }
  }

  void Update(ui::Prop what) override { Apply(what); }

  ui::Control& control() { return c_; }
  GtkWidget* outer() const { return outer_; }
  // The widget that is the control (for tests, focus, accessible names).
  virtual GtkWidget* widget() const { return outer_; }
  // Where children go; nullptr for controls that hold none.
  GtkWidget* inner() const { return inner_; }

  Peer* ParentPeer() const {
    return c_.parent() ? dynamic_cast<Peer*>(c_.parent()->peer()) : nullptr;
  }

  // A child's widget moves into this container.
  virtual void PlaceChild(Peer& child) {
    GtkWidget* fixed = inner();
    if (!fixed || gtk_widget_get_parent(child.outer()) == fixed) return;
    RemoveFromParent(child.outer());
    gtk_fixed_put(GTK_FIXED(fixed), child.outer(), 0, 0);
    MoveChild(child);
  }
  // A child's bounds changed: place it at the model's bounds.
  virtual void MoveChild(Peer& child) {
    GtkWidget* fixed = inner();
    if (!fixed || gtk_widget_get_parent(child.outer()) != fixed) return;
    const ui::Rect& b = child.control().bounds();
    int ox = 0, oy = 0;
    ChildOrigin(ox, oy);
    gtk_fixed_move(GTK_FIXED(fixed), child.outer(), b.left - ox, b.top - oy);
    child.ApplySize();
  }
  virtual void ChildGoing(Peer&) {}

 protected:
  virtual void Build() = 0;
  // Where the model's (0, 0) of children is inside inner().
  virtual void ChildOrigin(int& x, int& y) {
    x = 0;
    y = 0;
  }

  virtual void Apply(ui::Prop what) {
    switch (what) {
      case ui::Prop::Bounds:
        if (Peer* parent = ParentPeer()) parent->MoveChild(*this);
        ApplyVisible();
        break;
      case ui::Prop::Visible:
        ApplyVisible();
        break;
      case ui::Prop::Enabled:
        gtk_widget_set_sensitive(outer_, c_.enabled());
        break;
      case ui::Prop::Hint: {
        const std::string& h = c_.hint();
        gtk_widget_set_tooltip_text(widget(),
                                    c_.show_hint() && !h.empty() ? Utf8(h).c_str() : nullptr);
        break;
      }
      case ui::Prop::Cursor:
        ApplyCursor();
        break;
      case ui::Prop::Focus:
        gtk_widget_grab_focus(widget());
        break;
      default:
        break;
    }
  }

  // The widget's size: the model's, exactly.
  virtual void ApplySize() {
    const ui::Rect& b = c_.bounds();
    int w = std::max(b.width, 1), h = std::max(b.height, 1);
    gtk_widget_set_size_request(outer_, w, h);
    if (GtkWidget* in = inner(); in && in == outer_) SetNaturalSize(in, w, h);
  }

  virtual void ApplyVisible() {
    const ui::Rect& b = c_.bounds();
    gtk_widget_set_visible(outer_, c_.visible() && b.width > 0 && b.height > 0);
  }

  void ApplyCursor() {
    GtkWidget* w = inner() ? inner() : outer_;
    if (!gtk_widget_get_has_window(w)) return;  // only widgets with a window of their own
    if (!gtk_widget_get_realized(w)) {
      if (!cursor_hooked_) {
        cursor_hooked_ = true;
        g_signal_connect(w, "realize", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                           static_cast<Peer*>(self)->ApplyCursor();
                         }),
                         this);
      }
      return;
    }
    GdkWindow* win = gtk_widget_get_window(w);
    GdkCursor* cursor = nullptr;
    if (c_.cursor() == ui::Cursor::HandPoint)
      cursor = gdk_cursor_new_from_name(gdk_window_get_display(win), "pointer");
    gdk_window_set_cursor(win, cursor);
    if (cursor) g_object_unref(cursor);
  }

  // Runs fn once from the loop, soon (coalesced): for model changes that come from a widget's
  // allocation, which must not change sizes while GTK is allocating.
  void Later(std::function<void()> fn) {
    later_ = std::move(fn);
    if (idle_) return;
    idle_ = g_idle_add_full(
        G_PRIORITY_HIGH_IDLE,
        +[](gpointer self) -> gboolean {
          auto* p = static_cast<Peer*>(self);
          p->idle_ = 0;
          auto fn = std::move(p->later_);
          p->later_ = nullptr;
          if (fn) fn();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
  }

  // Paints the control's colour (and, for panels, its caption) under the children.
  static gboolean DrawBackground(GtkWidget* w, cairo_t* cr, gpointer self) {
    auto* p = static_cast<Peer*>(self);
    PaintColor(w, cr, p->c_.color());
    if (p->c_.kind() == ui::Kind::Panel && !p->c_.caption().empty() && w == p->outer_) {
      PangoLayout* layout = gtk_widget_create_pango_layout(w, Utf8(p->c_.caption()).c_str());
      PangoFontDescription* d = PangoFont(p->c_.font());
      pango_layout_set_font_description(layout, d);
      pango_font_description_free(d);
      int tw = 0, th = 0;
      pango_layout_get_pixel_size(layout, &tw, &th);
      const ui::Color& fc = p->c_.font().color;
      cairo_set_source_rgb(cr, fc.r / 255.0, fc.g / 255.0, fc.b / 255.0);
      cairo_move_to(cr, (gtk_widget_get_allocated_width(w) - tw) / 2.0,
                    (gtk_widget_get_allocated_height(w) - th) / 2.0);
      pango_cairo_show_layout(cr, layout);
      g_object_unref(layout);
    }
    return FALSE;
  }

  GtkRenderer& r_;
  ui::Control& c_;
  GtkWidget* outer_ = nullptr;  // the widget placed in the parent (reference held)
  GtkWidget* inner_ = nullptr;  // the fixed container children go in (nullptr: none)
  Alive alive_;
  bool syncing_ = false;  // the model is writing into the widget: its signals are not the user's

 private:
  guint idle_ = 0;
  std::function<void()> later_;
  bool cursor_hooked_ = false;
};

// Runs a model call from a widget's signal; false when the peer went away meanwhile.
template <class F>
bool StillAlive(const Alive& alive, F&& f) {
  Alive keep = alive;
  f();
  return *keep;
}

// --- panels and plain containers ---

class PanelPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    outer_ = inner_ = NewMiraboFixed();
    if (paints_) g_signal_connect(outer_, "draw", G_CALLBACK(DrawBackground), this);
  }
  void Apply(ui::Prop what) override {
    if (what == ui::Prop::Color || what == ui::Prop::Caption || what == ui::Prop::Font) {
      gtk_widget_queue_draw(outer_);
      if (what == ui::Prop::Caption && !c_.caption().empty())
        SetAccessibleName(outer_, Utf8(c_.caption()));
    }
    Peer::Apply(what);
  }
  bool paints_ = true;
};

// Controls whose own drawing comes later (images, shapes): a plain area at the model's bounds.
class PlainPeer : public PanelPeer {
 public:
  PlainPeer(GtkRenderer& r, ui::Control& c) : PanelPeer(r, c) { paints_ = false; }
};

// --- group box ---

class GroupBoxPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    outer_ = gtk_frame_new(nullptr);
    label_ = gtk_label_new(nullptr);
    // The caption sits a little in from the frame's corner, as the original's did.
    gtk_widget_set_margin_start(label_, 6);
    gtk_widget_set_margin_end(label_, 2);
    gtk_widget_show(label_);
    gtk_frame_set_label_widget(GTK_FRAME(outer_), label_);
    fixed_ = inner_ = NewMiraboFixed();
    gtk_widget_show(fixed_);
    gtk_container_add(GTK_CONTAINER(outer_), fixed_);
    g_signal_connect(outer_, "draw", G_CALLBACK(DrawBackground), this);
    g_signal_connect(fixed_, "draw", G_CALLBACK(DrawBackground), this);
    g_signal_connect(fixed_, "size-allocate", G_CALLBACK(OnInnerAllocate), this);
    ui::Rect cr = c_.ClientRect();
    origin_x_ = cr.left;
    origin_y_ = cr.top;
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Caption: {
        std::string t = MnemonicText(c_.caption());
        gtk_label_set_text_with_mnemonic(GTK_LABEL(label_), t.c_str());
        gtk_widget_set_visible(label_, !t.empty());
        break;
      }
      case ui::Prop::Font:
        SetWidgetCss(label_, FontCss(c_.font()));
        break;
      case ui::Prop::Color:
        gtk_widget_queue_draw(outer_);
        break;
      default:
        break;
    }
    Peer::Apply(what);
  }
  void ChildOrigin(int& x, int& y) override {
    x = origin_x_;
    y = origin_y_;
  }

 private:
  // The children's origin is where GTK put the inner container in the frame.
  static void OnInnerAllocate(GtkWidget*, GdkRectangle* a, gpointer self) {
    auto* p = static_cast<GroupBoxPeer*>(self);
    // Neither has a window of its own: their allocations share one origin.
    GtkAllocation frame;
    gtk_widget_get_allocation(p->outer_, &frame);
    int x = a->x - frame.x, y = a->y - frame.y;
    if (x == p->origin_x_ && y == p->origin_y_) return;
    p->origin_x_ = x;
    p->origin_y_ = y;
    p->Later([p] {
      for (auto& child : p->c_.children())
        if (auto* cp = dynamic_cast<Peer*>(child->peer())) p->MoveChild(*cp);
    });
  }

  GtkWidget* label_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  int origin_x_ = 0, origin_y_ = 0;
};

// --- buttons and check boxes ---

// A picture stretched to the model's bounds, in an event box: it takes clicks and carries the
// cursor. Icons, bitmaps and the other kinds GdkPixbuf reads are drawn; a file it cannot read
// shows nothing.
class ImagePeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    outer_ = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(outer_), TRUE);
    image_ = gtk_image_new();
    gtk_widget_show(image_);
    gtk_container_add(GTK_CONTAINER(outer_), image_);
    gtk_widget_add_events(outer_, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(outer_, "button-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* e, gpointer self) -> gboolean {
                       if (e->button != 1 || e->type != GDK_BUTTON_PRESS) return FALSE;
                       static_cast<ImagePeer*>(self)->c_.Click();
                       return TRUE;
                     }),
                     this);
  }
  void Apply(ui::Prop what) override {
    if (what == ui::Prop::Items || what == ui::Prop::Bounds) LoadPicture();
    if (what == ui::Prop::Cursor) {
      // The event box has a window of its own, which carries the cursor.
      if (GdkWindow* win = gtk_widget_get_window(outer_); win && gtk_widget_get_realized(outer_))
        SetCursorOn(win);
      else if (!hooked_) {
        hooked_ = true;
        g_signal_connect_after(outer_, "realize", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                                 static_cast<ImagePeer*>(self)->Apply(ui::Prop::Cursor);
                               }),
                               this);
      }
      return;
    }
    Peer::Apply(what);
  }

 private:
  void LoadPicture() {
    const std::string& path = static_cast<ui::Image&>(c_).picture();
    const ui::Rect& b = c_.bounds();
    GdkPixbuf* pix = nullptr;
    if (!path.empty() && b.width > 0 && b.height > 0)
      pix =
          gdk_pixbuf_new_from_file_at_scale(Utf8(path).c_str(), b.width, b.height, FALSE, nullptr);
    gtk_image_set_from_pixbuf(GTK_IMAGE(image_), pix);
    if (pix) g_object_unref(pix);
  }
  void SetCursorOn(GdkWindow* win) {
    GdkCursor* cursor = nullptr;
    if (c_.cursor() == ui::Cursor::HandPoint)
      cursor = gdk_cursor_new_from_name(gdk_window_get_display(win), "pointer");
    gdk_window_set_cursor(win, cursor);
    if (cursor) g_object_unref(cursor);
  }
  GtkWidget* image_ = nullptr;
  bool hooked_ = false;
};

class ButtonPeer : public Peer {
 public:
  ButtonPeer(GtkRenderer& r, ui::Control& c, bool flat = false) : Peer(r, c), flat_(flat) {}

 protected:
  void Build() override {
    outer_ = gtk_button_new();
    label_ = gtk_label_new(nullptr);
    gtk_widget_show(label_);
    gtk_container_add(GTK_CONTAINER(outer_), label_);
    if (flat_) gtk_button_set_relief(GTK_BUTTON(outer_), GTK_RELIEF_NONE);
    g_signal_connect(outer_, "clicked", G_CALLBACK(OnClicked), this);
    g_signal_connect(outer_, "hierarchy-changed",
                     G_CALLBACK(+[](GtkWidget*, GtkWidget*, gpointer self) {
                       static_cast<ButtonPeer*>(self)->Apply(ui::Prop::Default);
                     }),
                     this);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Caption:
        gtk_label_set_text_with_mnemonic(GTK_LABEL(label_), MnemonicText(c_.caption()).c_str());
        break;
      case ui::Prop::Font:
        // The font's colour must not hide the disabled look.
        SetWidgetCss(outer_, FontCss(c_.font()), "button:disabled { color: rgb(150,150,150); }");
        break;
      case ui::Prop::Default: {
        auto* b = dynamic_cast<ui::Button*>(&c_);
        bool on = b && b->is_default();
        gtk_widget_set_can_default(outer_, on);
        GtkWidget* top = gtk_widget_get_toplevel(outer_);
        if (on && GTK_IS_WINDOW(top)) gtk_window_set_default(GTK_WINDOW(top), outer_);
        break;
      }
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  static void OnClicked(GtkButton*, gpointer self) {
    auto* p = static_cast<ButtonPeer*>(self);
    if (!p->syncing_) p->c_.Click();
  }
  GtkWidget* label_ = nullptr;
  bool flat_;
};

class CheckBoxPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    outer_ = gtk_check_button_new();
    label_ = gtk_label_new(nullptr);
    gtk_widget_show(label_);
    gtk_container_add(GTK_CONTAINER(outer_), label_);
    g_signal_connect(outer_, "toggled", G_CALLBACK(OnToggled), this);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Caption:
        gtk_label_set_text_with_mnemonic(GTK_LABEL(label_), MnemonicText(c_.caption()).c_str());
        break;
      case ui::Prop::Font:
        SetWidgetCss(outer_, FontCss(c_.font()),
                     "checkbutton:disabled { color: rgb(150,150,150); }");
        break;
      case ui::Prop::Checked:
        Sync();
        break;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  void Sync() {
    auto* cb = dynamic_cast<ui::CheckBox*>(&c_);
    bool on = cb && cb->checked();
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(outer_)) == on) return;
    syncing_ = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(outer_), on);
    syncing_ = false;
  }
  static void OnToggled(GtkToggleButton*, gpointer self) {
    auto* p = static_cast<CheckBoxPeer*>(self);
    if (p->syncing_) return;
    // The model decides the state: its click toggles it and runs OnClick; the widget follows.
    if (StillAlive(p->alive_, [&] { p->c_.Click(); })) p->Sync();
  }
  GtkWidget* label_ = nullptr;
};

// --- labels ---

class LabelPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    outer_ = gtk_label_new(nullptr);
    gtk_label_set_xalign(GTK_LABEL(outer_), 0);
    gtk_label_set_yalign(GTK_LABEL(outer_), 0);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Caption:
        gtk_label_set_text_with_mnemonic(GTK_LABEL(outer_), MnemonicText(c_.caption()).c_str());
        break;
      case ui::Prop::Font:
        SetWidgetCss(outer_, FontCss(c_.font()));
        break;
      case ui::Prop::Style: {
        ui::TextAlign a = static_cast<ui::Label&>(c_).alignment();
        float x = a == ui::TextAlign::Center ? 0.5f : a == ui::TextAlign::Right ? 1.0f : 0.0f;
        gtk_label_set_xalign(GTK_LABEL(outer_), x);
        gtk_label_set_justify(GTK_LABEL(outer_), a == ui::TextAlign::Center  ? GTK_JUSTIFY_CENTER
                                                 : a == ui::TextAlign::Right ? GTK_JUSTIFY_RIGHT
                                                                             : GTK_JUSTIFY_LEFT);
        break;
      }
      default:
        break;
    }
    Peer::Apply(what);
  }
};

// --- edits ---

// The Shift-JIS byte length of UTF-8 text, as the model measures it.
std::size_t SjisLength(const std::string& utf8) { return ToSjis(utf8).size(); }

class EditPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  ui::Edit& edit() { return static_cast<ui::Edit&>(c_); }

  void Build() override {
    outer_ = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(outer_), TRUE);
    gtk_entry_set_width_chars(GTK_ENTRY(outer_), 1);
    g_signal_connect(outer_, "changed", G_CALLBACK(OnChanged), this);
    g_signal_connect(outer_, "insert-text", G_CALLBACK(OnInsertText), this);
    g_signal_connect(outer_, "activate", G_CALLBACK(OnActivate), this);
    g_signal_connect(outer_, "focus-out-event", G_CALLBACK(OnFocusOut), this);
  }
  void Apply(ui::Prop what) override {
    GtkEntry* e = GTK_ENTRY(outer_);
    switch (what) {
      case ui::Prop::Caption:
        if (ToSjis(gtk_entry_get_text(e)) != edit().text()) {
          syncing_ = true;
          gtk_entry_set_text(e, Utf8(edit().text()).c_str());
          syncing_ = false;
        }
        break;
      case ui::Prop::PasswordChar: {
        char pc = edit().password_char();
        gtk_entry_set_visibility(e, pc == 0);
        if (pc) gtk_entry_set_invisible_char(e, static_cast<unsigned char>(pc) < 0x80 ? pc : '*');
        break;
      }
      case ui::Prop::ReadOnly:
        gtk_editable_set_editable(GTK_EDITABLE(e), !edit().read_only());
        break;
      case ui::Prop::Style:
        gtk_entry_set_has_frame(e, edit().border());
        break;
      case ui::Prop::Font:
      case ui::Prop::Color: {
        std::string css = FontCss(c_.font());
        if (!(c_.color() == ui::Color{}))
          css += "background-color: " + CssColor(c_.color()) + "; background-image: none;";
        SetWidgetCss(outer_, css);
        break;
      }
      case ui::Prop::Hint:
        if (!c_.hint().empty()) SetAccessibleName(outer_, Utf8(c_.hint()));
        break;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  static void OnChanged(GtkEditable* e, gpointer self) {
    auto* p = static_cast<EditPeer*>(self);
    if (p->syncing_) return;
    std::string typed = ToSjis(gtk_entry_get_text(GTK_ENTRY(e)));
    if (!StillAlive(p->alive_, [&] { p->edit().SetText(typed); })) return;
    // The model may keep less than was typed (its length limit): show what it kept.
    if (p->edit().text() != typed) p->Later([p] { p->Apply(ui::Prop::Caption); });
  }
  // The length limit counts Shift-JIS bytes, as the original's did: only what fits goes in.
  static void OnInsertText(GtkEditable* e, gchar* text, gint length, gint* position,
                           gpointer self) {
    auto* p = static_cast<EditPeer*>(self);
    int max = p->edit().max_length();
    if (p->syncing_ || max <= 0) return;
    std::string current = gtk_entry_get_text(GTK_ENTRY(e));
    std::size_t used = SjisLength(current);
    std::size_t room = used >= static_cast<std::size_t>(max) ? 0 : max - used;
    std::string in(text, length < 0 ? std::strlen(text) : static_cast<std::size_t>(length));
    std::string fits;
    std::size_t bytes = 0;
    for (const char* c = in.c_str(); *c;) {
      const char* next = g_utf8_next_char(c);
      std::string ch(c, next - c);
      std::size_t n = SjisLength(ch);
      if (bytes + n > room) break;
      bytes += n;
      fits += ch;
      c = next;
    }
    if (fits.size() == in.size()) return;
    g_signal_handlers_block_by_func(e, reinterpret_cast<gpointer>(OnInsertText), self);
    if (!fits.empty()) gtk_editable_insert_text(e, fits.c_str(), -1, position);
    g_signal_handlers_unblock_by_func(e, reinterpret_cast<gpointer>(OnInsertText), self);
    g_signal_stop_emission_by_name(e, "insert-text");
  }
  static void OnActivate(GtkEntry*, gpointer self) {
    auto* p = static_cast<EditPeer*>(self);
    if (ui::Form* f = p->c_.form()) f->PressDefault();
  }
  // Leaving the field for another control of the window; the window losing the focus is not
  // leaving the field.
  static gboolean OnFocusOut(GtkWidget* w, GdkEvent*, gpointer self) {
    auto* p = static_cast<EditPeer*>(self);
    GtkWidget* top = gtk_widget_get_toplevel(w);
    if (GTK_IS_WINDOW(top) && !gtk_window_is_active(GTK_WINDOW(top))) return FALSE;
    if (p->c_.OnExit) p->c_.OnExit();
    return FALSE;
  }
};

// --- memos ---

std::string CrLfToLf(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
  return out;
}

std::string LfToCrLf(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 16);
  for (char ch : s) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

class MemoPeer : public Peer {
 public:
  using Peer::Peer;
  GtkWidget* widget() const override { return view_; }

 protected:
  ui::Edit& edit() { return static_cast<ui::Edit&>(c_); }

  void Build() override {
    outer_ = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer_), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer_), GTK_SHADOW_IN);
    view_ = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view_), GTK_WRAP_WORD_CHAR);
    // As in a Windows dialog: Tab moves the focus on, Ctrl+I types a tab character.
    gtk_text_view_set_accepts_tab(GTK_TEXT_VIEW(view_), FALSE);
    g_signal_connect(view_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    gtk_widget_show(view_);
    gtk_container_add(GTK_CONTAINER(outer_), view_);
    GtkTextBuffer* buf = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    g_signal_connect(buf, "changed", G_CALLBACK(OnChanged), this);
    g_signal_connect(view_, "focus-out-event", G_CALLBACK(OnFocusOut), this);
  }
  void Apply(ui::Prop what) override {
    GtkTextBuffer* buf = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    switch (what) {
      case ui::Prop::Caption:
        if (LfToCrLf(ToSjis(BufferText(buf))) != edit().text()) {
          syncing_ = true;
          gtk_text_buffer_set_text(buf, Utf8(CrLfToLf(edit().text())).c_str(), -1);
          syncing_ = false;
        }
        break;
      case ui::Prop::ReadOnly:
        gtk_text_view_set_editable(GTK_TEXT_VIEW(view_), !edit().read_only());
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view_), !edit().read_only());
        break;
      case ui::Prop::Style:
        // Without its frame a memo is plain text on its colour, as a label would be, and shows
        // no scroll bars.
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer_),
                                            edit().border() ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
        gtk_scrolled_window_set_policy(
            GTK_SCROLLED_WINDOW(outer_), edit().border() ? GTK_POLICY_AUTOMATIC : GTK_POLICY_NEVER,
            edit().border() ? GTK_POLICY_AUTOMATIC : GTK_POLICY_EXTERNAL);
        Apply(ui::Prop::Color);
        break;
      case ui::Prop::Font:
      case ui::Prop::Color: {
        std::string rules;
        if (!(c_.color() == ui::Color{}))
          rules = " textview text { background-color: " + CssColor(c_.color()) + "; }";
        else if (!edit().border())
          rules = " textview, textview text { background-color: transparent; }";
        SetWidgetCss(view_, FontCss(c_.font()), rules);
        break;
      }
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  static std::string BufferText(GtkTextBuffer* buf) {
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buf, &a, &b);
    gchar* t = gtk_text_buffer_get_text(buf, &a, &b, FALSE);
    std::string s = t ? t : "";
    g_free(t);
    return s;
  }
  static void OnChanged(GtkTextBuffer* buf, gpointer self) {
    auto* p = static_cast<MemoPeer*>(self);
    if (p->syncing_) return;
    std::string typed = LfToCrLf(ToSjis(BufferText(buf)));
    p->edit().SetText(typed);
  }
  static gboolean OnKeyPress(GtkWidget* w, GdkEventKey* ev, gpointer) {
    bool ctrl_i = (ev->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == GDK_CONTROL_MASK &&
                  (ev->keyval == GDK_KEY_i || ev->keyval == GDK_KEY_I);
    if (!ctrl_i) return FALSE;
    GtkTextBuffer* buf = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w));
    gboolean editable = gtk_text_view_get_editable(GTK_TEXT_VIEW(w));
    gtk_text_buffer_begin_user_action(buf);
    gtk_text_buffer_delete_selection(buf, TRUE, editable);
    gtk_text_buffer_insert_interactive_at_cursor(buf, "\t", 1, editable);
    gtk_text_buffer_end_user_action(buf);
    return TRUE;
  }
  static gboolean OnFocusOut(GtkWidget* w, GdkEvent*, gpointer self) {
    auto* p = static_cast<MemoPeer*>(self);
    GtkWidget* top = gtk_widget_get_toplevel(w);
    if (GTK_IS_WINDOW(top) && !gtk_window_is_active(GTK_WINDOW(top))) return FALSE;
    if (p->c_.OnExit) p->c_.OnExit();
    return FALSE;
  }
  GtkWidget* view_ = nullptr;
};

// --- list boxes ---

// A list of labels in a scrolled window with a frame. A row picked by the user (a click or the
// keys) goes into the model as a click on that item; the selection the model sets is shown
// without raising anything.
class ListBoxPeer : public Peer {
 public:
  using Peer::Peer;
  GtkWidget* widget() const override { return list_; }

 protected:
  ui::ListBox& box() { return static_cast<ui::ListBox&>(c_); }

  void Build() override {
    outer_ = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer_), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer_), GTK_SHADOW_IN);
    list_ = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list_), GTK_SELECTION_SINGLE);
    gtk_widget_show(list_);
    gtk_container_add(GTK_CONTAINER(outer_), list_);
    g_signal_connect(list_, "row-selected", G_CALLBACK(OnRowSelected), this);
    g_signal_connect(list_, "row-activated", G_CALLBACK(OnRowActivated), this);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Items:
        SyncItems();
        break;
      case ui::Prop::ItemIndex:
        SyncSelection();
        break;
      case ui::Prop::Font:
        for (GtkWidget* l : labels_) SetWidgetCss(l, FontCss(c_.font()));
        break;
      case ui::Prop::Color:
        SetWidgetCss(list_, c_.color() == ui::Color{}
                                ? std::string()
                                : "background-color: " + CssColor(c_.color()) + ";");
        break;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  void SyncItems() {
    const auto& items = box().items();
    syncing_ = true;
    while (rows_.size() > items.size()) {
      gtk_widget_destroy(rows_.back());
      rows_.pop_back();
      labels_.pop_back();
    }
    while (rows_.size() < items.size()) {
      GtkWidget* label = gtk_label_new(nullptr);
      gtk_label_set_xalign(GTK_LABEL(label), 0);
      gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
      SetWidgetCss(label, FontCss(c_.font()));
      GtkWidget* row = gtk_list_box_row_new();
      gtk_container_add(GTK_CONTAINER(row), label);
      Name(row, c_.name() + "." + std::to_string(rows_.size()));
      gtk_widget_show_all(row);
      gtk_list_box_insert(GTK_LIST_BOX(list_), row, -1);
      rows_.push_back(row);
      labels_.push_back(label);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      std::string t = Utf8(items[i]);
      if (t != gtk_label_get_text(GTK_LABEL(labels_[i])))
        gtk_label_set_text(GTK_LABEL(labels_[i]), t.c_str());
      gtk_widget_set_size_request(rows_[i], -1, std::max(box().item_height(), 1));
      SetAccessibleName(rows_[i], t);
    }
    syncing_ = false;
    SyncSelection();
  }
  void SyncSelection() {
    int i = box().item_index();
    GtkListBoxRow* want =
        i >= 0 && i < static_cast<int>(rows_.size()) ? GTK_LIST_BOX_ROW(rows_[i]) : nullptr;
    if (gtk_list_box_get_selected_row(GTK_LIST_BOX(list_)) == want) return;
    syncing_ = true;
    if (want)
      gtk_list_box_select_row(GTK_LIST_BOX(list_), want);
    else
      gtk_list_box_unselect_all(GTK_LIST_BOX(list_));
    syncing_ = false;
  }
  // A row the user picked. A click selects (row-selected), then activates the same row
  // (row-activated): one click of the model's. A click on the row already selected only
  // activates it.
  void Picked(GtkListBoxRow* row) {
    int i = row ? gtk_list_box_row_get_index(row) : -1;
    if (i < 0) return;
    if (StillAlive(alive_, [&] { box().UserSelect(i); })) SyncSelection();
  }
  static void OnRowSelected(GtkListBox*, GtkListBoxRow* row, gpointer self) {
    auto* p = static_cast<ListBoxPeer*>(self);
    if (p->syncing_ || !row) return;
    p->just_selected_ = row;
    p->Picked(row);
  }
  static void OnRowActivated(GtkListBox*, GtkListBoxRow* row, gpointer self) {
    auto* p = static_cast<ListBoxPeer*>(self);
    if (p->syncing_) return;
    if (p->just_selected_ == row) {
      p->just_selected_ = nullptr;
      return;
    }
    p->just_selected_ = nullptr;
    p->Picked(row);
  }

  GtkWidget* list_ = nullptr;
  std::vector<GtkWidget*> rows_, labels_;
  GtkListBoxRow* just_selected_ = nullptr;
};

// --- gauges ---

// The bar drawn as the original gauge drew it: the background colour, the filled part in the
// fore colour from the left, a thin dark frame, and the percentage in the middle.
class GaugePeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  ui::Gauge& gauge() { return static_cast<ui::Gauge&>(c_); }

  void Build() override {
    outer_ = gtk_drawing_area_new();
    g_signal_connect(outer_, "draw", G_CALLBACK(OnDraw), this);
    if (AtkObject* a = gtk_widget_get_accessible(outer_))
      atk_object_set_role(a, ATK_ROLE_PROGRESS_BAR);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Progress:
      case ui::Prop::Color:
      case ui::Prop::Font:
        gtk_widget_queue_draw(outer_);
        SetAccessibleName(outer_, Text());
        break;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  std::string Text() { return std::to_string(gauge().PercentDone()) + "%"; }

  static gboolean OnDraw(GtkWidget* w, cairo_t* cr, gpointer self) {
    auto* p = static_cast<GaugePeer*>(self);
    ui::Gauge& g = p->gauge();
    const int width = gtk_widget_get_allocated_width(w);
    const int height = gtk_widget_get_allocated_height(w);
    PaintColor(w, cr, g.color());
    const ui::Color& fc = g.fore_color();
    int filled = (width - 2) * g.PercentDone() / 100;
    cairo_set_source_rgb(cr, fc.r / 255.0, fc.g / 255.0, fc.b / 255.0);
    cairo_rectangle(cr, 1, 1, filled, height - 2);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    cairo_stroke(cr);
    PangoLayout* layout = gtk_widget_create_pango_layout(w, p->Text().c_str());
    PangoFontDescription* d = PangoFont(g.font());
    pango_font_description_set_weight(d, PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, (width - tw) / 2.0, (height - th) / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
  }
};

// --- status bar ---

class StatusBarPeer : public Peer {
 public:
  using Peer::Peer;
  GtkWidget* Panel(int i) const {
    return i >= 0 && i < static_cast<int>(labels_.size()) ? labels_[i] : nullptr;
  }

 protected:
  ui::StatusBar& bar() { return static_cast<ui::StatusBar&>(c_); }

  void Build() override {
    outer_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    if (AtkObject* a = gtk_widget_get_accessible(outer_))
      atk_object_set_role(a, ATK_ROLE_STATUSBAR);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Panels:
        SyncPanels();
        break;
      case ui::Prop::Font:
        for (GtkWidget* l : labels_) SetWidgetCss(l, FontCss(c_.font()));
        break;
      case ui::Prop::Bounds:
        Peer::Apply(what);
        SizePanels();
        return;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  void SyncPanels() {
    const auto& panels = bar().panels();
    while (labels_.size() > panels.size()) {
      gtk_widget_destroy(labels_.back());
      labels_.pop_back();
    }
    while (labels_.size() < panels.size()) {
      GtkWidget* l = gtk_label_new(nullptr);
      gtk_label_set_xalign(GTK_LABEL(l), 0);
      gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
      gtk_label_set_single_line_mode(GTK_LABEL(l), TRUE);
      std::string id = c_.name() + "." + std::to_string(labels_.size());
      Name(l, id);
      gtk_style_context_add_class(gtk_widget_get_style_context(l), "mirabo-panel");
      SetWidgetCss(l, FontCss(c_.font()));
      gtk_widget_show(l);
      gtk_box_pack_start(GTK_BOX(outer_), l, FALSE, FALSE, 0);
      labels_.push_back(l);
    }
    for (std::size_t i = 0; i < panels.size(); ++i) {
      std::string t = Utf8(panels[i].text);
      if (t != gtk_label_get_text(GTK_LABEL(labels_[i])))
        gtk_label_set_text(GTK_LABEL(labels_[i]), t.c_str());
      // A panel is named by its text; an empty one by its number, so it can still be found.
      SetAccessibleName(labels_[i], t.empty() ? "panel " + std::to_string(i) : t);
    }
    SizePanels();
  }
  // Each panel takes its width while there is room; the last one takes what is left.
  void SizePanels() {
    const auto& panels = bar().panels();
    int room = std::max(c_.width(), 0);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
      bool last = i + 1 == labels_.size();
      int w = last ? room : std::min(std::max(panels[i].width, 0), room);
      gtk_widget_set_size_request(labels_[i], std::max(w, 1), -1);
      gtk_widget_set_hexpand(labels_[i], last);
      gtk_box_set_child_packing(GTK_BOX(outer_), labels_[i], last, last, 0, GTK_PACK_START);
      room -= w;
    }
  }
  std::vector<GtkWidget*> labels_;
};

// --- page control and tab sheets ---

class TabSheetPeer;

class PageControlPeer : public Peer {
 public:
  using Peer::Peer;
  GtkWidget* notebook() const { return outer_; }

  void PlaceChild(Peer& child) override;
  void MoveChild(Peer&) override {}  // the notebook places its pages
  void ChildGoing(Peer& child) override {
    pages_.erase(&child.control());
    if (gtk_widget_get_parent(child.outer()) != outer_) return;
    Quietly([&] { gtk_container_remove(GTK_CONTAINER(outer_), child.outer()); });
  }

  // Changes to the notebook made on the model's behalf raise no OnChange.
  template <class F>
  void Quietly(F&& f) {
    bool was = syncing_;
    syncing_ = true;
    f();
    syncing_ = was;
  }
  void SyncActive() {
    auto& pc = static_cast<ui::PageControl&>(c_);
    auto it = pages_.find(pc.active_page());
    if (it == pages_.end()) return;
    int idx = gtk_notebook_page_num(GTK_NOTEBOOK(outer_), it->second);
    if (idx < 0 || gtk_notebook_get_current_page(GTK_NOTEBOOK(outer_)) == idx) return;
    Quietly([&] { gtk_notebook_set_current_page(GTK_NOTEBOOK(outer_), idx); });
  }

 protected:
  void Build() override {
    outer_ = gtk_notebook_new();
    gtk_notebook_set_scrollable(GTK_NOTEBOOK(outer_), TRUE);
    gtk_notebook_set_show_border(GTK_NOTEBOOK(outer_), FALSE);
    g_signal_connect_after(outer_, "switch-page", G_CALLBACK(OnSwitchPage), this);
  }
  void Apply(ui::Prop what) override {
    if (what == ui::Prop::ActivePage) SyncActive();
    Peer::Apply(what);
  }

 private:
  static void OnSwitchPage(GtkNotebook*, GtkWidget* page, guint, gpointer self) {
    auto* p = static_cast<PageControlPeer*>(self);
    if (p->syncing_) return;
    auto& pc = static_cast<ui::PageControl&>(p->c_);
    for (auto& [control, widget] : p->pages_) {
      if (widget != page) continue;
      auto* sheet = static_cast<ui::TabSheet*>(control);
      if (pc.active_page() == sheet) return;
      // The model's OnChange may pick another page (or close this one): the notebook follows.
      if (StillAlive(p->alive_, [&] { pc.UserSelect(sheet); })) p->SyncActive();
      return;
    }
  }

  std::map<ui::Control*, GtkWidget*> pages_;  // sheet -> its page
};

class TabSheetPeer : public Peer {
 public:
  using Peer::Peer;
  ~TabSheetPeer() override { g_object_unref(label_); }
  GtkWidget* tab_label() const { return label_; }

 protected:
  void Build() override {
    outer_ = inner_ = NewMiraboFixed();
    label_ = gtk_label_new(nullptr);
    g_object_ref_sink(label_);
    gtk_widget_show(label_);
    g_signal_connect(outer_, "size-allocate", G_CALLBACK(OnAllocate), this);
  }
  void Apply(ui::Prop what) override {
    switch (what) {
      case ui::Prop::Caption: {
        gtk_label_set_text_with_mnemonic(GTK_LABEL(label_), MnemonicText(c_.caption()).c_str());
        std::string name = gtk_label_get_text(GTK_LABEL(label_));
        SetAccessibleName(outer_, name);
        SetAccessibleName(label_, name);
        return;
      }
      case ui::Prop::Font:
        SetWidgetCss(label_, FontCss(c_.font()));
        return;
      case ui::Prop::Bounds:
        // The notebook gives the page its size; the children follow the model's layout.
        SetNaturalSize(outer_, std::max(c_.width(), 0), std::max(c_.height(), 0));
        return;
      case ui::Prop::Visible: {
        auto* pc = dynamic_cast<PageControlPeer*>(ParentPeer());
        if (!pc) {
          gtk_widget_set_visible(outer_, c_.visible());
          return;
        }
        pc->Quietly([&] { gtk_widget_set_visible(outer_, c_.visible()); });
        pc->SyncActive();
        return;
      }
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  // The page's real place in the notebook goes back into the model, so what the sheet holds
  // fills what is shown.
  static void OnAllocate(GtkWidget*, GdkRectangle* a, gpointer self) {
    auto* p = static_cast<TabSheetPeer*>(self);
    auto* pc = dynamic_cast<PageControlPeer*>(p->ParentPeer());
    if (!pc) return;
    // Neither the page nor the notebook has a window of its own: one origin.
    GtkAllocation nb;
    gtk_widget_get_allocation(pc->notebook(), &nb);
    ui::Rect r{a->x - nb.x, a->y - nb.y, a->width, a->height};
    if (r == p->reported_ || r == p->c_.bounds()) return;
    p->reported_ = r;
    p->Later([p, r] { p->c_.SetBounds(r); });
  }

  GtkWidget* label_ = nullptr;
  ui::Rect reported_{-1, -1, -1, -1};
};

void PageControlPeer::PlaceChild(Peer& child) {
  auto* sheet = dynamic_cast<TabSheetPeer*>(&child);
  if (!sheet || gtk_widget_get_parent(child.outer()) == outer_) return;
  auto& pc = static_cast<ui::PageControl&>(c_);
  int index = pc.IndexOf(static_cast<ui::TabSheet*>(&child.control()));
  // Pages go in model order: count the pages before this one that the notebook already has.
  int pos = 0;
  for (int i = 0; i < index; ++i)
    if (pages_.count(pc.Page(i))) ++pos;
  RemoveFromParent(child.outer());
  pages_[&child.control()] = child.outer();
  Quietly([&] {
    gtk_notebook_insert_page(GTK_NOTEBOOK(outer_), child.outer(), sheet->tab_label(), pos);
    gtk_widget_set_visible(child.outer(), child.control().visible());
  });
  SyncActive();
}

// --- browser ---

class BrowserPeer : public Peer {
 public:
  using Peer::Peer;

 protected:
  void Build() override {
    auto* browser = dynamic_cast<platform::WebBrowser*>(&c_);
    GtkWidget* view = browser ? EngineWidget(browser->engine()) : nullptr;
    // An engine without a widget of its own still gets its place on the sheet.
    // The engine holds its view already; Start's ref_sink adds the peer's own reference.
    outer_ = view ? view : NewMiraboFixed();
  }
};

// --- forms ---

class FormPeer : public Peer {
 public:
  FormPeer(GtkRenderer& r, ui::Control& c) : Peer(r, c) {}
  ~FormPeer() override {
    if (root_) r_.UnbindRoot(*root_);
    if (menubar_) g_object_unref(menubar_);
    RemoveAllChildren(client_);
    g_object_unref(client_);
    inner_ = nullptr;
    r_.FormDestroyed(form());
    GtkWidget* w = outer_;
    RemoveFromParent(w);
    gtk_widget_destroy(w);  // the base unrefs what Start sank
  }
  GtkWidget* menubar() const { return menubar_; }

 protected:
  ui::Form& form() { return static_cast<ui::Form&>(c_); }

  void Build() override {
    outer_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_show(box_);
    gtk_container_add(GTK_CONTAINER(outer_), box_);
    client_ = inner_ = NewMiraboFixed();
    g_object_ref_sink(client_);
    Name(client_, c_.name() + ".client");
    gtk_widget_show(client_);
    gtk_box_pack_end(GTK_BOX(box_), client_, TRUE, TRUE, 0);
    g_signal_connect(client_, "draw", G_CALLBACK(DrawBackground), this);
    g_signal_connect(client_, "size-allocate", G_CALLBACK(OnClientAllocate), this);
    g_signal_connect(outer_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(outer_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(outer_, "configure-event", G_CALLBACK(OnConfigure), this);
    BuildMenu();
    r_.FormCreated(form());
  }

  void Apply(ui::Prop what) override {
    GtkWindow* win = GTK_WINDOW(outer_);
    switch (what) {
      case ui::Prop::Caption:
        gtk_window_set_title(win, Utf8(c_.caption()).c_str());
        return;
      case ui::Prop::Style: {
        ui::BorderStyle b = form().border_style();
        gtk_window_set_resizable(win, b == ui::BorderStyle::Sizeable);
        gtk_window_set_decorated(win, b != ui::BorderStyle::None);
        if (!gtk_widget_get_realized(outer_))
          gtk_window_set_type_hint(win, b == ui::BorderStyle::Dialog ? GDK_WINDOW_TYPE_HINT_DIALOG
                                                                     : GDK_WINDOW_TYPE_HINT_NORMAL);
        gtk_window_set_keep_above(win, form().stay_on_top());
        if (form().main_menu() && &form().main_menu()->root() != root_) BuildMenu();
        return;
      }
      case ui::Prop::WindowState:
        if (form().maximized())
          gtk_window_maximize(win);
        else
          gtk_window_unmaximize(win);
        return;
      case ui::Prop::Position:
        if (form().position() == ui::FormPosition::Designed) {
          gtk_window_set_position(win, GTK_WIN_POS_NONE);
          gtk_window_move(win, c_.left(), c_.top());
        } else {
          gtk_window_set_position(win, GTK_WIN_POS_CENTER);
        }
        return;
      case ui::Prop::Bounds:
        ApplyBounds();
        return;
      case ui::Prop::Visible:
        if (c_.visible()) {
          if (!gtk_widget_get_visible(outer_)) gtk_window_present(win);
        } else {
          gtk_widget_hide(outer_);
        }
        return;
      case ui::Prop::Color:
        gtk_widget_queue_draw(client_);
        return;
      case ui::Prop::Enabled:
        gtk_widget_set_sensitive(box_, c_.enabled());
        return;
      case ui::Prop::Font:
      case ui::Prop::Hint:
        return;
      default:
        break;
    }
    Peer::Apply(what);
  }

 private:
  void BuildMenu() {
    ui::Menu* menu = form().main_menu();
    if (!menu) return;
    if (root_) r_.UnbindRoot(*root_);
    if (!menubar_) {
      menubar_ = gtk_menu_bar_new();
      g_object_ref_sink(menubar_);
      Name(menubar_, menu->root().name());
      gtk_widget_show(menubar_);
      gtk_box_pack_start(GTK_BOX(box_), menubar_, FALSE, FALSE, 0);
    }
    root_ = &menu->root();
    r_.BindRoot(*root_, menubar_);
  }

  int MenuBarHeight() {
    if (!menubar_ || !gtk_widget_get_visible(menubar_)) return 0;
    if (gtk_widget_get_realized(menubar_)) return gtk_widget_get_allocated_height(menubar_);
    int min = 0, nat = 0;
    gtk_widget_get_preferred_height(menubar_, &min, &nat);
    return nat;
  }

  void ApplyBounds() {
    const ui::Rect& b = c_.bounds();
    int w = std::max(b.width, 1), h = std::max(b.height, 1);
    SetNaturalSize(client_, w, h);
    if (w != seen_w_ || h != seen_h_) {
      seen_w_ = w;
      seen_h_ = h;
      gtk_window_resize(GTK_WINDOW(outer_), w, h + MenuBarHeight());
    }
    if (form().position() == ui::FormPosition::Designed &&
        (b.left != seen_x_ || b.top != seen_y_)) {
      seen_x_ = b.left;
      seen_y_ = b.top;
      gtk_window_move(GTK_WINDOW(outer_), b.left, b.top);
    }
  }

  // The user (or the window manager) gave the window another size or place: the model takes
  // it and lays the form out again.
  void FeedBack() {
    Later([this] {
      ui::Rect b = c_.bounds();
      ui::Rect r{seen_x_, seen_y_, seen_w_, seen_h_};
      if (!(r == b)) c_.SetBounds(r);
    });
  }

  static void OnClientAllocate(GtkWidget*, GdkRectangle* a, gpointer self) {
    auto* p = static_cast<FormPeer*>(self);
    if (a->width == p->seen_w_ && a->height == p->seen_h_) return;
    p->seen_w_ = a->width;
    p->seen_h_ = a->height;
    p->FeedBack();
  }

  static gboolean OnConfigure(GtkWidget* w, GdkEvent*, gpointer self) {
    auto* p = static_cast<FormPeer*>(self);
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(w), &x, &y);
    if (x != p->seen_x_ || y != p->seen_y_) {
      p->seen_x_ = x;
      p->seen_y_ = y;
      p->FeedBack();
    }
    return FALSE;
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    // The model decides: Close runs OnClose and hides the form (or ends the program).
    static_cast<FormPeer*>(self)->form().Close();
    return TRUE;
  }

  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* ev, gpointer self) {
    auto* p = static_cast<FormPeer*>(self);
    ui::KeyMessage m;
    // The key's own code, whatever shift state or layout made the character.
    GdkKeymap* keymap = gdk_keymap_get_for_display(gtk_widget_get_display(p->outer_));
    guint base = 0;
    if (ev->hardware_keycode &&
        gdk_keymap_translate_keyboard_state(
            keymap, ev->hardware_keycode,
            static_cast<GdkModifierType>(
                ev->state & ~(GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_LOCK_MASK)),
            ev->group, &base, nullptr, nullptr, nullptr))
      m.key = GtkRenderer::VirtualKey(base);
    if (!m.key) m.key = GtkRenderer::VirtualKey(ev->keyval);
    if (!m.key) return FALSE;
    m.ctrl = (ev->state & GDK_CONTROL_MASK) != 0;
    m.alt = (ev->state & GDK_MOD1_MASK) != 0;
    m.shift = (ev->state & GDK_SHIFT_MASK) != 0;
    m.form = &p->form();
    return p->form().application().DispatchKey(m) ? TRUE : FALSE;
  }

  GtkWidget* box_ = nullptr;
  GtkWidget* client_ = nullptr;   // reference held
  GtkWidget* menubar_ = nullptr;  // reference held
  ui::MenuItem* root_ = nullptr;
  int seen_w_ = -1, seen_h_ = -1;  // the client size last asked for or allocated
  int seen_x_ = -1, seen_y_ = -1;  // the window's place last asked for or seen
};

// ------------------------------------------------------------------------------------------
// Menu peers

class RootMenuPeer : public ui::MenuPeer {
 public:
  RootMenuPeer(GtkRenderer& r, ui::MenuItem& root) : r_(r), root_(root) {}
  ~RootMenuPeer() override { r_.UnbindRoot(root_); }
  void Update() override {}
  void ChildrenChanged() override { r_.RelinkMenu(root_); }

 private:
  GtkRenderer& r_;
  ui::MenuItem& root_;
};

class MenuItemPeer : public ui::MenuPeer {
 public:
  MenuItemPeer(GtkRenderer& r, ui::MenuItem& item)
      : r_(r), item_(item), alive_(std::make_shared<bool>(true)) {
    Build();
  }
  ~MenuItemPeer() override {
    *alive_ = false;
    RemoveFromParent(widget_);
    gtk_widget_destroy(widget_);
    g_object_unref(widget_);
    if (submenu_) {
      gtk_widget_destroy(submenu_);
      g_object_unref(submenu_);
    }
  }

  GtkWidget* widget() const { return widget_; }
  // The submenu of the item, made on first use.
  GtkWidget* submenu() {
    if (!submenu_) {
      submenu_ = gtk_menu_new();
      g_object_ref_sink(submenu_);
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget_), submenu_);
    }
    return submenu_;
  }

  void Update() override {
    if (!item_.is_separator() && item_.checked() != check_) {
      // A plain item that gets a check mark (or loses it) becomes the other kind of item.
      GtkWidget* old = widget_;
      if (submenu_) gtk_menu_item_set_submenu(GTK_MENU_ITEM(old), nullptr);
      RemoveFromParent(old);
      gtk_widget_destroy(old);
      g_object_unref(old);
      Build();
      if (item_.parent()) r_.RelinkMenu(*item_.parent());
      return;
    }
    Sync();
  }
  void ChildrenChanged() override {
    if (!item_.items().empty() || submenu_) r_.RelinkMenu(item_);
  }

 private:
  void Build() {
    if (item_.is_separator()) {
      widget_ = gtk_separator_menu_item_new();
      check_ = false;
    } else {
      check_ = item_.checked();
      widget_ = check_ ? gtk_check_menu_item_new() : gtk_menu_item_new();
      if (check_)
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(widget_), item_.radio());
      gtk_menu_item_set_use_underline(GTK_MENU_ITEM(widget_), TRUE);
      g_signal_connect_after(widget_, "activate", G_CALLBACK(OnActivate), this);
    }
    g_object_ref_sink(widget_);
    if (!item_.name().empty()) Name(widget_, item_.name());
    if (submenu_) gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget_), submenu_);
    Sync();
  }

  void Sync() {
    gtk_widget_set_visible(widget_, item_.visible());
    if (item_.is_separator()) return;
    gtk_menu_item_set_label(GTK_MENU_ITEM(widget_), MnemonicText(item_.caption()).c_str());
    gtk_widget_set_sensitive(widget_, item_.enabled());
    if (check_) {
      auto* cm = GTK_CHECK_MENU_ITEM(widget_);
      gtk_check_menu_item_set_draw_as_radio(cm, item_.radio());
      if (gtk_check_menu_item_get_active(cm) != item_.checked()) {
        syncing_ = true;  // setting the mark activates the item: not a choice of the user's
        gtk_check_menu_item_set_active(cm, item_.checked());
        syncing_ = false;
      }
    }
  }

  static void OnActivate(GtkMenuItem* w, gpointer self) {
    auto* p = static_cast<MenuItemPeer*>(self);
    if (p->syncing_ || GTK_WIDGET(w) != p->widget_) return;
    // An item that opens a submenu is activated as its submenu opens, as the original raised
    // the click of such an item.
    Alive alive = p->alive_;
    p->item_.Click();
    // The handler decides the check mark: the widget shows the model's.
    if (*alive) p->Update();
  }

  GtkRenderer& r_;
  ui::MenuItem& item_;
  Alive alive_;
  GtkWidget* widget_ = nullptr;   // reference held
  GtkWidget* submenu_ = nullptr;  // reference held
  bool check_ = false;
  bool syncing_ = false;
};

}  // namespace

// ------------------------------------------------------------------------------------------
// The renderer

GtkRenderer::GtkRenderer() {
  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kRendererCss, -1, nullptr);
  if (GdkScreen* screen = gdk_screen_get_default())
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css_),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  // Menus, boxes and anything else without a font of its own: the Japanese stand-in of the
  // original's system font, at the original's 9 points.
  if (GtkSettings* s = gtk_settings_get_default())
    g_object_set(s, "gtk-font-name", "IPAPGothic 9", nullptr);
}

GtkRenderer::~GtkRenderer() {
  for (auto& [menu, widget] : popups_) {
    gtk_widget_destroy(widget);
    g_object_unref(widget);
  }
  for (auto& [root, shell] : roots_) g_object_unref(shell);
  if (GdkScreen* screen = gdk_screen_get_default())
    gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(css_));
  g_object_unref(css_);
}

std::unique_ptr<ui::ControlPeer> GtkRenderer::CreatePeer(ui::Control& c) {
  std::unique_ptr<Peer> p;
  switch (c.kind()) {
    case ui::Kind::Form:
      p = std::make_unique<FormPeer>(*this, c);
      break;
    case ui::Kind::Panel:
      p = std::make_unique<PanelPeer>(*this, c);
      break;
    case ui::Kind::GroupBox:
      p = std::make_unique<GroupBoxPeer>(*this, c);
      break;
    case ui::Kind::Button:
      p = std::make_unique<ButtonPeer>(*this, c);
      break;
    case ui::Kind::SpeedButton:
      p = std::make_unique<ButtonPeer>(*this, c, true);
      break;
    case ui::Kind::CheckBox:
      p = std::make_unique<CheckBoxPeer>(*this, c);
      break;
    case ui::Kind::Edit:
      p = std::make_unique<EditPeer>(*this, c);
      break;
    case ui::Kind::Memo:
      p = std::make_unique<MemoPeer>(*this, c);
      break;
    case ui::Kind::Label:
      p = std::make_unique<LabelPeer>(*this, c);
      break;
    case ui::Kind::StatusBar:
      p = std::make_unique<StatusBarPeer>(*this, c);
      break;
    case ui::Kind::PageControl:
      p = std::make_unique<PageControlPeer>(*this, c);
      break;
    case ui::Kind::TabSheet:
      p = std::make_unique<TabSheetPeer>(*this, c);
      break;
    case ui::Kind::Browser:
      p = std::make_unique<BrowserPeer>(*this, c);
      break;
    case ui::Kind::Image:
      p = std::make_unique<ImagePeer>(*this, c);
      break;
    case ui::Kind::ListBox:
      p = std::make_unique<ListBoxPeer>(*this, c);
      break;
    case ui::Kind::Gauge:
      p = std::make_unique<GaugePeer>(*this, c);
      break;
    case ui::Kind::Shape:
      p = std::make_unique<PlainPeer>(*this, c);
      break;
  }
  p->Start();
  return p;
}

std::unique_ptr<ui::MenuPeer> GtkRenderer::CreateMenuPeer(ui::MenuItem& item) {
  if (!item.parent()) return std::make_unique<RootMenuPeer>(*this, item);
  return std::make_unique<MenuItemPeer>(*this, item);
}

void GtkRenderer::BindRoot(ui::MenuItem& root, GtkWidget* shell) {
  UnbindRoot(root);
  g_object_ref(shell);
  roots_[&root] = shell;
  if (!root.peer()) root.SetPeer(CreateMenuPeer(root));
  RelinkMenu(root);
}

void GtkRenderer::UnbindRoot(ui::MenuItem& root) {
  auto it = roots_.find(&root);
  if (it == roots_.end()) return;
  GtkWidget* shell = it->second;
  roots_.erase(it);
  for (auto p = popups_.begin(); p != popups_.end();) {
    if (p->second == shell) {
      gtk_widget_destroy(p->second);
      g_object_unref(p->second);
      p = popups_.erase(p);
    } else {
      ++p;
    }
  }
  RemoveAllChildren(shell);
  g_object_unref(shell);
}

void GtkRenderer::RelinkMenu(ui::MenuItem& parent) {
  GtkWidget* shell = nullptr;
  if (!parent.parent()) {
    auto it = roots_.find(&parent);
    if (it == roots_.end()) return;
    shell = it->second;
  } else {
    auto* pp = dynamic_cast<MenuItemPeer*>(parent.peer());
    if (!pp) return;
    shell = pp->submenu();
  }
  RemoveAllChildren(shell);
  for (auto& item : parent.items()) {
    bool fresh = !item->peer();
    if (fresh) item->SetPeer(CreateMenuPeer(*item));
    auto* ip = dynamic_cast<MenuItemPeer*>(item->peer());
    if (!ip) continue;
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), ip->widget());
    if (fresh && !item->items().empty()) RelinkMenu(*item);
  }
}

ui::Form* GtkRenderer::FormOfMenu(const ui::MenuItem& root) const {
  for (ui::Form* f : forms_) {
    if (f->popup_menu() && &f->popup_menu()->root() == &root) return f;
    if (f->main_menu() && &f->main_menu()->root() == &root) return f;
  }
  return nullptr;
}

void GtkRenderer::FormCreated(ui::Form& form) { forms_.push_back(&form); }

void GtkRenderer::FormDestroyed(ui::Form& form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
}

void GtkRenderer::Popup(ui::Menu& menu) {
  GtkWidget* shell = nullptr;
  if (auto it = popups_.find(&menu); it != popups_.end()) {
    shell = it->second;
  } else {
    shell = gtk_menu_new();
    g_object_ref_sink(shell);
    Name(shell, menu.root().name());
    BindRoot(menu.root(), shell);
    popups_[&menu] = shell;
  }
  GdkEvent* ev = gtk_get_current_event();
  if (ev) {
    gtk_menu_popup_at_pointer(GTK_MENU(shell), ev);
    gdk_event_free(ev);
    return;
  }
  // Not in answer to an event (a timer, a hot key of the model's): at the pointer, over the
  // form that owns the menu.
  ui::Form* form = FormOfMenu(menu.root());
  GtkWidget* win = form ? WidgetOf(*form) : nullptr;
  GdkWindow* gw = win ? gtk_widget_get_window(win) : nullptr;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (gw && pointer) {
    int x = 0, y = 0;
    gdk_window_get_device_position(gw, pointer, &x, &y, nullptr);
    GdkRectangle rect{x, y, 1, 1};
    // The menu grabs the pointer as for a click there.
    GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(gw));
    trigger->button.time = GDK_CURRENT_TIME;
    trigger->button.x = x;
    trigger->button.y = y;
    trigger->button.button = 3;
    gdk_event_set_device(trigger, pointer);
    gtk_menu_popup_at_rect(GTK_MENU(shell), gw, &rect, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);
  } else {
    gtk_menu_popup_at_pointer(GTK_MENU(shell), nullptr);
  }
}

GtkWidget* GtkRenderer::WidgetOf(const ui::Control& control) {
  auto* p = dynamic_cast<Peer*>(control.peer());
  return p ? p->widget() : nullptr;
}

GtkWidget* GtkRenderer::ContainerOf(const ui::Control& control) {
  auto* p = dynamic_cast<Peer*>(control.peer());
  return p ? p->inner() : nullptr;
}

GtkWidget* GtkRenderer::StatusPanelOf(const ui::StatusBar& bar, int index) {
  auto* p = dynamic_cast<StatusBarPeer*>(bar.peer());
  return p ? p->Panel(index) : nullptr;
}

GtkWidget* GtkRenderer::MenuItemWidgetOf(const ui::MenuItem& item) {
  auto* p = dynamic_cast<MenuItemPeer*>(item.peer());
  return p ? p->widget() : nullptr;
}

GtkWidget* GtkRenderer::MenuBarOf(const ui::Form& form) {
  auto* p = dynamic_cast<FormPeer*>(form.peer());
  return p ? p->menubar() : nullptr;
}

GtkWidget* GtkRenderer::PopupWidgetOf(ui::Menu& menu) const {
  auto it = popups_.find(&menu);
  return it == popups_.end() ? nullptr : it->second;
}

std::string GtkRenderer::FontFamily(const std::string& sjis_name) {
  struct Stand {
    const char* original;
    const char* stand_in;
  };
  // The original's Japanese fonts and the IPA fonts drawn in their place (fonts-ipafont).
  static const Stand kStandIns[] = {
      {"ＭＳ Ｐゴシック", "IPAPGothic"},  {"ＭＳ ゴシック", "IPAGothic"},
      {"ＭＳ Ｐ明朝", "IPAPMincho"},      {"ＭＳ 明朝", "IPAMincho"},
      {"ＭＳ ＵＩ Gothic", "IPAPGothic"}, {"MS UI Gothic", "IPAPGothic"},
      {"MS PGothic", "IPAPGothic"},       {"MS Gothic", "IPAGothic"},
  };
  std::string utf8 = ToUtf8(sjis_name);
  for (const Stand& s : kStandIns)
    if (utf8 == s.original) return s.stand_in;
  return utf8;
}

int GtkRenderer::VirtualKey(unsigned kv) {
  if (kv >= GDK_KEY_a && kv <= GDK_KEY_z) return 'A' + static_cast<int>(kv - GDK_KEY_a);
  if (kv >= GDK_KEY_A && kv <= GDK_KEY_Z) return 'A' + static_cast<int>(kv - GDK_KEY_A);
  if (kv >= GDK_KEY_0 && kv <= GDK_KEY_9) return '0' + static_cast<int>(kv - GDK_KEY_0);
  if (kv >= GDK_KEY_F1 && kv <= GDK_KEY_F24) return 0x70 + static_cast<int>(kv - GDK_KEY_F1);
  if (kv >= GDK_KEY_KP_0 && kv <= GDK_KEY_KP_9) return 0x60 + static_cast<int>(kv - GDK_KEY_KP_0);
  switch (kv) {
    case GDK_KEY_BackSpace:
      return 0x08;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return 0x09;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return 0x0D;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
      return 0x10;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
      return 0x11;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
    case GDK_KEY_Meta_L:
    case GDK_KEY_Meta_R:
      return 0x12;
    case GDK_KEY_Pause:
      return 0x13;
    case GDK_KEY_Caps_Lock:
      return 0x14;
    case GDK_KEY_Escape:
      return 0x1B;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
      return 0x20;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
      return 0x21;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
      return 0x22;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      return 0x23;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      return 0x24;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return 0x25;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return 0x26;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return 0x27;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return 0x28;
    case GDK_KEY_Print:
      return 0x2C;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert:
      return 0x2D;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      return 0x2E;
    case GDK_KEY_Menu:
      return 0x5D;
    case GDK_KEY_KP_Multiply:
      return 0x6A;
    case GDK_KEY_KP_Add:
      return 0x6B;
    case GDK_KEY_KP_Subtract:
      return 0x6D;
    case GDK_KEY_KP_Decimal:
      return 0x6E;
    case GDK_KEY_KP_Divide:
      return 0x6F;
    case GDK_KEY_Num_Lock:
      return 0x90;
    case GDK_KEY_Scroll_Lock:
      return 0x91;
    case GDK_KEY_semicolon:
    case GDK_KEY_colon:
      return 0xBA;
    case GDK_KEY_equal:
    case GDK_KEY_plus:
      return 0xBB;
    case GDK_KEY_comma:
      return 0xBC;
    case GDK_KEY_minus:
      return 0xBD;
    case GDK_KEY_period:
      return 0xBE;
    case GDK_KEY_slash:
      return 0xBF;
    case GDK_KEY_grave:
      return 0xC0;
    case GDK_KEY_bracketleft:
      return 0xDB;
    case GDK_KEY_backslash:
      return 0xDC;
    case GDK_KEY_bracketright:
      return 0xDD;
    case GDK_KEY_apostrophe:
      return 0xDE;
    default:
      return 0;
  }
}

}  // namespace platform::gtk
