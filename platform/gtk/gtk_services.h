// The real backend's services: the GLib loop and its timers, the clock, GTK dialogs, the
// pointer, power and the desktop shell.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gtk/pointer_motion.h"
#include "platform/services.h"
#include "ui/scheduler.h"

typedef struct _GMainLoop GMainLoop;
typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

namespace platform::gtk {

// Timers are GLib timeouts on the default main context, so they keep firing in any nested loop
// (a modal dialog's). A timer never fires again while its own tick runs.
class GlibScheduler : public ui::Scheduler {
 public:
  GlibScheduler();
  ~GlibScheduler() override;  // removes the timers still running
  GlibScheduler(const GlibScheduler&) = delete;
  GlibScheduler& operator=(const GlibScheduler&) = delete;

  int AddTimer(int interval_ms, std::function<void()> tick) override;
  // Removing a timer from its own tick is fine.
  void RemoveTimer(int id) override;
  // Runs a main loop until Quit. A Quit that comes while no loop runs makes the next Run
  // return at once.
  void Run() override;
  // Ends the innermost Run.
  void Quit() override;

  std::size_t active_timers() const { return ids_->size(); }
  bool running() const { return !loops_.empty(); }

 private:
  std::shared_ptr<std::set<unsigned>> ids_;
  std::vector<GMainLoop*> loops_;
  bool quit_pending_ = false;
};

class RealClock : public platform::Clock {
 public:
  std::int64_t NowMs() override;  // g_get_monotonic_time
  LocalTime Local() override;     // the C library's local time
  void Sleep(int ms) override;    // a plain wait: nothing else runs meanwhile
};

// Message boxes and the input box, each run modally in a nested loop (gtk_dialog_run) in which
// the program's timers keep firing; transient for the active program window when there is one.
// Texts are Shift-JIS; the buttons are those of the original's Japanese desktop.
class GtkDialogs : public platform::Dialogs {
 public:
  Answer MessageBox(const std::string& text, const std::string& caption,
                    Buttons buttons = Buttons::Ok) override;
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& default_text) override;

  // The box that is up (a GtkDialog), nullptr when none: tests answer it with
  // gtk_dialog_response.
  GtkWidget* current() const { return current_; }
  // The entry of the input box that is up, nullptr when none.
  GtkWidget* current_entry() const { return entry_; }

  // The program window that has the focus, nullptr when none has.
  static GtkWindow* ActiveWindow();

 private:
  GtkWidget* current_ = nullptr;
  GtkWidget* entry_ = nullptr;
};

// The pointer of the display's default seat and the primary monitor's size.
//
// The program asks where the pointer is at every tick of its page watcher, and each question
// is a round trip to the X server. On X11 the pointer's motion is watched instead (the raw
// motion of the master devices, reported on the root window wherever the pointer is), and the
// server is asked again only after the pointer has moved, or a second after the last answer
// (a pointer moved by a program, which makes no raw motion, is seen within that second).
// Elsewhere, or when the server cannot report raw motion, every question is asked. The client
// area's place on the screen is kept likewise, until its window is configured (moved or
// resized) or it is laid out again, or for a second.
class GdkPointer : public platform::Pointer {
 public:
  GdkPointer() = default;
  ~GdkPointer() override;
  GdkPointer(const GdkPointer&) = delete;
  GdkPointer& operator=(const GdkPointer&) = delete;

  Point CursorPos() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  bool IsActive(const ui::Form& form) override;
  Point ClientOrigin(const ui::Form& form) override;

  // How many times the position was asked of the display: for the tests.
  int queries() const { return queries_; }

 private:
  void ForgetOrigin();

  PointerMotion motion_;
  // The last client area asked about (each pointer cleared when its widget goes).
  struct Origin {
    GtkWidget* client = nullptr;
    GtkWidget* toplevel = nullptr;
    bool known = false;
    Point origin;
    std::int64_t at_us = 0;
  } origin_;
  std::int64_t answered_us_ = 0;
  Point last_;
  int queries_ = 0;
};

// Switches the computer off through systemd-logind: PowerOff on the system D-Bus, not
// interactive, so logind decides by its policy for the logged-in user without asking. The call
// is sent and not waited for; a missing bus or a refusal changes nothing.
class LogindPower : public platform::Power {
 public:
  void PowerOff() override;
};

// Records the requests and switches nothing off: for end-to-end tests.
class RecordingPower : public platform::Power {
 public:
  void PowerOff() override { ++power_offs; }
  int power_offs = 0;
};

// A target naming an existing program file is started with the parameters (split as a Windows
// command line) in the current folder; anything else (an address, a document) opens with the
// desktop's default application. Targets and parameters are Shift-JIS; stored Windows paths
// ("AddIn\\006Quillet\\Quillet.exe") name the local program.
class DesktopShell : public platform::Shell {
 public:
  bool Open(const std::string& target, const std::string& parameters) override;
};

// Records what the program asked to open, and opens nothing: for end-to-end tests, which never
// start the desktop's browser.
class RecordingShell : public platform::Shell {
 public:
  struct Call {
    std::string target, parameters;  // Shift-JIS, as asked
    bool operator==(const Call&) const = default;
  };
  bool Open(const std::string& target, const std::string& parameters) override;
  std::vector<Call> calls;
  bool result = true;  // what Open answers
};

// Parameters split as the Windows C runtime splits a command line: blanks separate arguments,
// double quotes group them, backslashes are literal except before a double quote.
std::vector<std::string> SplitParameters(std::string_view command_line);

}  // namespace platform::gtk
