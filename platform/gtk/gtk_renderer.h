// The GTK 3 renderer of the form-and-control layer: one peer per control that mirrors the model
// into widgets and feeds what the user does back into the model.
//
// - Forms are top-level windows: the main menu as a menu bar over the client area, which holds
//   the form's children at the positions the model's layout gives. A resize by the user goes
//   back into the model as the form's new client size, so the model lays the form out again.
// - Every container (client area, panel, group box, tab sheet) places its children in a fixed
//   container at the model's bounds; panels, group boxes and forms paint their colour.
// - Key presses on a form's window go to the application's key hook (Application::DispatchKey)
//   before the focused widget (a web view too) sees them; a key the hook swallows goes no
//   further. Enter in an edit presses the form's default button.
// - Model changes never raise the model's events again: a check mark, a text or an active page
//   set by the program reaches the widget without running OnClick or OnChange.
// - Fonts: "ＭＳ Ｐゴシック" and its relatives become the IPA fonts at the same pixel height.
// - Every widget carries the control's name as its widget name and accessible id; widgets with
//   no text of their own (tab pages, status bar panels, edits) get accessible names.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/control.h"
#include "ui/form.h"
#include "ui/menu.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkCssProvider GtkCssProvider;

namespace platform::gtk {

class GtkRenderer : public ui::Renderer {
 public:
  GtkRenderer();  // gtk_init must have run; the renderer outlives the forms it draws
  ~GtkRenderer() override;
  GtkRenderer(const GtkRenderer&) = delete;
  GtkRenderer& operator=(const GtkRenderer&) = delete;

  std::unique_ptr<ui::ControlPeer> CreatePeer(ui::Control& control) override;
  std::unique_ptr<ui::MenuPeer> CreateMenuPeer(ui::MenuItem& item) override;
  // Pops the menu up at the pointer, over the form that owns it.
  void Popup(ui::Menu& menu) override;

  // The widget that shows a control, for tests and tools: the window of a form, the text view
  // of a memo, the engine's widget of a browser, the frame of a group box, the notebook of a
  // page control, the page (a fixed container) of a tab sheet. nullptr without a peer.
  static GtkWidget* WidgetOf(const ui::Control& control);
  // The fixed container a container control places its children in; nullptr for others.
  static GtkWidget* ContainerOf(const ui::Control& control);
  // The label of a status bar panel.
  static GtkWidget* StatusPanelOf(const ui::StatusBar& bar, int index);
  // The menu item widget of a menu item (nullptr before its menu was built).
  static GtkWidget* MenuItemWidgetOf(const ui::MenuItem& item);
  // The menu bar of a form (nullptr when it has no main menu).
  static GtkWidget* MenuBarOf(const ui::Form& form);
  // The popup menu built for a menu by Popup (nullptr before the first Popup).
  GtkWidget* PopupWidgetOf(ui::Menu& menu) const;

  // The font family a model font name (Shift-JIS) is drawn with.
  static std::string FontFamily(const std::string& sjis_name);
  // A Windows virtual-key code for a GDK key value (0 when it has none).
  static int VirtualKey(unsigned keyval);

  // --- used by the peers ---
  // Builds (again) the menu shell of a root item: the items below it in order.
  void BindRoot(ui::MenuItem& root, GtkWidget* shell);
  void UnbindRoot(ui::MenuItem& root);
  // Puts the widgets of `parent`'s items into its shell (a menu bar, or the submenu of an item).
  void RelinkMenu(ui::MenuItem& parent);
  // The form whose main or popup menu has this root item; nullptr when none is shown.
  ui::Form* FormOfMenu(const ui::MenuItem& root) const;
  void FormCreated(ui::Form& form);
  void FormDestroyed(ui::Form& form);

 private:
  GtkCssProvider* css_ = nullptr;
  std::map<ui::MenuItem*, GtkWidget*> roots_;  // root item -> its menu shell (ref held)
  std::map<ui::Menu*, GtkWidget*> popups_;     // popup menu -> its GtkMenu (ref held)
  std::vector<ui::Form*> forms_;               // forms with a window
};

}  // namespace platform::gtk
