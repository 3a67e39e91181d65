// The GTK renderer on a real display: model changes reach the widgets, what the user does with
// the widgets reaches the model (once, and only what the user did), keys go through the
// application's hook before the focused widget, sheets and browsers sit where the model lays
// them out, and assistive technologies see the controls' names.
#include "platform/gtk/gtk_renderer.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/gtk_services.h"
#include "platform/gtk/webkit_engine.h"
#include "platform/web_browser.h"
#include "tests/e2e/gtk_events.h"
#include "tests/e2e/xtest_pointer.h"
#include "text/sjis.h"
#include "ui/application.h"
#include "ui/form.h"

namespace {

using platform::gtk::GtkRenderer;
using text::literals::operator""_sj;

// Runs the GLib main loop until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, int ms = 5000) {
  return ::e2e::PumpUntil(cond, ms);
}

GtkAllocation Allocation(GtkWidget* w) {
  GtkAllocation a;
  gtk_widget_get_allocation(w, &a);
  return a;
}

// Where a widget sits inside another, in pixels.
std::pair<int, int> PositionIn(GtkWidget* w, GtkWidget* ancestor) {
  int x = -1, y = -1;
  gtk_widget_translate_coordinates(w, ancestor, 0, 0, &x, &y);
  return {x, y};
}

std::string LabelText(GtkWidget* w) {
  if (GTK_IS_LABEL(w)) return gtk_label_get_text(GTK_LABEL(w));
  if (GTK_IS_BIN(w)) return LabelText(gtk_bin_get_child(GTK_BIN(w)));
  return {};
}

using e2e::SendKey;

// A form with one control of each kind the main window and the login manager use.
class GtkRendererTest : public ::testing::Test {
 protected:
  GtkRendererTest() : app(scheduler, &renderer), form(app, "TestForm") {
    form.SetCaption("テスト窓"_sj);
    form.SetClientSize(480, 320);
    form.SetFont({"ＭＳ Ｐゴシック"_sj, -12, false, {0, 0, 0}});
    form.SetPosition(ui::FormPosition::DesktopCenter);
    app.SetMainForm(&form);

    ui::Menu& mm = form.CreateMainMenu("MainMenu1");
    file = mm.Add("File1", "ファイル(&F)"_sj);
    exit1 = file->Add("Exit1", "終了"_sj);
    exit1->SetOnClick([this](ui::MenuItem&) { ++exit_clicks; });
    file->AddSeparator("N1");
    lock_item = file->Add("opLock", "ロック"_sj);
    lock_item->SetOnClick([this](ui::MenuItem& m) {
      ++lock_clicks;
      m.SetChecked(!m.checked());
    });

    top = form.Add<ui::Panel>("Top");
    top->SetBounds({0, 0, 480, 41});
    top->SetAlign(ui::Align::Top);
    top->SetColor(ui::Color::Rgb(60, 60, 60));
    group = top->Add<ui::GroupBox>("TabPanel");
    group->SetCaption("タブ操作"_sj);
    group->SetBounds({0, 0, 200, 41});
    group->SetAlign(ui::Align::Left);
    add = group->Add<ui::Button>("PageAdd");
    add->SetCaption("開く"_sj);
    add->SetBounds({4, 14, 52, 22});
    add->SetHint("タブを追加"_sj);
    add->SetShowHint(true);
    add->OnClick = [this] { ++add_clicks; };
    lock = group->Add<ui::CheckBox>("cbTabLock");
    lock->SetCaption("ロック"_sj);
    lock->SetBounds({114, 16, 58, 17});
    lock->OnClick = [this] { ++lock_box_clicks; };

    side = form.Add<ui::Panel>("Side");
    side->SetBounds({0, 41, 200, 260});
    side->SetAlign(ui::Align::Left);
    user = side->Add<ui::Edit>("UserID");
    user->SetBounds({8, 8, 120, 21});
    user->SetHint("ＨｏｂｎｅｓｔＩＤ入力"_sj);
    user->OnChange = [this] { ++user_changes; };
    password = side->Add<ui::Edit>("PassWord");
    password->SetBounds({8, 36, 120, 21});
    password->SetPasswordChar('*');
    login = side->Add<ui::Button>("Button1");
    login->SetCaption("ログイン"_sj);
    login->SetBounds({132, 8, 60, 22});
    login->SetDefault(true);
    login->OnClick = [this] { ++login_clicks; };

    sb = form.Add<ui::StatusBar>("SB");
    sb->SetBounds({0, 301, 480, 19});
    sb->SetAlign(ui::Align::Bottom);
    sb->SetPanelCount(2);
    sb->SetPanelWidth(0, 200);
    sb->SetPanelWidth(1, 30);
    sb->SetPanelText(1, "Document Completed.");

    tabs = form.Add<ui::PageControl>("ScreenTab");
    tabs->SetBounds({200, 41, 280, 260});
    tabs->SetAlign(ui::Align::Client);
    tabs->OnChange = [this] { ++tab_changes; };
    sheet_a = tabs->Add<ui::TabSheet>("TabSheetHobnest");
    sheet_a->SetCaption("ホブネスト"_sj);
    sheet_b = tabs->Add<ui::TabSheet>("TabSheetMyHome");
    sheet_b->SetCaption("マイホーム"_sj);
    tabs->SetActivePage(sheet_a);
  }

  void SetUp() override {
    form.Show();
    window = GtkRenderer::WidgetOf(form);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(
        WaitFor([&] { return gtk_widget_get_mapped(window) && Allocation(W(tabs)).width > 1; }));
  }

  GtkWidget* W(const ui::Control* c) { return GtkRenderer::WidgetOf(*c); }
  GtkNotebook* Notebook() { return GTK_NOTEBOOK(W(tabs)); }

  platform::gtk::GlibScheduler scheduler;
  GtkRenderer renderer;
  ui::Application app;
  ui::Form form;
  GtkWidget* window = nullptr;

  ui::MenuItem *file, *exit1, *lock_item;
  ui::Panel *top, *side;
  ui::GroupBox* group;
  ui::Button *add, *login;
  ui::CheckBox* lock;
  ui::Edit *user, *password;
  ui::StatusBar* sb;
  ui::PageControl* tabs;
  ui::TabSheet *sheet_a, *sheet_b;

  int exit_clicks = 0, lock_clicks = 0, add_clicks = 0, lock_box_clicks = 0, login_clicks = 0;
  int user_changes = 0, tab_changes = 0;
};

TEST_F(GtkRendererTest, FormIsTheWindowTheModelDescribes) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "テスト窓");
  EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(window)));
  // The client area under the menu bar has the model's size.
  GtkWidget* client = GtkRenderer::ContainerOf(form);
  EXPECT_EQ(Allocation(client).width, 480);
  EXPECT_EQ(Allocation(client).height, 320);
  GtkWidget* bar = GtkRenderer::MenuBarOf(form);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(PositionIn(client, window).second, Allocation(bar).height);

  // A dialog border: fixed size, dialog type; the client size still the model's.
  ui::Form dialog(app, "Login");
  dialog.SetCaption("ログインマネージャ"_sj);
  dialog.SetBorderStyle(ui::BorderStyle::Dialog);
  dialog.SetStayOnTop(true);
  dialog.SetPosition(ui::FormPosition::ScreenCenter);
  dialog.SetClientSize(332, 61);
  dialog.Show();
  GtkWidget* dw = GtkRenderer::WidgetOf(dialog);
  ASSERT_TRUE(WaitFor([&] { return gtk_widget_get_mapped(dw); }));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dw)), "ログインマネージャ");
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(dw)));
  EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(dw)), GDK_WINDOW_TYPE_HINT_DIALOG);
  GtkWidget* dc = GtkRenderer::ContainerOf(dialog);
  ASSERT_TRUE(WaitFor([&] { return Allocation(dc).width == 332; }));
  EXPECT_EQ(Allocation(dc).height, 61);
  dialog.Hide();
  EXPECT_TRUE(WaitFor([&] { return !gtk_widget_get_visible(dw); }));
}

TEST_F(GtkRendererTest, ModelChangesReachTheWidgets) {
  GtkWidget* b = W(add);
  add->SetCaption("開いて"_sj);
  EXPECT_EQ(LabelText(b), "開いて");
  add->SetEnabled(false);
  EXPECT_FALSE(gtk_widget_get_sensitive(b));
  add->SetEnabled(true);
  EXPECT_TRUE(gtk_widget_get_sensitive(b));
  add->SetVisible(false);
  EXPECT_FALSE(gtk_widget_get_visible(b));
  add->SetVisible(true);
  EXPECT_TRUE(gtk_widget_get_visible(b));
  gchar* tip = gtk_widget_get_tooltip_text(b);
  EXPECT_STREQ(tip, "タブを追加");
  g_free(tip);
  add->SetShowHint(false);
  EXPECT_EQ(gtk_widget_get_tooltip_text(b), nullptr);

  // Hiding a whole container hides what it holds.
  group->SetVisible(false);
  ASSERT_TRUE(WaitFor([&] { return !gtk_widget_get_mapped(b); }));
  group->SetVisible(true);
  ASSERT_TRUE(WaitFor([&] { return gtk_widget_get_mapped(b); }));

  // Bounds: the button lands at the model's place inside its group box (whose caption and
  // frame GTK draws at its own offsets) and takes the model's size.
  add->SetBounds({30, 16, 70, 20});
  ASSERT_TRUE(WaitFor([&] { return Allocation(b).width == 70 && Allocation(b).height == 20; }));
  EXPECT_EQ(PositionIn(b, W(group)), std::make_pair(30, 16));

  // A model check mark reaches the widget; the widget's toggle does not come back as a click
  // (which would flip the model again and run OnClick twice).
  lock->SetChecked(true);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(lock))));
  EXPECT_TRUE(lock->checked());
  EXPECT_EQ(lock_box_clicks, 1);  // the model's own event of the change
  lock->SetChecked(false);
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(lock))));
  EXPECT_EQ(lock_box_clicks, 2);

  // Edits: text, password masking.
  user->SetText("ホブ太郎"_sj);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(W(user))), "ホブ太郎");
  EXPECT_EQ(user_changes, 1);  // the model's SetText, not echoed back by the widget
  EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(W(password))));
  EXPECT_EQ(gtk_entry_get_invisible_char(GTK_ENTRY(W(password))), gunichar('*'));
  password->SetPasswordChar(0);
  EXPECT_TRUE(gtk_entry_get_visibility(GTK_ENTRY(W(password))));

  // Status bar panels: texts and widths, the last panel taking the rest.
  sb->SetPanelText(0, "ページを読み込み中です"_sj);
  GtkWidget* p0 = GtkRenderer::StatusPanelOf(*sb, 0);
  GtkWidget* p1 = GtkRenderer::StatusPanelOf(*sb, 1);
  ASSERT_TRUE(p0 && p1);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(p0)), "ページを読み込み中です");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(p1)), "Document Completed.");
  ASSERT_TRUE(WaitFor([&] { return Allocation(p0).width == 200; }));
  EXPECT_EQ(Allocation(p1).width, 480 - 200);
}

TEST_F(GtkRendererTest, UserActionsReachTheModelOnce) {
  gtk_button_clicked(GTK_BUTTON(W(add)));
  EXPECT_EQ(add_clicks, 1);
  add->SetEnabled(false);
  gtk_button_clicked(GTK_BUTTON(W(add)));  // a disabled control's click does nothing
  EXPECT_EQ(add_clicks, 1);

  gtk_button_clicked(GTK_BUTTON(W(lock)));
  EXPECT_TRUE(lock->checked());
  EXPECT_EQ(lock_box_clicks, 1);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(lock))));

  // Typing into an edit sets the model's text, which runs OnChange.
  gtk_entry_set_text(GTK_ENTRY(W(user)), "abc");
  EXPECT_EQ(user->text(), "abc");
  EXPECT_EQ(user_changes, 1);
  int at = 0;
  gtk_editable_insert_text(GTK_EDITABLE(W(user)), "ホブ", -1, &at);
  EXPECT_EQ(user->text(), "ホブabc"_sj);

  // The length limit counts Shift-JIS bytes: of four double-byte characters, two fit in five.
  password->SetMaxLength(5);
  gtk_entry_set_text(GTK_ENTRY(W(password)), "");
  int pos = 0;
  gtk_editable_insert_text(GTK_EDITABLE(W(password)), "ああああ", -1, &pos);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(W(password))), "ああ");
  EXPECT_EQ(password->text(), "ああ"_sj);

  // Closing the window asks the model, which ends the program for the main form.
  GdkEvent* del = gdk_event_new(GDK_DELETE);
  del->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  gtk_main_do_event(del);
  gdk_event_free(del);
  EXPECT_TRUE(app.terminated());
  EXPECT_FALSE(form.visible());
  EXPECT_FALSE(gtk_widget_get_visible(window));
}

TEST_F(GtkRendererTest, PageSwitchByTheUserRaisesOnChangeOnceByTheModelNone) {
  GtkNotebook* nb = Notebook();
  ASSERT_EQ(gtk_notebook_get_n_pages(nb), 2);
  EXPECT_EQ(gtk_notebook_get_current_page(nb), 0);

  gtk_notebook_set_current_page(nb, 1);  // what a click on the tab does
  EXPECT_EQ(tabs->active_page(), sheet_b);
  EXPECT_EQ(tab_changes, 1);

  tabs->SetActivePage(sheet_a);
  EXPECT_EQ(gtk_notebook_get_current_page(nb), 0);
  EXPECT_EQ(tab_changes, 1);

  // A sheet added by the program takes its place in the model's order, silently.
  ui::TabSheet* sheet_c = tabs->Add<ui::TabSheet>("TabSheet3");
  sheet_c->SetCaption("新しいタブ"_sj);
  ASSERT_EQ(gtk_notebook_get_n_pages(nb), 3);
  EXPECT_EQ(gtk_notebook_get_nth_page(nb, 2), W(sheet_c));
  tabs->SetActivePage(sheet_c);
  EXPECT_EQ(gtk_notebook_get_current_page(nb), 2);
  // Removing the active sheet: the notebook follows the model's choice without an OnChange.
  tabs->DestroyChild(sheet_c);
  EXPECT_EQ(gtk_notebook_get_n_pages(nb), 2);
  ASSERT_NE(tabs->active_page(), nullptr);
  EXPECT_EQ(gtk_notebook_get_nth_page(nb, gtk_notebook_get_current_page(nb)),
            W(tabs->active_page()));
  EXPECT_EQ(tab_changes, 1);

  // An OnChange that picks another page wins over the user's pick.
  tabs->OnChange = [this] { tabs->SetActivePage(sheet_a); };
  gtk_notebook_set_current_page(nb, 1);
  EXPECT_EQ(tabs->active_page(), sheet_a);
  EXPECT_EQ(gtk_notebook_get_current_page(nb), 0);
}

TEST_F(GtkRendererTest, SheetsAndTheirBrowsersFillTheShownPage) {
  // The sheet's page is where the model lays the sheet out (under the row of tabs).
  GtkWidget* page = W(sheet_a);
  ui::Rect r = sheet_a->bounds();
  ASSERT_TRUE(WaitFor([&] { return Allocation(page).width == r.width; }));
  EXPECT_EQ(Allocation(page).height, r.height);
  EXPECT_EQ(PositionIn(page, W(tabs)), std::make_pair(r.left, r.top));

  platform::gtk::WebKitBrowserFactory factory;
  platform::gtk::RecordingShell shell;
  platform::WebBrowser* wb = platform::WebBrowser::Create(sheet_a, "WB2", factory, shell);
  ASSERT_NE(wb, nullptr);
  wb->SetAlign(ui::Align::Client);
  GtkWidget* view = platform::gtk::EngineWidget(wb->engine());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(W(wb), view);
  EXPECT_EQ(gtk_widget_get_parent(view), GtkRenderer::ContainerOf(*sheet_a));
  ASSERT_TRUE(WaitFor([&] {
    return Allocation(view).width == sheet_a->width() &&
           Allocation(view).height == sheet_a->height();
  }));
  EXPECT_EQ(PositionIn(view, page), std::make_pair(0, 0));

  // The user makes the window larger: the model takes the new client size, lays the form out
  // again, and the browser still fills its sheet.
  int bar = Allocation(GtkRenderer::MenuBarOf(form)).height;
  gtk_window_resize(GTK_WINDOW(window), 640, 420 + bar);
  ASSERT_TRUE(WaitFor([&] { return form.width() == 640 && form.height() == 420; }));
  EXPECT_EQ(tabs->width(), 640 - 200);
  ASSERT_TRUE(WaitFor([&] { return Allocation(view).width == sheet_a->width(); }));
  EXPECT_EQ(Allocation(page).width, 640 - 200);
  EXPECT_EQ(Allocation(view).height, sheet_a->height());
  EXPECT_EQ(sb->top(), 420 - 19);

  // The control goes: its view leaves the sheet (the engine's view is not the sheet's to end).
  g_object_ref(view);
  sheet_a->DestroyChild(wb);
  EXPECT_EQ(gtk_widget_get_parent(view), nullptr);
  GList* left = gtk_container_get_children(GTK_CONTAINER(GtkRenderer::ContainerOf(*sheet_a)));
  EXPECT_EQ(left, nullptr);
  g_list_free(left);
  g_object_unref(view);
}

// Where the client area is on the screen, as the X server says, and as the pointer service
// says without asking it; also after the window has moved.
TEST_F(GtkRendererTest, TheClientOriginFollowsTheWindow) {
  GtkWidget* client = GtkRenderer::ContainerOf(form);
  auto asked = [client] {
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(client), &x, &y);
    GtkAllocation a;
    gtk_widget_get_allocation(client, &a);
    if (!gtk_widget_get_has_window(client)) x += a.x, y += a.y;
    return platform::Point{x, y};
  };
  platform::gtk::GdkPointer pointer;
  EXPECT_EQ(pointer.ClientOrigin(form), asked());
  const platform::Point before = asked();
  gtk_window_move(GTK_WINDOW(window), before.x + 37, before.y + 21);
  ASSERT_TRUE(WaitFor([&] { return asked() != before; }));
  // Seen from the window's configuration, before the second after which it is asked anyway.
  EXPECT_TRUE(WaitFor([&] { return pointer.ClientOrigin(form) == asked(); }, 800));
  EXPECT_EQ(asked().x - before.x, 37);
}

struct KeyCase {
  const char* what;
  guint keyval;
  guint state;
  int key;
  bool ctrl, alt, shift;
};

TEST_F(GtkRendererTest, KeysGoThroughTheHookFirst) {
  std::vector<ui::KeyMessage> seen;
  bool swallow = false;
  app.OnMessage = [&](const ui::KeyMessage& k) {
    seen.push_back(k);
    return swallow;
  };
  const KeyCase cases[] = {
      {"F2", GDK_KEY_F2, 0, 0x71, false, false, false},
      {"F12", GDK_KEY_F12, 0, 0x7B, false, false, false},
      {"Ctrl+Alt+N", GDK_KEY_n, GDK_CONTROL_MASK | GDK_MOD1_MASK, 'N', true, true, false},
      {"Shift+1", GDK_KEY_exclam, GDK_SHIFT_MASK, '1', false, false, true},
      {"Escape", GDK_KEY_Escape, 0, 0x1B, false, false, false},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    SendKey(window, c.keyval, c.state);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].key, c.key);
    EXPECT_EQ(seen[0].ctrl, c.ctrl);
    EXPECT_EQ(seen[0].alt, c.alt);
    EXPECT_EQ(seen[0].shift, c.shift);
    EXPECT_EQ(seen[0].form, &form);
  }

  // A key the hook swallows never reaches the focused field; one it lets pass does.
  gtk_widget_grab_focus(W(user));
  ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), W(user));
  swallow = true;
  SendKey(window, GDK_KEY_a);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(W(user))), "");
  swallow = false;
  SendKey(window, GDK_KEY_b);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(W(user))), "b");
  EXPECT_EQ(user->text(), "b");

  // Enter in an edit presses the form's default button; swallowed, it does not.
  swallow = true;
  SendKey(window, GDK_KEY_Return);
  EXPECT_EQ(login_clicks, 0);
  swallow = false;
  SendKey(window, GDK_KEY_Return);
  EXPECT_EQ(login_clicks, 1);
  EXPECT_EQ(seen.back().key, 0x0D);
}

TEST_F(GtkRendererTest, MenusFollowTheModelAndRunHandlersOnlyWhenChosen) {
  GtkWidget* bar = GtkRenderer::MenuBarOf(form);
  GList* top_items = gtk_container_get_children(GTK_CONTAINER(bar));
  ASSERT_EQ(g_list_length(top_items), 1u);
  EXPECT_EQ(GTK_WIDGET(top_items->data), GtkRenderer::MenuItemWidgetOf(*file));
  g_list_free(top_items);
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(GtkRenderer::MenuItemWidgetOf(*file))),
               "ファイル(_F)");
  GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(GtkRenderer::MenuItemWidgetOf(*file)));
  ASSERT_NE(sub, nullptr);
  GList* items = gtk_container_get_children(GTK_CONTAINER(sub));
  ASSERT_EQ(g_list_length(items), 3u);
  EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_list_nth_data(items, 1)));
  g_list_free(items);

  // Choosing runs the handler once.
  gtk_menu_item_activate(GTK_MENU_ITEM(GtkRenderer::MenuItemWidgetOf(*exit1)));
  EXPECT_EQ(exit_clicks, 1);

  // A check mark set by the program shows without running the handler.
  lock_item->SetChecked(true);
  GtkWidget* w = GtkRenderer::MenuItemWidgetOf(*lock_item);
  ASSERT_TRUE(GTK_IS_CHECK_MENU_ITEM(w));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(w)));
  EXPECT_EQ(lock_clicks, 0);
  // The user's choice runs it once, and the mark is what the handler left: none, so the item
  // is a plain one again, in its place.
  gtk_menu_item_activate(GTK_MENU_ITEM(w));
  EXPECT_EQ(lock_clicks, 1);
  EXPECT_FALSE(lock_item->checked());
  GtkWidget* plain = GtkRenderer::MenuItemWidgetOf(*lock_item);
  EXPECT_FALSE(GTK_IS_CHECK_MENU_ITEM(plain));
  items = gtk_container_get_children(GTK_CONTAINER(sub));
  EXPECT_EQ(g_list_nth_data(items, 2), plain);
  g_list_free(items);

  exit1->SetEnabled(false);
  EXPECT_FALSE(gtk_widget_get_sensitive(GtkRenderer::MenuItemWidgetOf(*exit1)));
  exit1->SetVisible(false);
  EXPECT_FALSE(gtk_widget_get_visible(GtkRenderer::MenuItemWidgetOf(*exit1)));

  // Items added later appear in order; removed ones go.
  ui::MenuItem* extra = file->Add("Extra1", "追加"_sj);
  items = gtk_container_get_children(GTK_CONTAINER(sub));
  EXPECT_EQ(g_list_length(items), 4u);
  EXPECT_EQ(g_list_nth_data(items, 3), GtkRenderer::MenuItemWidgetOf(*extra));
  g_list_free(items);
  file->Remove(extra);
  items = gtk_container_get_children(GTK_CONTAINER(sub));
  EXPECT_EQ(g_list_length(items), 3u);
  g_list_free(items);

  // The popup menu pops up at the pointer.
  ui::Menu& pm = form.CreatePopupMenu("PopupMenu1");
  ui::MenuItem* exit2 = pm.Add("Exit2", "終了"_sj);
  exit1->Twin(*exit2);
  renderer.Popup(pm);
  GtkWidget* popup = renderer.PopupWidgetOf(pm);
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(WaitFor([&] { return gtk_widget_get_mapped(popup); }));
  EXPECT_FALSE(gtk_widget_get_sensitive(GtkRenderer::MenuItemWidgetOf(*exit2)));  // twin's state
  gtk_menu_popdown(GTK_MENU(popup));
}

TEST_F(GtkRendererTest, ControlsAreNamedForAssistiveTechnologies) {
  AtkObject* nb = gtk_widget_get_accessible(W(tabs));
  ASSERT_EQ(atk_object_get_n_accessible_children(nb), 2);
  const char* captions[] = {"ホブネスト", "マイホーム"};
  for (int i = 0; i < 2; ++i) {
    AtkObject* tab = atk_object_ref_accessible_child(nb, i);
    EXPECT_EQ(atk_object_get_role(tab), ATK_ROLE_PAGE_TAB);
    EXPECT_STREQ(atk_object_get_name(tab), captions[i]);
    g_object_unref(tab);
  }
  sheet_b->SetCaption("ホブ太郎のホームページ"_sj);
  AtkObject* tab = atk_object_ref_accessible_child(nb, 1);
  EXPECT_STREQ(atk_object_get_name(tab), "ホブ太郎のホームページ");
  // The selected tab is the active page.
  tabs->SetActivePage(sheet_b);
  AtkStateSet* states = atk_object_ref_state_set(tab);
  EXPECT_TRUE(atk_state_set_contains_state(states, ATK_STATE_SELECTED));
  g_object_unref(states);
  g_object_unref(tab);

  // The status bar and its panels; an edit by its hint; every control by its name.
  AtkObject* bar = gtk_widget_get_accessible(W(sb));
  EXPECT_EQ(atk_object_get_role(bar), ATK_ROLE_STATUSBAR);
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(GtkRenderer::StatusPanelOf(*sb, 1))),
               "Document Completed.");
  sb->SetPanelText(1, "完了"_sj);
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(GtkRenderer::StatusPanelOf(*sb, 1))),
               "完了");
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(W(user))), "ＨｏｂｎｅｓｔＩＤ入力");
  EXPECT_STREQ(atk_object_get_accessible_id(gtk_widget_get_accessible(W(user))), "UserID");
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(W(group))), "タブ操作");

  // Buttons and check boxes expose their caption and state as GTK's own do.
  AtkObject* cb = gtk_widget_get_accessible(W(lock));
  EXPECT_STREQ(atk_object_get_name(cb), "ロック");
  lock->SetChecked(true);
  states = atk_object_ref_state_set(cb);
  EXPECT_TRUE(atk_state_set_contains_state(states, ATK_STATE_CHECKED));
  g_object_unref(states);
  add->SetEnabled(false);
  states = atk_object_ref_state_set(gtk_widget_get_accessible(W(add)));
  EXPECT_FALSE(atk_state_set_contains_state(states, ATK_STATE_ENABLED));
  g_object_unref(states);
}

TEST_F(GtkRendererTest, JapaneseFontsBecomeTheIpaFonts) {
  struct {
    const char* original;
    const char* drawn_with;
  } const fonts[] = {
      {"ＭＳ Ｐゴシック", "IPAPGothic"},
      {"ＭＳ ゴシック", "IPAGothic"},
      {"ＭＳ 明朝", "IPAMincho"},
      {"Arial", "Arial"},
  };
  for (const auto& f : fonts)
    EXPECT_EQ(GtkRenderer::FontFamily(text::ToSjis(f.original)), f.drawn_with) << f.original;

  // A bold label in the model's colour at the model's pixel height.
  ui::Label* label = side->Add<ui::Label>("Label4");
  label->SetCaption("ＩＤ"_sj);
  label->SetBounds({8, 70, 40, 14});
  label->SetFont({"ＭＳ Ｐゴシック"_sj, -12, true, ui::Color::FromWin(4020094)});
  GtkWidget* w = W(label);
  ASSERT_TRUE(GTK_IS_LABEL(w));
  GtkStyleContext* ctx = gtk_widget_get_style_context(w);
  PangoFontDescription* desc = nullptr;
  gtk_style_context_get(ctx, gtk_style_context_get_state(ctx), "font", &desc, nullptr);
  ASSERT_NE(desc, nullptr);
  EXPECT_STREQ(pango_font_description_get_family(desc), "IPAPGothic");
  // 12 pixels, however GTK keeps the size (pixels, or points at the screen's resolution).
  double size = pango_font_description_get_size(desc) / double(PANGO_SCALE);
  if (!pango_font_description_get_size_is_absolute(desc)) {
    double dpi = gdk_screen_get_resolution(gtk_widget_get_screen(w));
    size = size * (dpi > 0 ? dpi : 96.0) / 72.0;
  }
  EXPECT_NEAR(size, 12.0, 0.01);
  EXPECT_EQ(pango_font_description_get_weight(desc), PANGO_WEIGHT_BOLD);
  pango_font_description_free(desc);
  GdkRGBA color;
  gtk_style_context_get_color(ctx, gtk_style_context_get_state(ctx), &color);
  EXPECT_NEAR(color.red * 255, 126, 0.5);
  EXPECT_NEAR(color.green * 255, 87, 0.5);
  EXPECT_NEAR(color.blue * 255, 61, 0.5);

  // Pango really finds the stand-in font on this machine (fonts-ipafont-gothic).
  PangoContext* pc = gtk_widget_get_pango_context(w);
  PangoFontDescription* want = pango_font_description_from_string("IPAPGothic 12px");
  PangoFont* font = pango_context_load_font(pc, want);
  ASSERT_NE(font, nullptr);
  PangoFontDescription* got = pango_font_describe(font);
  EXPECT_STREQ(pango_font_description_get_family(got), "IPAPGothic");
  pango_font_description_free(got);
  pango_font_description_free(want);
  g_object_unref(font);
}

// The loop and its timers: timers fire from the loop, one can end itself, Quit ends Run.
TEST(GlibSchedulerTest, TimersFireUntilRemovedAndQuitEndsRun) {
  platform::gtk::GlibScheduler s;
  int fast = 0, once = 0;
  int fast_id = s.AddTimer(5, [&] { ++fast; });
  int once_id = 0;
  once_id = s.AddTimer(10, [&] {
    ++once;
    s.RemoveTimer(once_id);  // a timer removed from its own tick
  });
  s.AddTimer(60, [&] { s.Quit(); });
  s.Run();
  EXPECT_EQ(once, 1);
  EXPECT_GE(fast, 3);
  s.RemoveTimer(fast_id);
  EXPECT_EQ(s.active_timers(), 1u);  // the quitting one is still there
  s.Quit();                          // no loop running: the next Run returns at once
  s.Run();
  EXPECT_FALSE(s.running());
}

// The page watcher asks where the pointer is at every tick: the display is asked again only
// once the pointer has moved, or after a second for a pointer that a program moved.
TEST(GdkPointerTest, AsksTheDisplayAgainOnlyAfterThePointerHasMoved) {
  using platform::Point;
  platform::gtk::GdkPointer pointer;
  const Point home = pointer.CursorPos();
  e2e::MovePointer(10, 20);
  ASSERT_TRUE(WaitFor([&] { return pointer.CursorPos() == Point{10, 20}; }));
  const int asked = pointer.queries();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pointer.CursorPos(), (Point{10, 20}));
  EXPECT_EQ(pointer.queries(), asked);

  // Seen from its motion, before the second after which the display would be asked anyway.
  e2e::MovePointer(30, 40);
  EXPECT_TRUE(WaitFor([&] { return pointer.CursorPos() == Point{30, 40}; }, 800));
  EXPECT_GT(pointer.queries(), asked);

  e2e::WarpPointer(50, 60);
  EXPECT_TRUE(WaitFor([&] { return pointer.CursorPos() == Point{50, 60}; }, 3000));
  e2e::MovePointer(home.x, home.y);
}

// A message box runs a nested loop in which timers keep firing; its answer comes back.
TEST(GtkDialogsTest, BoxesRunNestedLoopsWithTimersAndReturnAnswers) {
  platform::gtk::GlibScheduler s;
  platform::gtk::GtkDialogs dialogs;
  int ticks = 0;
  int answer = GTK_RESPONSE_NO;
  s.AddTimer(10, [&] {
    ++ticks;
    GtkWidget* d = dialogs.current();
    if (!d || ticks < 3) return;
    if (GtkWidget* e = dialogs.current_entry()) gtk_entry_set_text(GTK_ENTRY(e), "ホブ太郎");
    gtk_dialog_response(GTK_DIALOG(d), answer);
  });
  EXPECT_EQ(dialogs.MessageBox("続けますか"_sj, "確認"_sj, platform::Buttons::YesNo),
            platform::Answer::No);
  EXPECT_GE(ticks, 3);
  ticks = 0;
  answer = GTK_RESPONSE_OK;
  EXPECT_EQ(dialogs.InputBox("ホブネストＩＤの入力"_sj, "ＩＤ"_sj, ""), "ホブ太郎"_sj);
  ticks = 0;
  answer = GTK_RESPONSE_CANCEL;
  EXPECT_EQ(dialogs.InputBox("ホブネストＩＤの入力"_sj, "ＩＤ"_sj, "x"), "");
  EXPECT_EQ(dialogs.current(), nullptr);
}

// Add-in parameters are split as the Windows C runtime split the original's command lines.
TEST(SplitParametersTest, SplitsAsAWindowsCommandLine) {
  struct {
    const char* line;
    std::vector<std::string> args;
  } const cases[] = {
      {"", {}},
      {"0", {"0"}},
      {"  a   b\tc ", {"a", "b", "c"}},
      {"C:\\dir\\file.txt", {"C:\\dir\\file.txt"}},
      {"\"C:\\Program Files\\x\" -q", {"C:\\Program Files\\x", "-q"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"say \\\"hi\\\"", {"say", "\"hi\""}},
      {"\"\"", {""}},
      {"\"a\"\"b\"", {"a\"b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::gtk::SplitParameters(c.line), c.args) << c.line;
}

}  // namespace
