// The member's conveniences on the real backend, driven as the member drives them: function keys
// pressed on the X server (XTest) type the template texts into a text area inside a frame, and
// the page never sees those keys, while the clipboard keeps what it held; the template button
// starts the real Quillet, which is typed into and saves, and the running browser's button
// follows within a second; Config.txt carries the panels, the tab lock and the options over a
// real quit and start; the add-in strip shows the shipped add-ins, and a click of the pointer on
// the Quillet picture starts the program.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/mirabo_harness.h"
#include "text/teikei.h"

// Last: Xlib's macros (None, Bool, Status, ...) would clash with the names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

namespace mirabo::e2e {
namespace {

namespace fs = std::filesystem;
using platform::gtk::RealPlatform;

// The source tree, for the add-ins the program folder ships.
const fs::path kSourceRoot = fs::path(__FILE__).parent_path().parent_path().parent_path();

const std::string kEditorTitle = "定型文エディター for Mirabo Version 1.1";

// The X server as the member's keyboard and mouse: real key and button events through XTest,
// which the server delivers to the window with the input focus or under the pointer, and the
// top-level windows of every program on the display.
class XServer {
 public:
  XServer() : x_(XOpenDisplay(nullptr)) {}
  ~XServer() {
    if (x_) XCloseDisplay(x_);
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const {
    int event, error, major, minor;
    return x_ && XTestQueryExtension(x_, &event, &error, &major, &minor);
  }

  // Gives a window the keyboard focus, as a window manager would when the member picks it.
  void Focus(Window w) {
    XRaiseWindow(x_, w);
    XSetInputFocus(x_, w, RevertToPointerRoot, CurrentTime);
    XSync(x_, False);
  }

  // Presses and releases a key, with modifier keys held down around it.
  void Key(KeySym sym, const std::vector<KeySym>& held = {}) {
    for (KeySym m : held) XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, m), True, 0);
    KeyCode code = XKeysymToKeycode(x_, sym);
    XTestFakeKeyEvent(x_, code, True, 0);
    XTestFakeKeyEvent(x_, code, False, 0);
    for (auto m = held.rbegin(); m != held.rend(); ++m)
      XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, *m), False, 0);
    XSync(x_, False);
  }
  // Lower-case letters and digits, key by key.
  void Type(const std::string& ascii) {
    for (char c : ascii) Key(static_cast<KeySym>(static_cast<unsigned char>(c)));
  }

  void MovePointer(int x, int y) {
    XTestFakeMotionEvent(x_, -1, x, y, 0);
    XSync(x_, False);
  }
  // The left button pressed and released where the pointer is.
  void Click() {
    XTestFakeButtonEvent(x_, 1, True, 0);
    XTestFakeButtonEvent(x_, 1, False, 0);
    XSync(x_, False);
  }

  // The shown top-level window with this title (UTF-8), 0 when there is none.
  Window Find(const std::string& title) {
    Atom net_wm_name = XInternAtom(x_, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(x_, "UTF8_STRING", False);
    Window root = DefaultRootWindow(x_), parent, *children = nullptr, found = 0;
    unsigned n = 0;
    if (!XQueryTree(x_, root, &root, &parent, &children, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
      XWindowAttributes attrs;
      if (!XGetWindowAttributes(x_, children[i], &attrs) || attrs.map_state != IsViewable) continue;
      Atom type;
      int format;
      unsigned long count, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(x_, children[i], net_wm_name, 0, 1024, False, utf8, &type, &format,
                             &count, &after, &data) == Success &&
          data) {
        if (std::string(reinterpret_cast<char*>(data), count) == title) found = children[i];
        XFree(data);
      }
    }
    if (children) XFree(children);
    return found;
  }
  // Waits (without a GLib loop: the window is another program's) for a window by its title.
  Window WaitFor(const std::string& title, int ms = 15000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (Window w = Find(title)) return w;
      if (std::chrono::steady_clock::now() > deadline) return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // Waits until no window has this title any more.
  bool WaitGone(const std::string& title, int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Find(title)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // Where the pointer is on the screen.
  std::pair<int, int> Pointer() {
    Window root, child;
    int x = 0, y = 0, wx, wy;
    unsigned mask;
    XQueryPointer(x_, DefaultRootWindow(x_), &root, &child, &x, &y, &wx, &wy, &mask);
    return {x, y};
  }

  // The process that made a window (GTK names it in _NET_WM_PID); -1 when unknown.
  pid_t PidOf(Window w) {
    Atom prop = XInternAtom(x_, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    pid_t pid = -1;
    if (XGetWindowProperty(x_, w, prop, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
      if (count == 1) pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
      XFree(data);
    }
    return pid;
  }

  // Where a point of a window is on the screen.
  std::pair<int, int> ScreenPoint(Window w, int x, int y) {
    int sx = 0, sy = 0;
    Window child;
    XTranslateCoordinates(x_, w, DefaultRootWindow(x_), x, y, &sx, &sy, &child);
    return {sx, sy};
  }

 private:
  Display* x_;
};

// A process's command line, argument by argument.
std::vector<std::string> CommandLine(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

// Whether a process still runs (one that has ended but is not reaped yet does not).
bool Running(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// The pixels of a picture as RGB bytes, row by row.
std::string RgbPixels(GdkPixbuf* p) {
  std::string out;
  const int channels = gdk_pixbuf_get_n_channels(p), stride = gdk_pixbuf_get_rowstride(p);
  const guchar* pixels = gdk_pixbuf_read_pixels(p);
  for (int y = 0; y < gdk_pixbuf_get_height(p); ++y)
    for (int x = 0; x < gdk_pixbuf_get_width(p); ++x)
      out.append(reinterpret_cast<const char*>(pixels + y * stride + x * channels), 3);
  return out;
}

// A guestbook page of our own on a loopback port: a text area inside a frame, and in both the
// top document and the frame a script that notes every key-down the page sees.
class GuestbookServer {
 public:
  GuestbookServer() {
    const std::string logger =
        "<script>window.keys = []; addEventListener('keydown', function (e) {"
        " keys.push(e.key); }, true);</script>";
    server_.Get("/", [logger](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>ゲストブック"
          "</title>" +
              logger +
              "</head><body><h1>ゲストブック</h1>"
              "<iframe name=\"book\" src=\"/write.html\" width=\"600\" height=\"260\">"
              "</iframe></body></html>",
          "text/html; charset=utf-8");
    });
    server_.Get("/write.html", [logger](const httplib::Request&, httplib::Response& res) {
      res.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + logger +
                          "</head><body><form><textarea id=\"message\" name=\"message\" rows=\"8\""
                          " cols=\"60\"></textarea></form></body></html>",
                      "text/html; charset=utf-8");
    });
    // Every answer closes its connection, so the server stops at once when the test ends.
    server_.set_keep_alive_max_count(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~GuestbookServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
};

class TemplatesE2eTest : public MiraboE2eTest {
 protected:
  void SetUp() override {
    MiraboE2eTest::SetUp();
    ASSERT_TRUE(xserver.ok()) << "the X server has no XTest";
    pointer_was_ = xserver.Pointer();
  }
  void TearDown() override {
    // Programs the browser started and the test could not close.
    for (pid_t p : started)
      if (p > 0 && Running(p)) kill(p, SIGKILL);
    // The pointer goes back where it was, out of the way of the tests that follow.
    if (xserver.ok()) xserver.MovePointer(pointer_was_.first, pointer_was_.second);
    MiraboE2eTest::TearDown();
  }

  // The program folder as the run command prepares it: the shipped add-ins, and the template
  // editor from this build in its add-in folder.
  void InstallAddIns() {
    fs::copy(kSourceRoot / "assets" / "AddIn", "AddIn", fs::copy_options::recursive);
    fs::copy_file(QUILLET_BINARY, "AddIn/006Quillet/Quillet");
  }

  // Builds the program with the given shell and waits for the start-up tick (the settings are
  // read there) and the home tab at the homepage.
  void StartWith(RealPlatform::ShellKind shell) {
    real = std::make_unique<RealPlatform>(shell);
    answerer = std::make_unique<BoxAnswerer>(real->dialogs());
    program = std::make_unique<Program>(real->platform(), text::LoadHosts());
    Main().Show();
    ASSERT_TRUE(PumpUntil([&] {
      return !Main().InitTimer && ShowsHomepage(TMain::kHomeSlot, "taro");
    })) << Location(TMain::kHomeSlot);
  }
  // The program closed and gone, with its platform.
  void Dispose() {
    answerer.reset();
    program.reset();
    real.reset();
  }

  // The main window in front with the keyboard focus, as the member has it after clicking it.
  bool FocusMainWindow() {
    GtkWindow* window = GTK_WINDOW(W(Main()));
    if (!PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); })) return false;
    gtk_window_present(window);
    xserver.Focus(gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(window))));
    return PumpUntil([&] { return gtk_window_is_active(window); });
  }

  // The caption of a button as its label shows it.
  std::string ButtonLabel(const ui::Control& button) {
    std::vector<std::string> labels;
    CollectLabels(W(button), labels);
    return labels.empty() ? "" : labels[0];
  }

  XServer xserver;
  std::vector<pid_t> started;

 private:
  std::pair<int, int> pointer_was_{0, 0};
};

// --- the template keys -------------------------------------------------------------------

// What the text area in the guestbook's frame holds, and the keys each document saw.
constexpr const char kTextArea[] = "frames[0].document.getElementById('message').value";
constexpr const char kFrameKeys[] = "JSON.stringify(frames[0].keys)";
constexpr const char kTopKeys[] = "JSON.stringify(window.keys)";

struct Clock {
  std::tm tm;
  int seconds() const { return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec; }
};
Clock Now() {
  std::time_t t = std::time(nullptr);
  Clock c{};
  localtime_r(&t, &c.tm);
  return c;
}

TEST_F(TemplatesE2eTest, FunctionKeysTypeTheTemplatesIntoTheFramedTextAreaAndThePageNeverSeesThem) {
  GuestbookServer book;
  ASSERT_GT(book.port(), 0);
  SaveId("taro");
  StartWith(RealPlatform::ShellKind::Recording);
  const int slot = Main().OpenTab(book.Url("/"), true, "DoNewTabExecute");
  ASSERT_EQ(slot, 2);
  ASSERT_TRUE(PumpUntil([&] { return Shows(slot, "/") && EvalIn(slot, kFrameKeys) == "[]"; }))
      << Location(slot);
  ASSERT_EQ(Main().ActiveBrowser(), Slot(slot));

  // The member clicks into the text area: the window has the keyboard, the page the focus.
  ASSERT_TRUE(FocusMainWindow());
  gtk_widget_grab_focus(GTK_WIDGET(ViewOf(*Slot(slot))));
  ASSERT_EQ(EvalIn(slot, "frames[0].document.getElementById('message').focus(); 'ok'"), "ok");
  ASSERT_TRUE(PumpUntil([&] {
    return EvalIn(slot,
                  "frames[0].document.hasFocus() + '|' +"
                  " frames[0].document.activeElement.id") == "true|message";
  }));

  // What the member had on the clipboard.
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  const std::string copied = "コピーした文 copied";
  gtk_clipboard_set_text(clipboard, copied.c_str(), -1);

  // A plain key reaches the page, and so the page's log can see keys.
  const Clock before = Now();
  xserver.Type("a");
  ASSERT_TRUE(PumpUntil([&] { return EvalIn(slot, kTextArea) == "a"; })) << EvalIn(slot, kTextArea);
  // The date, the time and the F11 text, then a line break, and one more plain key.
  const std::regex date_time(
      "a(\\d{4})年(\\d{1,2})月(\\d{1,2})日（(\\d{1,2})時(\\d{1,2})分(\\d{1,2})秒）---\nb");
  struct Step {
    KeySym key;
    const char* typed_so_far;  // a regular expression
  } steps[] = {
      {XK_F1, "a\\d{4}年\\d{1,2}月\\d{1,2}日"},
      {XK_F2, "a\\d{4}年\\d{1,2}月\\d{1,2}日（\\d{1,2}時\\d{1,2}分\\d{1,2}秒）"},
      {XK_F11, "a\\d{4}年\\d{1,2}月\\d{1,2}日（\\d{1,2}時\\d{1,2}分\\d{1,2}秒）---"},
      {XK_Return, "a\\d{4}年\\d{1,2}月\\d{1,2}日（\\d{1,2}時\\d{1,2}分\\d{1,2}秒）---\n"},
      {'b', "a\\d{4}年\\d{1,2}月\\d{1,2}日（\\d{1,2}時\\d{1,2}分\\d{1,2}秒）---\nb"},
  };
  for (const Step& s : steps) {
    xserver.Key(s.key);
    const std::regex so_far(s.typed_so_far);
    EXPECT_TRUE(PumpUntil([&] { return std::regex_match(EvalIn(slot, kTextArea), so_far); }))
        << XKeysymToString(s.key) << ": " << EvalIn(slot, kTextArea);
  }
  const Clock after = Now();
  const std::string typed = EvalIn(slot, kTextArea);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(typed, m, date_time)) << typed;

  // The date and the time are the local clock's, while the keys were pressed.
  auto date_of = [](const Clock& c) {
    return std::to_string(c.tm.tm_year + 1900) + "/" + std::to_string(c.tm.tm_mon + 1) + "/" +
           std::to_string(c.tm.tm_mday);
  };
  const std::string date = m[1].str() + "/" + m[2].str() + "/" + m[3].str();
  EXPECT_TRUE(date == date_of(before) || date == date_of(after)) << date;
  const int hour = std::stoi(m[4].str()), minute = std::stoi(m[5].str()),
            second = std::stoi(m[6].str());
  EXPECT_LT(hour, 24);
  EXPECT_LT(minute, 60);
  EXPECT_LT(second, 61);
  const int at = hour * 3600 + minute * 60 + second;
  if (before.seconds() <= after.seconds())
    EXPECT_TRUE(before.seconds() <= at && at <= after.seconds())
        << at << " not within " << before.seconds() << ".." << after.seconds();
  else  // midnight came meanwhile
    EXPECT_TRUE(at >= before.seconds() || at <= after.seconds()) << at;

  // The page saw the plain keys only: F1, F2, F11 and Enter went no further than the browser.
  EXPECT_EQ(EvalIn(slot, kFrameKeys), "[\"a\",\"b\"]");
  EXPECT_EQ(EvalIn(slot, kTopKeys), "[]");

  // The clipboard holds what the member copied.
  gchar* text = gtk_clipboard_wait_for_text(clipboard);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), copied);
  g_free(text);

  // A picture on the clipboard stays too, and nothing else joins it.
  GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 17, 11);
  guchar* px = gdk_pixbuf_get_pixels(picture);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 17; ++x) {
      guchar* p = px + y * gdk_pixbuf_get_rowstride(picture) + x * 3;
      p[0] = static_cast<guchar>(x * 15);
      p[1] = static_cast<guchar>(y * 23);
      p[2] = static_cast<guchar>((x * y) % 256);
    }
  gtk_clipboard_set_image(clipboard, picture);
  ASSERT_TRUE(gtk_clipboard_wait_is_image_available(clipboard));
  xserver.Key(XK_F2);
  const std::regex time_only("（\\d{1,2}時\\d{1,2}分\\d{1,2}秒）");
  EXPECT_TRUE(PumpUntil([&] {
    std::string now = EvalIn(slot, kTextArea);
    return now.rfind(typed, 0) == 0 && std::regex_match(now.substr(typed.size()), time_only);
  })) << EvalIn(slot, kTextArea);
  GdkPixbuf* held = gtk_clipboard_wait_for_image(clipboard);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(held), 17);
  EXPECT_EQ(gdk_pixbuf_get_height(held), 11);
  EXPECT_EQ(RgbPixels(held), RgbPixels(picture));
  EXPECT_FALSE(gtk_clipboard_wait_is_text_available(clipboard));
  g_object_unref(held);
  g_object_unref(picture);
  EXPECT_EQ(EvalIn(slot, kFrameKeys), "[\"a\",\"b\"]");
  EXPECT_TRUE(answerer->seen.empty());
}

// --- Quillet from the template button ------------------------------------------------------

TEST_F(TemplatesE2eTest, QuilletFromTheF5ButtonSavesTheF11TextAndTheRunningBrowserFollows) {
  InstallAddIns();
  SaveId("taro");
  StartWith(RealPlatform::ShellKind::Desktop);
  ui::Button& f5 = *Main().TeikeiButtons[4];
  ASSERT_EQ(U(f5.caption()), "---");
  ASSERT_EQ(ButtonLabel(f5), "---");
  // A template editor of an earlier test may still be going away.
  ASSERT_TRUE(xserver.WaitGone(kEditorTitle)) << "a template editor is already up";

  // The editor's lock in a folder of this test, so no other copy on this display keeps it out.
  const fs::path runtime = fs::current_path() / "runtime";
  fs::create_directory(runtime);
  const char* old_runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved_runtime = old_runtime ? old_runtime : "";
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  gtk_button_clicked(GTK_BUTTON(W(f5)));
  if (old_runtime)
    setenv("XDG_RUNTIME_DIR", saved_runtime.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");

  // The real Quillet, from the add-in folder, in the program's folder, on the F11 page.
  const Window editor = xserver.WaitFor(kEditorTitle);
  ASSERT_NE(editor, 0u);
  const pid_t pid = xserver.PidOf(editor);
  ASSERT_GT(pid, 0);
  started.push_back(pid);
  EXPECT_EQ(CommandLine(pid), (std::vector<std::string>{"AddIn/006Quillet/Quillet", "4"}));
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd"), fs::current_path());
  EXPECT_TRUE(answerer->seen.empty());

  // The member clicks into the title field (in the dialog's units, at 32, 17 of 37 x 14: 56,
  // 26 of 65 x 21 pixels), selects what it holds and types a new title, and Enter saves.
  xserver.Focus(editor);
  auto [x, y] = xserver.ScreenPoint(editor, 56 + 32, 26 + 10);
  xserver.MovePointer(x, y);
  xserver.Click();
  xserver.Key(XK_a, {XK_Control_L});
  xserver.Type("xtest11");
  xserver.Key(XK_Return);

  // The file is saved; within a second the browser has read it, changed the caption of the
  // F11 button (F5) and removed the marker.
  ASSERT_TRUE(PumpUntil([&] { return text::Exists(text::kTeikeiFile); }, 10000));
  const auto saved = std::chrono::steady_clock::now();
  EXPECT_TRUE(PumpUntil(
      [&] { return U(f5.caption()) == "xtest11" && !text::Exists(text::kTeikeiMarker); }, 1000))
      << U(f5.caption()) << (text::Exists(text::kTeikeiMarker) ? ", new.tmp is there" : "");
  const auto followed = std::chrono::steady_clock::now();
  EXPECT_LT(followed - saved, std::chrono::seconds(1));
  EXPECT_EQ(ButtonLabel(f5), "xtest11");

  // Exactly the six records: the editor's texts, the F11 one with its new title.
  text::TeikeiEntries expected = text::EditorDefaultTeikei();
  expected[4].title = "xtest11";
  EXPECT_EQ(text::ReadAll(text::kTeikeiFile),
            std::optional<std::string>(text::FormatTeikei(expected)));
  EXPECT_EQ(Main().Teikei, expected);
  for (int i = 0; i < text::kTeikeiCount; ++i)
    EXPECT_EQ(Main().TeikeiButtons[i]->caption(), expected[i].title) << i;

  // Quillet reports the save; the member answers it and closes the editor with Escape.
  const Window report = xserver.WaitFor("報告");
  ASSERT_NE(report, 0u);
  xserver.Focus(report);
  xserver.Key(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return xserver.Find("報告") == 0; }));
  xserver.Focus(editor);
  xserver.Key(XK_Escape);
  EXPECT_TRUE(PumpUntil([&] { return xserver.Find(kEditorTitle) == 0 && !Running(pid); }));
  EXPECT_FALSE(text::Exists(text::kTeikeiMarker));
  EXPECT_TRUE(answerer->seen.empty());
}

// --- Config.txt over a real quit and start ---------------------------------------------------

// What the member set, as the main window shows it.
struct Settings {
  bool base_hidden, login, navi, teikei, tab;  // the panels shown
  bool tab_lock, no_password, no_skin, addin_auto_hide;
};

class TemplatesConfigE2eTest : public TemplatesE2eTest {
 protected:
  // Chooses a menu item as the member does: its GTK item is activated.
  void Choose(ui::MenuItem* item) {
    GtkWidget* w = GtkRenderer::MenuItemWidgetOf(*item);
    ASSERT_NE(w, nullptr) << item->name();
    gtk_menu_item_activate(GTK_MENU_ITEM(w));
  }
  // Quits through the File menu, as the member does.
  void Quit() {
    Choose(Main().Exit1);
    EXPECT_TRUE(program->app.terminated());
    EXPECT_FALSE(gtk_widget_get_visible(W(Main())));
  }

  bool MenuShowsCheck(const ui::MenuItem* item) {
    GtkWidget* w = GtkRenderer::MenuItemWidgetOf(*item);
    return w && GTK_IS_CHECK_MENU_ITEM(w) && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(w));
  }

  void Expect(const Settings& s) {
    TMain& m = Main();
    struct Item {
      const char* name;
      ui::MenuItem* item;
      bool checked;
    } items[] = {
        {"opBasePanel", m.opBasePanel, s.base_hidden}, {"opLoginPanel", m.opLoginPanel, s.login},
        {"opNaviPanel", m.opNaviPanel, s.navi},        {"opTeikeiPanel", m.opTeikeiPanel, s.teikei},
        {"opTabPanel", m.opTabPanel, s.tab},           {"opPWrm", m.opPWrm, s.no_password},
        {"opSKINrm", m.opSKINrm, s.no_skin},           {"opAddIn", m.opAddIn, s.addin_auto_hide}};
    for (const Item& i : items) {
      EXPECT_EQ(i.item->checked(), i.checked) << i.name;
      EXPECT_EQ(MenuShowsCheck(i.item), i.checked) << i.name;
      ui::MenuItem* twin = m.PopupMenu1->Find(std::string(i.name) + "2");
      ASSERT_NE(twin, nullptr) << i.name;
      EXPECT_EQ(twin->checked(), i.checked) << i.name << "2";
    }
    struct Panel {
      const char* name;
      ui::Control* panel;
      bool shown;
    } panels[] = {{"BasePanel", m.BasePanel, !s.base_hidden},
                  {"LoginPanel", m.LoginPanel, s.login},
                  {"NaviPanel", m.NaviPanel, s.navi},
                  {"TeikeiPanel", m.TeikeiPanel, s.teikei},
                  {"TabPanel", m.TabPanel, s.tab}};
    for (const Panel& p : panels) {
      EXPECT_EQ(p.panel->visible(), p.shown) << p.name;
      EXPECT_EQ(gtk_widget_get_visible(W(*p.panel)), p.shown) << p.name;
      // A panel is on the screen when it and the tool bar are shown.
      const bool on_screen = p.shown && (p.panel == m.BasePanel || !s.base_hidden);
      EXPECT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(W(*p.panel)) == on_screen; }))
          << p.name;
    }
    EXPECT_EQ(m.Panel1->height(), s.base_hidden ? 12 : 41);
    EXPECT_TRUE(PumpUntil([&] {
      return gtk_widget_get_allocated_height(W(*m.Panel1)) == (s.base_hidden ? 12 : 41);
    })) << gtk_widget_get_allocated_height(W(*m.Panel1));
    EXPECT_EQ(m.cbTabLock->checked(), s.tab_lock);
    EXPECT_EQ(m.TabLocked(), s.tab_lock);
    EXPECT_EQ(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(W(*m.cbTabLock))), s.tab_lock);
  }
};

TEST_F(TemplatesConfigE2eTest, PanelsTabLockAndOptionsSurviveQuitAndRestart) {
  const Settings defaults{false, true, true, true, true, false, false, false, false};
  SaveId("taro");

  // First run: the member hides the navigation and template panels, locks the tab and sets
  // every option, then quits.
  StartWith(RealPlatform::ShellKind::Recording);
  Expect(defaults);
  Choose(Main().opNaviPanel);
  Choose(Main().opTeikeiPanel);
  gtk_button_clicked(GTK_BUTTON(W(*Main().cbTabLock)));
  Choose(Main().opPWrm);
  Choose(Main().opSKINrm);
  Choose(Main().opAddIn);
  const Settings first{false, true, false, false, true, true, true, true, true};
  Expect(first);
  Quit();
  EXPECT_EQ(
      text::ReadAll("Config.txt"),
      std::optional<std::string>("TAB LOCK = ON\r\nPASSWORD SAVE = OFF\r\nNAVI PANEL = OFF\r\n"
                                 "TEIKEI PANEL = OFF\r\nADDIN PANEL = AUTO OFF\r\n"
                                 "SKIN = OFF\r\n"));
  EXPECT_EQ(text::ReadAll("your.id"), std::optional<std::string>("taro\r\n0\r\n"));
  Dispose();

  // Second run: everything as it was left. The member undoes it all, and hides the tool bar,
  // the login button and the tab panel instead.
  StartWith(RealPlatform::ShellKind::Recording);
  Expect(first);
  gtk_button_clicked(GTK_BUTTON(W(*Main().cbTabLock)));
  for (ui::MenuItem* item :
       {Main().opPWrm, Main().opSKINrm, Main().opAddIn, Main().opNaviPanel, Main().opTeikeiPanel,
        Main().opLoginPanel, Main().opTabPanel, Main().opBasePanel})
    Choose(item);
  const Settings second{true, false, true, true, false, false, false, false, false};
  Expect(second);
  Quit();
  EXPECT_EQ(
      text::ReadAll("Config.txt"),
      std::optional<std::string>("TAB LOCK = OFF\r\nPASSWORD SAVE = ON\r\nBASE PANEL = OFF\r\n"
                                 "LOGIN PANEL = OFF\r\nTAB PANEL = OFF\r\n"));
  Dispose();

  // Third run: as the second left it.
  StartWith(RealPlatform::ShellKind::Recording);
  Expect(second);
  EXPECT_TRUE(answerer->seen.empty());
}

// --- the add-in strip ----------------------------------------------------------------------

TEST_F(TemplatesE2eTest, AddInStripShowsTheShippedQuilletAndAPointerClickStartsIt) {
  InstallAddIns();
  SaveId("taro");
  StartWith(RealPlatform::ShellKind::Recording);

  // One button per shipped add-in: Quillet's, with its picture, hint and hand cursor.
  ASSERT_EQ(Main().AddInButtons.size(), 1u);
  ASSERT_EQ(Main().AddInEntries.size(), 1u);
  auto* image = Main().AddInButtons[0]->FindAs<ui::Image>("AddInImage0");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->picture(), "AddIn/006Quillet/quillet.ico");
  EXPECT_EQ(U(image->hint()), "定型文エディタ for Mirabo");
  GtkWidget* box = W(*image);
  ASSERT_TRUE(box && GTK_IS_EVENT_BOX(box));
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(box); }));
  GtkWidget* picture = gtk_bin_get_child(GTK_BIN(box));
  ASSERT_TRUE(picture && GTK_IS_IMAGE(picture));
  GdkPixbuf* pixbuf = gtk_image_get_pixbuf(GTK_IMAGE(picture));
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 20);
  EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 20);
  gchar* tip = gtk_widget_get_tooltip_text(box);
  EXPECT_STREQ(tip, "定型文エディタ for Mirabo");
  g_free(tip);
  EXPECT_NE(gdk_window_get_cursor(gtk_widget_get_window(box)), nullptr);
  EXPECT_TRUE(PumpUntil([&] {
    return gtk_widget_get_allocated_width(box) == 20 && gtk_widget_get_allocated_height(box) == 20;
  }));

  // The member points at the picture and clicks.
  ASSERT_TRUE(FocusMainWindow());
  GdkWindow* window = gtk_widget_get_window(box);
  int x = 0, y = 0;
  gdk_window_get_origin(window, &x, &y);
  xserver.MovePointer(x + 10, y + 10);
  GdkDevice* pointer =
      gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  ASSERT_TRUE(PumpUntil(
      [&] { return gdk_device_get_window_at_position(pointer, nullptr, nullptr) == window; }));
  ASSERT_TRUE(real->recording_shell()->calls.empty());
  xserver.Click();
  ASSERT_TRUE(PumpUntil([&] { return !real->recording_shell()->calls.empty(); }));
  using Call = platform::gtk::RecordingShell::Call;
  EXPECT_EQ(real->recording_shell()->calls, (std::vector<Call>{{"AddIn/006Quillet/Quillet", ""}}));
  // One click, one start.
  EXPECT_FALSE(PumpUntil([&] { return real->recording_shell()->calls.size() > 1; }, 300));
  EXPECT_TRUE(answerer->seen.empty());
}

}  // namespace
}  // namespace mirabo::e2e
