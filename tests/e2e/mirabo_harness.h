// What the end-to-end tests of Mirabo need around the real backend: waiting on the GLib loop
// with deadlines, scripts run in a tab's page, the boxes the program shows answered as a member
// would answer them, keys and text typed into GTK widgets, and a fixture that runs a fresh
// Mirabo in a fresh working folder against hobnest-sim on a free loopback port.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/LoginForm.h"
#include "browser/MainForm.h"
#include "browser/program.h"
#include "hobnest-sim/sim.h"
#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/gtk_renderer.h"
#include "platform/gtk/webkit_engine.h"
#include "platform/web_browser.h"
#include "tests/e2e/gtk_events.h"
#include "text/files.h"
#include "text/hosts.h"
#include "text/sjis.h"

namespace mirabo::e2e {

using platform::gtk::GtkRenderer;

// Runs the GLib main loop until cond holds or timeout_ms have passed.
inline bool PumpUntil(const std::function<bool()>& cond, int timeout_ms = 10000) {
  return ::e2e::PumpUntil(cond, timeout_ms);
}

inline WebKitWebView* ViewOf(platform::WebBrowser& browser) {
  return WEBKIT_WEB_VIEW(platform::gtk::EngineWidget(browser.engine()));
}

// Runs a script in the page's own world of a browser's top document and gives its result as
// text ("error: ..." when it failed, "timeout" when no result came in time).
inline std::string Eval(platform::WebBrowser& browser, const std::string& script,
                        int timeout_ms = 5000) {
  struct Result {
    bool done = false;
    std::string text;
  };
  auto result = std::make_shared<Result>();
  webkit_web_view_evaluate_javascript(
      ViewOf(browser), script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* object, GAsyncResult* res, gpointer data) {
        std::unique_ptr<std::shared_ptr<Result>> holder(
            static_cast<std::shared_ptr<Result>*>(data));
        Result& r = **holder;
        GError* error = nullptr;
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), res, &error);
        if (value) {
          char* s = jsc_value_to_string(value);
          r.text = s ? s : "";
          g_free(s);
          g_object_unref(value);
        } else {
          r.text = std::string("error: ") + (error ? error->message : "?");
          if (error) g_error_free(error);
        }
        r.done = true;
      },
      new std::shared_ptr<Result>(result));
  if (!PumpUntil([&] { return result->done; }, timeout_ms)) return "timeout";
  return result->text;
}

// Notes when a GObject is finalized: a widget or a web view that is really gone.
class GoneWatch {
 public:
  explicit GoneWatch(gpointer object) : object_(G_OBJECT(object)) {
    if (object_) g_object_add_weak_pointer(object_, reinterpret_cast<gpointer*>(&object_));
  }
  ~GoneWatch() {
    if (object_) g_object_remove_weak_pointer(object_, reinterpret_cast<gpointer*>(&object_));
  }
  GoneWatch(const GoneWatch&) = delete;
  GoneWatch& operator=(const GoneWatch&) = delete;
  bool gone() const { return object_ == nullptr; }

 private:
  GObject* object_;
};

// The texts of every label under a widget, in order.
inline void CollectLabels(GtkWidget* w, std::vector<std::string>& out) {
  if (GTK_IS_LABEL(w)) out.push_back(gtk_label_get_text(GTK_LABEL(w)));
  if (GTK_IS_CONTAINER(w)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* l = children; l; l = l->next) CollectLabels(GTK_WIDGET(l->data), out);
    g_list_free(children);
  }
}

using ::e2e::SendKey;

// Types ASCII text key by key into the focus widget of a window.
inline void TypeKeys(GtkWidget* window, const std::string& ascii) {
  for (char c : ascii) SendKey(window, gdk_unicode_to_keyval(static_cast<unsigned char>(c)));
}

// Replaces what a GTK entry holds by UTF-8 text, as a member clears the field and types (an
// input method commits its text by inserting it at the cursor).
inline void TypeInto(GtkWidget* entry, const std::string& utf8) {
  gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
  int at = 0;
  gtk_editable_insert_text(GTK_EDITABLE(entry), utf8.c_str(), -1, &at);
  gtk_editable_set_position(GTK_EDITABLE(entry), at);
}

// A JavaScript string literal holding UTF-8 text.
inline std::string JsQuote(const std::string& utf8) {
  std::string out = "'";
  for (char c : utf8) {
    if (c == '\\' || c == '\'') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "'";
}

// A box the program showed, as the member saw it (UTF-8).
struct SeenBox {
  std::string title;
  std::string text;                 // a message box's message
  std::vector<std::string> labels;  // every label of the box (an input box's prompt)
  bool input = false;               // an input box
};

// Answers the program's modal boxes (GtkDialogs) from inside their nested loops, as soon as
// each is on the screen, and records what each showed. Unless a test says otherwise, a box is
// answered with its default button (OK, or Yes).
class BoxAnswerer {
 public:
  // dialog, and the entry of an input box (nullptr for a message box).
  using Answer = std::function<void(GtkWidget* dialog, GtkWidget* entry)>;

  explicit BoxAnswerer(platform::gtk::GtkDialogs& dialogs) : dialogs_(dialogs) {
    source_ = g_timeout_add(10, Poll, this);
  }
  ~BoxAnswerer() {
    g_source_remove(source_);
    if (handled_) g_object_remove_weak_pointer(G_OBJECT(handled_), &handled_);
  }
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  Answer answer;  // empty: press the default button
  std::vector<SeenBox> seen;

  // Presses a box's button for a response, as a click does.
  static void Press(GtkWidget* dialog, int response) {
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
    if (button)
      gtk_button_clicked(GTK_BUTTON(button));
    else
      gtk_dialog_response(GTK_DIALOG(dialog), response);
  }

 private:
  static gboolean Poll(gpointer self) {
    auto* a = static_cast<BoxAnswerer*>(self);
    GtkWidget* d = a->dialogs_.current();
    if (!d || d == a->handled_ || !gtk_widget_get_mapped(d)) return G_SOURCE_CONTINUE;
    if (a->handled_) g_object_remove_weak_pointer(G_OBJECT(a->handled_), &a->handled_);
    a->handled_ = d;
    g_object_add_weak_pointer(G_OBJECT(d), &a->handled_);
    SeenBox box;
    box.title = gtk_window_get_title(GTK_WINDOW(d)) ? gtk_window_get_title(GTK_WINDOW(d)) : "";
    if (GTK_IS_MESSAGE_DIALOG(d)) {
      gchar* text = nullptr;
      g_object_get(d, "text", &text, nullptr);
      box.text = text ? text : "";
      g_free(text);
    }
    CollectLabels(gtk_dialog_get_content_area(GTK_DIALOG(d)), box.labels);
    GtkWidget* entry = a->dialogs_.current_entry();
    box.input = entry != nullptr;
    a->seen.push_back(box);
    if (a->answer)
      a->answer(d, entry);
    else if (gtk_dialog_get_widget_for_response(GTK_DIALOG(d), GTK_RESPONSE_OK))
      Press(d, GTK_RESPONSE_OK);
    else
      Press(d, GTK_RESPONSE_YES);
    return G_SOURCE_CONTINUE;
  }

  platform::gtk::GtkDialogs& dialogs_;
  guint source_ = 0;
  gpointer handled_ = nullptr;  // the last box answered, while it lives
};

// A loopback server that takes connections and never answers: a page that never arrives.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(fd_, 8) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
      return;
    port_ = ntohs(a.sin_port);
  }
  ~SilentServer() {
    for (int c : clients_) close(c);
    if (fd_ >= 0) close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Whether someone has connected (the connection is kept open, unanswered).
  bool Connected() {
    int c = accept(fd_, nullptr, nullptr);
    if (c >= 0) clients_.push_back(c);
    return !clients_.empty();
  }

 private:
  int fd_ = -1;
  int port_ = -1;
  std::vector<int> clients_;
};

// A request the sim received, counted by path (UTF-8) and, when given, a part of its raw query.
inline int CountRequests(const hobnest::Sim& sim, const std::string& path,
                         const std::string& query_part = {}) {
  int n = 0;
  for (const hobnest::Request& r : sim.Requests())
    n += r.path == path && r.query.find(query_part) != std::string::npos;
  return n;
}

// A fresh Mirabo on the real backend (GTK and WebKitGTK, with a shell that records and opens
// nothing) in a fresh working folder, whose Hosts.txt points every host role at hobnest-sim on
// a free loopback port.
class MiraboE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/mirabo-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
    port_ = sim.Start(0);
    ASSERT_GT(port_, 0);
    const std::string host = "127.0.0.1:" + std::to_string(port_);
    ASSERT_TRUE(text::WriteAtomic("Hosts.txt", "SITE = " + host + "\r\nHOMEPAGE = " + host +
                                                   "\r\nAPP = " + host + "\r\nBOARD = " + host +
                                                   "\r\nUPDATE = " + host + "\r\n"));
  }

  void TearDown() override {
    // The program first (its windows and browsers), then the platform, then the site.
    answerer.reset();
    program.reset();
    real.reset();
    sim.Stop();
    std::filesystem::current_path(old_cwd_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // A member who has started Mirabo before: your.id holds the ID and no password.
  void SaveId(const std::string& id_utf8) {
    ASSERT_TRUE(text::WriteAtomic("your.id", text::ToSjis(id_utf8) + "\r\n0\r\n"));
  }

  // Builds the program on the real platform and shows the main window; the start-up tick
  // comes from the loop. answer: how the boxes are answered (empty: the default button).
  void Launch(BoxAnswerer::Answer answer = {}) {
    real = std::make_unique<platform::gtk::RealPlatform>(
        platform::gtk::RealPlatform::ShellKind::Recording);
    answerer = std::make_unique<BoxAnswerer>(real->dialogs());
    answerer->answer = std::move(answer);
    program = std::make_unique<Program>(real->platform(), text::LoadHosts());
    Main().Show();
  }

  // Launches as a member who has started before and waits for the home tab at the homepage.
  void Start(const std::string& id_utf8 = "taro") {
    SaveId(id_utf8);
    Launch();
    ASSERT_TRUE(PumpUntil([&] { return ShowsHomepage(TMain::kHomeSlot, id_utf8); }))
        << Location(TMain::kHomeSlot);
  }

  // Opens the login manager with the main window's login button, as the member does; whether
  // its window came up.
  bool ShowLoginManager() {
    gtk_button_clicked(GTK_BUTTON(W(*Main().ShowLogMng)));
    return PumpUntil([&] {
      GtkWidget* w = W(Login());
      return Login().visible() && w && gtk_widget_get_mapped(w);
    });
  }

  TMain& Main() { return *program->Main; }
  TLogin& Login() { return *program->Login; }
  platform::WebBrowser* Slot(int i) { return Main().BrowserSlots.at(i); }
  int UsedSlots() {
    int n = 0;
    while (n < TMain::kPageLimit && Main().BrowserSlots[n]) ++n;
    return n;
  }
  std::string Location(int slot) {
    platform::WebBrowser* b = Slot(slot);
    return b ? text::ToUtf8(b->LocationUrl()) : "(no browser)";
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  GtkWidget* W(const ui::Control& c) { return GtkRenderer::WidgetOf(c); }
  std::string U(const std::string& sjis) { return text::ToUtf8(sjis); }

  // The caption of a tab as the notebook shows it (UTF-8).
  std::string TabLabel(const ui::TabSheet& sheet) {
    GtkWidget* notebook = W(*Main().ScreenTab);
    GtkWidget* label = gtk_notebook_get_tab_label(GTK_NOTEBOOK(notebook), W(sheet));
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
  }
  // The page the notebook shows, as the model's sheet.
  bool NotebookShows(const ui::TabSheet& sheet) {
    GtkNotebook* notebook = GTK_NOTEBOOK(W(*Main().ScreenTab));
    return gtk_notebook_get_nth_page(notebook, gtk_notebook_get_current_page(notebook)) == W(sheet);
  }

  // Runs a script in the page of the browser in a slot (see Eval); "no browser" when the slot
  // is empty, "replaced" when its browser changed meanwhile. Browsers come and go while the
  // loop runs, so a test holds slots, not browsers, across waits.
  std::string EvalIn(int slot, const std::string& script, int timeout_ms = 5000) {
    platform::WebBrowser* b = Slot(slot);
    if (!b) return "no browser";
    std::string result = Eval(*b, script, timeout_ms);
    return Slot(slot) == b ? result : "replaced";
  }
  // Whether the browser in a slot shows a document completely: its address ends with
  // path_suffix and the document and all its frames, nested ones too, have loaded.
  bool Shows(int slot, const std::string& path_suffix) {
    std::string at = Location(slot);
    if (at.size() < path_suffix.size() ||
        at.compare(at.size() - path_suffix.size(), path_suffix.size(), path_suffix) != 0)
      return false;
    return EvalIn(slot,
                  "(function all(w) { if (w.document.readyState !== 'complete') return false;"
                  " for (var i = 0; i < w.frames.length; ++i) if (!all(w.frames[i])) return false;"
                  " return location.href; })(window)") == at;
  }
  // Whether the browser in a slot shows a member's homepage completely, with its frames: the
  // top frame and the chat room's log and input.
  bool ShowsHomepage(int slot, const std::string& id_utf8) {
    return Shows(slot, "") &&
           EvalIn(slot,
                  "decodeURIComponent(location.pathname) + '|' + frames.length + '|' +"
                  " frames[1].frames.length + '|' +"
                  " frames[1].frames[1].document.getElementsByName('chatctrl').length") ==
               "/@" + id_utf8 + "|2|2|1";
  }

  hobnest::Sim sim;
  std::unique_ptr<platform::gtk::RealPlatform> real;
  std::unique_ptr<BoxAnswerer> answerer;
  std::unique_ptr<Program> program;

 private:
  std::filesystem::path old_cwd_, dir_;
  int port_ = -1;
};

}  // namespace mirabo::e2e
