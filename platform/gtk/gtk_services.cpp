#include "platform/gtk/gtk_services.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <ctime>

#include "platform/gtk/gtk_renderer.h"
#include "text/files.h"
#include "text/sjis.h"

namespace platform::gtk {

// --- the loop and its timers ---------------------------------------------------------------

namespace {

struct Tick {
  std::function<void()> fn;
  std::shared_ptr<std::set<unsigned>> ids;
  unsigned id = 0;
};

gboolean FireTick(gpointer data) {
  static_cast<Tick*>(data)->fn();
  return G_SOURCE_CONTINUE;
}

void DropTick(gpointer data) {
  auto* t = static_cast<Tick*>(data);
  t->ids->erase(t->id);
  delete t;
}

}  // namespace

GlibScheduler::GlibScheduler() : ids_(std::make_shared<std::set<unsigned>>()) {}

GlibScheduler::~GlibScheduler() {
  std::set<unsigned> ids = *ids_;
  for (unsigned id : ids) g_source_remove(id);
  while (!loops_.empty()) {
    g_main_loop_quit(loops_.back());
    loops_.pop_back();
  }
}

int GlibScheduler::AddTimer(int interval_ms, std::function<void()> tick) {
  auto* t = new Tick{std::move(tick), ids_, 0};
  t->id = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(std::max(interval_ms, 0)),
                             FireTick, t, DropTick);
  ids_->insert(t->id);
  return static_cast<int>(t->id);
}

void GlibScheduler::RemoveTimer(int id) {
  unsigned uid = static_cast<unsigned>(id);
  if (!ids_->count(uid)) return;
  ids_->erase(uid);
  g_source_remove(uid);
}

void GlibScheduler::Run() {
  if (quit_pending_) {
    quit_pending_ = false;
    return;
  }
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  loops_.push_back(loop);
  g_main_loop_run(loop);
  if (!loops_.empty() && loops_.back() == loop) loops_.pop_back();
  g_main_loop_unref(loop);
}

void GlibScheduler::Quit() {
  if (loops_.empty()) {
    quit_pending_ = true;
    return;
  }
  g_main_loop_quit(loops_.back());
}

// --- the clock -----------------------------------------------------------------------------

std::int64_t RealClock::NowMs() { return g_get_monotonic_time() / 1000; }

LocalTime RealClock::Local() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.weekday = tm.tm_wday;
  return t;
}

void RealClock::Sleep(int ms) {
  if (ms > 0) g_usleep(static_cast<gulong>(ms) * 1000);
}

// --- dialogs -------------------------------------------------------------------------------

GtkWindow* GtkDialogs::ActiveWindow() {
  GtkWindow* found = nullptr;
  GList* all = gtk_window_list_toplevels();
  for (GList* l = all; l && !found; l = l->next) {
    GtkWindow* w = GTK_WINDOW(l->data);
    if (gtk_widget_get_visible(GTK_WIDGET(w)) && gtk_window_is_active(w)) found = w;
  }
  for (GList* l = all; l && !found; l = l->next) {
    GtkWindow* w = GTK_WINDOW(l->data);
    if (gtk_widget_get_visible(GTK_WIDGET(w)) && gtk_window_has_toplevel_focus(w)) found = w;
  }
  g_list_free(all);
  return found;
}

namespace {

// Runs a dialog modally; the nested loop keeps the program's timers going.
int RunModal(GtkWidget* dialog, GtkWidget*& current) {
  GtkWidget* outer = current;
  current = dialog;
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  current = outer;
  return response;
}

}  // namespace

Answer GtkDialogs::MessageBox(const std::string& text, const std::string& caption,
                              Buttons buttons) {
  GtkWindow* parent = ActiveWindow();
  GtkWidget* d = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", text::ToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(d), text::ToUtf8(caption).c_str());
  gtk_window_set_position(GTK_WINDOW(d),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  switch (buttons) {
    case Buttons::Ok:
      gtk_dialog_add_button(GTK_DIALOG(d), "OK", GTK_RESPONSE_OK);
      gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
      break;
    case Buttons::OkCancel:
      gtk_dialog_add_button(GTK_DIALOG(d), "OK", GTK_RESPONSE_OK);
      gtk_dialog_add_button(GTK_DIALOG(d), "キャンセル", GTK_RESPONSE_CANCEL);
      gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
      break;
    case Buttons::YesNo:
      gtk_dialog_add_button(GTK_DIALOG(d), "はい(_Y)", GTK_RESPONSE_YES);
      gtk_dialog_add_button(GTK_DIALOG(d), "いいえ(_N)", GTK_RESPONSE_NO);
      gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_YES);
      break;
  }
  int r = RunModal(d, current_);
  gtk_widget_destroy(d);
  switch (r) {
    case GTK_RESPONSE_OK:
      return Answer::Ok;
    case GTK_RESPONSE_CANCEL:
      return Answer::Cancel;
    case GTK_RESPONSE_YES:
      return Answer::Yes;
    case GTK_RESPONSE_NO:
      return Answer::No;
    default:  // closed without a button
      switch (buttons) {
        case Buttons::Ok:
          return Answer::Ok;
        case Buttons::OkCancel:
          return Answer::Cancel;
        case Buttons::YesNo:
          return Answer::No;
      }
  }
  return Answer::Cancel;
}

std::string GtkDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& default_text) {
  GtkWindow* parent = ActiveWindow();
  GtkWidget* d = gtk_dialog_new_with_buttons(
      text::ToUtf8(caption).c_str(), parent,
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "OK",
      GTK_RESPONSE_OK, "キャンセル", GTK_RESPONSE_CANCEL, nullptr);
  gtk_window_set_position(GTK_WINDOW(d),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(d), FALSE);
  gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(d));
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  GtkWidget* label = gtk_label_new(text::ToUtf8(prompt).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), text::ToUtf8(default_text).c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);  // Enter is OK
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 36);
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), box, TRUE, TRUE, 0);
  gtk_widget_show_all(box);
  gtk_widget_grab_focus(entry);
  GtkWidget* outer_entry = entry_;
  entry_ = entry;
  int r = RunModal(d, current_);
  entry_ = outer_entry;
  std::string answer;
  if (r == GTK_RESPONSE_OK) answer = text::ToSjis(gtk_entry_get_text(GTK_ENTRY(entry)));
  gtk_widget_destroy(d);
  return answer;
}

// --- pointer and screen --------------------------------------------------------------------

namespace {

GdkDevice* DefaultPointer() {
  GdkDisplay* d = gdk_display_get_default();
  GdkSeat* seat = d ? gdk_display_get_default_seat(d) : nullptr;
  return seat ? gdk_seat_get_pointer(seat) : nullptr;
}

GdkRectangle PrimaryMonitor() {
  GdkRectangle g{0, 0, 0, 0};
  GdkDisplay* d = gdk_display_get_default();
  if (!d) return g;
  GdkMonitor* m = gdk_display_get_primary_monitor(d);
  if (!m && gdk_display_get_n_monitors(d) > 0) m = gdk_display_get_monitor(d, 0);
  if (m) gdk_monitor_get_geometry(m, &g);
  return g;
}

}  // namespace

Point GdkPointer::CursorPos() {
  const std::int64_t now = g_get_monotonic_time();
  if (!motion_.TakeMoved() && now - answered_us_ < 1000000) return last_;
  Point p;
  if (GdkDevice* dev = DefaultPointer()) {
    int x = 0, y = 0;
    gdk_device_get_position(dev, nullptr, &x, &y);
    p.x = x;
    p.y = y;
  }
  ++queries_;
  answered_us_ = now;
  last_ = p;
  return p;
}

bool GdkPointer::IsActive(const ui::Form& form) {
  GtkWidget* w = GtkRenderer::WidgetOf(form);
  return w && GTK_IS_WINDOW(w) && gtk_window_is_active(GTK_WINDOW(w));
}

GdkPointer::~GdkPointer() { ForgetOrigin(); }

void GdkPointer::ForgetOrigin() {
  if (origin_.client) {
    g_signal_handlers_disconnect_by_data(origin_.client, this);
    g_object_remove_weak_pointer(G_OBJECT(origin_.client),
                                 reinterpret_cast<gpointer*>(&origin_.client));
  }
  if (origin_.toplevel) {
    g_signal_handlers_disconnect_by_data(origin_.toplevel, this);
    g_object_remove_weak_pointer(G_OBJECT(origin_.toplevel),
                                 reinterpret_cast<gpointer*>(&origin_.toplevel));
  }
  origin_ = {};
}

Point GdkPointer::ClientOrigin(const ui::Form& form) {
  GtkWidget* client = GtkRenderer::ContainerOf(form);
  GdkWindow* win = client ? gtk_widget_get_window(client) : nullptr;
  if (!win) return Point{};
  // Asked at every tick too: the answer is kept until the window is configured (moved or
  // resized) or the client area laid out again, or for a second at most.
  GtkWidget* toplevel = gtk_widget_get_toplevel(client);
  if (client != origin_.client || toplevel != origin_.toplevel) {
    ForgetOrigin();
    origin_.client = client;
    origin_.toplevel = toplevel;
    g_object_add_weak_pointer(G_OBJECT(client), reinterpret_cast<gpointer*>(&origin_.client));
    g_object_add_weak_pointer(G_OBJECT(toplevel), reinterpret_cast<gpointer*>(&origin_.toplevel));
    auto stale = +[](GtkWidget*, gpointer, gpointer self) -> gboolean {
      static_cast<GdkPointer*>(self)->origin_.known = false;
      return FALSE;
    };
    g_signal_connect(toplevel, "configure-event", G_CALLBACK(stale), this);
    g_signal_connect(client, "size-allocate", G_CALLBACK(stale), this);
  }
  const std::int64_t now = g_get_monotonic_time();
  if (origin_.known && now - origin_.at_us < 1000000) return origin_.origin;
  int x = 0, y = 0;
  gdk_window_get_origin(win, &x, &y);
  GtkAllocation a;
  gtk_widget_get_allocation(client, &a);
  if (!gtk_widget_get_has_window(client)) {
    x += a.x;
    y += a.y;
  }
  origin_.origin = Point{x, y};
  origin_.known = true;
  origin_.at_us = now;
  return origin_.origin;
}

int GdkPointer::ScreenWidth() { return PrimaryMonitor().width; }
int GdkPointer::ScreenHeight() { return PrimaryMonitor().height; }

// --- power ---------------------------------------------------------------------------------

void LogindPower::PowerOff() {
  GError* err = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &err);
  if (!bus) {
    if (err) g_error_free(err);
    return;
  }
  // interactive = false: no password question; logind's policy for an active local session
  // allows it, as the original's shut-down privilege did for the logged-in user.
  g_dbus_connection_call(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "PowerOff", g_variant_new("(b)", FALSE),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  // The message is queued on the connection, which GIO keeps as the shared system bus; send
  // it now rather than at the next turn of the loop.
  g_dbus_connection_flush_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
}

// --- the shell -----------------------------------------------------------------------------

std::vector<std::string> SplitParameters(std::string_view s) {
  std::vector<std::string> args;
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (true) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < s.size() && (quoted || !blank(s[i]))) {
      if (s[i] == '\\') {
        std::size_t n = 0;
        while (i < s.size() && s[i] == '\\') {
          ++n;
          ++i;
        }
        if (i < s.size() && s[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(n, '\\');
        }
      } else if (s[i] == '"') {
        // "" inside quotes is a literal quote, as the C runtime reads it.
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += s[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool DesktopShell::Open(const std::string& target, const std::string& parameters) {
  // Shift-JIS may hold a backslash byte inside a character: convert before reading the path.
  std::string utf8 = text::ToUtf8(target);
  if (utf8.empty()) return false;
  std::string local = text::LocalPath(utf8);
  if (g_file_test(local.c_str(), G_FILE_TEST_IS_REGULAR) &&
      g_file_test(local.c_str(), G_FILE_TEST_IS_EXECUTABLE)) {
    gchar* abs = g_canonicalize_filename(local.c_str(), nullptr);
    std::vector<std::string> args = SplitParameters(text::ToUtf8(parameters));
    std::vector<gchar*> argv;
    argv.push_back(abs);
    argv.push_back(const_cast<gchar*>(local.c_str()));
    for (auto& a : args) argv.push_back(const_cast<gchar*>(a.c_str()));
    argv.push_back(nullptr);
    GError* err = nullptr;
    gboolean ok = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_FILE_AND_ARGV_ZERO, nullptr,
                                nullptr, nullptr, &err);
    if (err) g_error_free(err);
    g_free(abs);
    return ok;
  }
  std::string uri;
  if (g_file_test(local.c_str(), G_FILE_TEST_EXISTS)) {
    gchar* abs = g_canonicalize_filename(local.c_str(), nullptr);
    gchar* u = g_filename_to_uri(abs, nullptr, nullptr);
    if (u) uri = u;
    g_free(u);
    g_free(abs);
  } else if (g_uri_peek_scheme(utf8.c_str())) {
    uri = utf8;
  }
  if (uri.empty()) return false;
  GError* err = nullptr;
  gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &err);
  if (err) g_error_free(err);
  return ok;
}

bool RecordingShell::Open(const std::string& target, const std::string& parameters) {
  calls.push_back({target, parameters});
  return result;
}

}  // namespace platform::gtk
