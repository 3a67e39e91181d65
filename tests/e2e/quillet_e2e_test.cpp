// Quillet on the real backend: its dialog in GTK widgets (the centred heading, the title's byte
// limit as typed, Tab and Ctrl+I in the body, Escape, the boxes of a refused save and of the
// close question), the lock file that keeps a second copy out, and the real program started
// twice.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/gtk/gtk_renderer.h"
#include "platform/gtk/gtk_services.h"
#include "platform/gtk/single_instance.h"
#include "template-editor/EditorDialog.h"
#include "template-editor/program.h"
#include "tests/e2e/gtk_events.h"
#include "tests/unit/working_folder.h"
#include "text/files.h"
#include "text/sjis.h"
#include "text/teikei.h"

// Last: Xlib's macros (None, Bool, ...) would clash with the names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

extern char** environ;

namespace {

using platform::gtk::GtkRenderer;
using platform::gtk::LockFileInstance;
using Result = platform::SingleInstance::Result;
using namespace text::literals;

// Runs the GLib main loop until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, int ms = 5000) {
  return ::e2e::PumpUntil(cond, ms);
}

using e2e::SendKey;

// Quillet makes no browsers.
class NoBrowsers : public platform::BrowserFactory {
 public:
  std::unique_ptr<platform::BrowserEngine> Create(platform::BrowserEngine*) override {
    return nullptr;
  }
};

// What a message box said when it came up, and the button it was answered with.
struct SeenBox {
  std::string title, text;  // UTF-8
};

class QuilletOnScreenTest : public ::testing::Test {
 protected:
  QuilletOnScreenTest()
      : marker(folder.path().string()),
        program(platform::Platform{scheduler, clock, dialogs, browsers, shell, pointer, &renderer,
                                   &marker},
                "1") {}

  void SetUp() override {
    ASSERT_TRUE(program.editing());
    dialog().Show();
    ASSERT_TRUE(WaitFor([&] { return gtk_widget_get_mapped(Window()); }));
  }
  ~QuilletOnScreenTest() override {
    if (answering_) g_source_remove(answering_);
  }

  quillet::EditorDialog& dialog() { return *program.Editor; }
  GtkWidget* Window() { return GtkRenderer::WidgetOf(dialog()); }
  GtkWidget* Widget(const ui::Control* c) { return GtkRenderer::WidgetOf(*c); }

  // Answers every box that comes up with `response`, noting what it said.
  void AnswerBoxes(std::vector<int> responses) {
    responses_ = std::move(responses);
    answering_ = g_timeout_add(
        10,
        [](gpointer self) -> gboolean {
          auto* t = static_cast<QuilletOnScreenTest*>(self);
          GtkWidget* box = t->dialogs.current();
          if (!box || t->responses_.empty()) return G_SOURCE_CONTINUE;
          gchar* text = nullptr;
          g_object_get(box, "text", &text, nullptr);
          t->seen.push_back({gtk_window_get_title(GTK_WINDOW(box)), text ? text : ""});
          g_free(text);
          int r = t->responses_.front();
          t->responses_.erase(t->responses_.begin());
          gtk_dialog_response(GTK_DIALOG(box), r);
          return G_SOURCE_CONTINUE;
        },
        this);
  }

  std::string BodyBuffer() {
    GtkTextBuffer* buf = gtk_text_view_get_buffer(GTK_TEXT_VIEW(Widget(dialog().BodyEdit)));
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buf, &a, &b);
    gchar* t = gtk_text_buffer_get_text(buf, &a, &b, FALSE);
    std::string s = t;
    g_free(t);
    return s;
  }

  testing_support::WorkingFolder folder;
  platform::gtk::GlibScheduler scheduler;
  platform::gtk::RealClock clock;
  platform::gtk::GtkDialogs dialogs;
  platform::gtk::GdkPointer pointer;
  platform::gtk::RecordingShell shell;
  NoBrowsers browsers;
  GtkRenderer renderer;
  LockFileInstance marker;
  quillet::Program program;
  std::vector<SeenBox> seen;

 private:
  std::vector<int> responses_;
  guint answering_ = 0;
};

TEST_F(QuilletOnScreenTest, WindowShowsThePageWithItsHeadingCentred) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(Window())),
               "定型文エディター for Mirabo Version 1.1");
  GtkWidget* heading = Widget(dialog().Heading);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(heading)), "F2キーで挿入する定型文の編集");
  EXPECT_FLOAT_EQ(gtk_label_get_xalign(GTK_LABEL(heading)), 0.5f);
  EXPECT_FLOAT_EQ(gtk_label_get_xalign(GTK_LABEL(Widget(dialog().TitleLabel))), 0.0f);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(Widget(dialog().TitleEdit))), "時刻");
  EXPECT_EQ(BodyBuffer(), "（&hour時&min分&sec秒）");

  gtk_button_clicked(GTK_BUTTON(Widget(dialog().NextPage)));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(heading)), "F3キーで挿入する定型文の編集");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(Widget(dialog().TitleEdit))), "サンプル");
  EXPECT_FALSE(dialog().modified());
}

TEST_F(QuilletOnScreenTest, TitleTakesWhatFitsInEightBytesAsTyped) {
  GtkEditable* title = GTK_EDITABLE(Widget(dialog().TitleEdit));
  gtk_editable_delete_text(title, 0, -1);
  gint at = 0;
  gtk_editable_insert_text(title, "aあいうえ", -1, &at);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(title)), "aあいう");
  EXPECT_EQ(text::ToUtf8(dialog().TitleEdit->text()), "aあいう");
  EXPECT_TRUE(dialog().modified());
}

TEST_F(QuilletOnScreenTest, CtrlITypesATabAndTabMovesOn) {
  GtkWidget* body = Widget(dialog().BodyEdit);
  gtk_widget_grab_focus(body);
  ASSERT_TRUE(WaitFor([&] { return gtk_widget_has_focus(body); }));
  SendKey(Window(), GDK_KEY_i, GDK_CONTROL_MASK);
  EXPECT_NE(BodyBuffer().find('\t'), std::string::npos);
  EXPECT_NE(dialog().BodyEdit->text().find('\t'), std::string::npos);
  EXPECT_TRUE(dialog().modified());
  std::string before = BodyBuffer();
  SendKey(Window(), GDK_KEY_Tab);
  EXPECT_EQ(BodyBuffer(), before) << "Tab types nothing into the body";
  EXPECT_FALSE(gtk_widget_has_focus(body));
}

TEST_F(QuilletOnScreenTest, EscapeClosesWithoutAsking) {
  gtk_entry_set_text(GTK_ENTRY(Widget(dialog().TitleEdit)), "変更");
  ASSERT_TRUE(dialog().modified());
  SendKey(Window(), GDK_KEY_Escape);
  EXPECT_TRUE(program.app.terminated());
  EXPECT_FALSE(gtk_widget_get_visible(Window()));
  EXPECT_EQ(dialogs.current(), nullptr);
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
}

TEST_F(QuilletOnScreenTest, BodyOf501FullWidthCharactersIsRefusedNamingItsKey) {
  std::string body;
  for (int i = 0; i < 501; ++i) body += "あ";
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(Widget(dialog().BodyEdit))),
                           body.c_str(), -1);
  ASSERT_EQ(dialog().BodyEdit->text().size(), 1002u);
  AnswerBoxes({GTK_RESPONSE_OK});
  gtk_button_clicked(GTK_BUTTON(Widget(dialog().SaveButton)));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, "保存できません。");
  EXPECT_EQ(seen[0].text, "F2の本文が1000字をこえています。");
  EXPECT_FALSE(text::Exists(text::kTeikeiFile));
  EXPECT_FALSE(text::Exists(text::kTeikeiMarker));
  EXPECT_TRUE(dialog().modified());
}

TEST_F(QuilletOnScreenTest, CloseBoxAsksAndSavesOnYes) {
  gtk_entry_set_text(GTK_ENTRY(Widget(dialog().TitleEdit)), "時間");
  AnswerBoxes({GTK_RESPONSE_YES, GTK_RESPONSE_OK});
  gtk_window_close(GTK_WINDOW(Window()));
  ASSERT_TRUE(WaitFor([&] { return program.app.terminated(); }));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, "確認");
  EXPECT_EQ(seen[0].text, "更新された内容を保存してから終了しますか？");
  EXPECT_EQ(seen[1].title, "報告");
  EXPECT_EQ(seen[1].text, "保存しました。");
  EXPECT_EQ(text::LoadTeikeiForBrowser().entries[1].title, "時間"_sj);
  EXPECT_EQ(text::ReadAll(text::kTeikeiMarker), "new");
  EXPECT_FALSE(gtk_widget_get_visible(Window()));
}

// ---------------------------------------------------------------------------------------------
// The lock file

TEST(LockFileInstanceTest, OneHolderAtATime) {
  testing_support::WorkingFolder folder;
  LockFileInstance first(folder.path().string()), second(folder.path().string());
  EXPECT_EQ(first.Acquire(quillet::kMarkerName), Result::Acquired);
  EXPECT_EQ(second.Acquire(quillet::kMarkerName), Result::HeldElsewhere);
  EXPECT_EQ(second.Acquire("ANOTHER MARKER"), Result::Acquired);
  first.Release(quillet::kMarkerName);
  EXPECT_EQ(second.Acquire(quillet::kMarkerName), Result::Acquired);
  EXPECT_EQ(first.Acquire(quillet::kMarkerName), Result::HeldElsewhere);
}

TEST(LockFileInstanceTest, KilledHolderKeepsNobodyOut) {
  testing_support::WorkingFolder folder;
  LockFileInstance marker(folder.path().string());
  std::string path = marker.PathFor(quillet::kMarkerName);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only system calls here: the child of a process with threads.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  EXPECT_EQ(marker.Acquire(quillet::kMarkerName), Result::HeldElsewhere);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(marker.Acquire(quillet::kMarkerName), Result::Acquired);
}

TEST(LockFileInstanceTest, LockFileIsNamedAfterTheMarker) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/4321", 1);
  EXPECT_EQ(LockFileInstance::DefaultFolder(), "/run/user/4321");
  EXPECT_EQ(LockFileInstance().PathFor("QUILLET FOR MIRABO"),
            "/run/user/4321/QUILLET FOR MIRABO.lock");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(LockFileInstance::DefaultFolder(), "/tmp");
  EXPECT_EQ(LockFileInstance().PathFor("QUILLET FOR MIRABO"),
            "/tmp/QUILLET FOR MIRABO-" + std::to_string(getuid()) + ".lock");
  EXPECT_EQ(LockFileInstance("/x").PathFor("a/../b"), "/x/a____b.lock");
  if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(LockFileInstanceTest, MissingFolderMeansNoMarker) {
  LockFileInstance marker("/nonexistent-folder-for-the-test");
  EXPECT_EQ(marker.Acquire(quillet::kMarkerName), Result::Failed);
}

// ---------------------------------------------------------------------------------------------
// The program itself, started as the browser starts it

// The titles of the top-level windows on the display.
std::vector<std::string> WindowTitles(Display* x) {
  std::vector<std::string> titles;
  Atom net_wm_name = XInternAtom(x, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
  Window root = DefaultRootWindow(x), parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(x, root, &root, &parent, &children, &n)) return titles;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(x, children[i], &attrs) || attrs.map_state != IsViewable) continue;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x, children[i], net_wm_name, 0, 1024, False, utf8, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
      titles.emplace_back(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
  }
  if (children) XFree(children);
  return titles;
}

// Polls the display until the window titled `title` is shown `times` times, or ms passed.
bool WaitForWindows(Display* x, const std::string& title, int times, int ms = 15000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto titles = WindowTitles(x);
    if (std::count(titles.begin(), titles.end(), title) == times) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

class QuilletProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    std::filesystem::create_directory(runtime);
    // Windows this process destroyed in earlier tests go once GDK has sent the requests.
    gdk_display_flush(gdk_display_get_default());
    ASSERT_TRUE(WaitForWindows(x, editor_title, 0));
  }
  void TearDown() override {
    for (pid_t p : started) {
      kill(p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    if (x) XCloseDisplay(x);
  }
  // Starts the real program with one parameter, its lock files in a folder of this test.
  pid_t Start(const char* parameter) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0) env_text.push_back(*e);
    env_text.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    std::vector<char*> env;
    for (auto& s : env_text) env.push_back(s.data());
    env.push_back(nullptr);
    std::string program = QUILLET_BINARY;
    char* argv[] = {program.data(), const_cast<char*>(parameter), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, env.data()) != 0) return -1;
    started.push_back(pid);
    return pid;
  }

  testing_support::WorkingFolder folder;
  std::filesystem::path runtime = folder.path() / "runtime";
  Display* x = nullptr;
  std::vector<pid_t> started;
  const std::string editor_title = "定型文エディター for Mirabo Version 1.1";
  const std::string refusal_title = "二重起動の禁止";
};

TEST_F(QuilletProgramTest, SecondCopyIsRefusedAndACrashBlocksNothing) {
  pid_t first = Start("4");
  ASSERT_GT(first, 0);
  ASSERT_TRUE(WaitForWindows(x, editor_title, 1));

  ASSERT_GT(Start("1"), 0);
  EXPECT_TRUE(WaitForWindows(x, refusal_title, 1));
  EXPECT_TRUE(WaitForWindows(x, editor_title, 1)) << "the first copy's window stays";

  // The first copy dies without cleaning up; the next start edits as usual.
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  ASSERT_TRUE(WaitForWindows(x, editor_title, 0));
  ASSERT_GT(Start("0"), 0);
  EXPECT_TRUE(WaitForWindows(x, editor_title, 1));
}

}  // namespace
