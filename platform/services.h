// The services the programs ask of the platform, besides the controls and the loop.
#pragma once

#include <cstdint>
#include <string>

namespace ui {
class Form;
}

namespace platform {

struct LocalTime {
  int year = 2000, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
  int weekday = 0;  // 0 = Sunday
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t NowMs() = 0;  // monotonic
  virtual LocalTime Local() = 0;
  // A plain wait on the GUI thread: nothing else runs meanwhile.
  virtual void Sleep(int ms) = 0;
};

enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box in a nested loop (timers keep firing).
  virtual Answer MessageBox(const std::string& text, const std::string& caption,
                            Buttons buttons = Buttons::Ok) = 0;
  // An input box; the answer, or empty when cancelled.
  virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                               const std::string& default_text) = 0;
};

struct Point {
  std::int32_t x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

class Pointer {
 public:
  virtual ~Pointer() = default;
  virtual Point CursorPos() = 0;  // screen coordinates
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  // Whether the form's window is the active one, and where its client area's origin is on the
  // screen.
  virtual bool IsActive(const ui::Form& form) = 0;
  virtual Point ClientOrigin(const ui::Form& form) = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Starts a program with parameters in the current folder, or opens anything else (an
  // address, a document) with the desktop's default application. false when it failed.
  virtual bool Open(const std::string& target, const std::string& parameters) = 0;
};

// A named marker that one process at a time holds while it runs. The system frees it when the
// holder ends, however it ends, so a crash never keeps the next start out.
class SingleInstance {
 public:
  enum class Result {
    Acquired,       // this process holds the marker now
    HeldElsewhere,  // another running process holds it
    Failed,         // the marker cannot be made at all
  };
  virtual ~SingleInstance() = default;
  virtual Result Acquire(const std::string& name) = 0;
  // Gives up a marker this process holds (nothing when it holds none of that name).
  virtual void Release(const std::string& name) = 0;
};

// Switching the computer off.
class Power {
 public:
  virtual ~Power() = default;
  // Asks the system to end the session, shut down and switch the power off, as the logged-in
  // user and without asking anything. Whether it happens is the system's affair: nothing is
  // reported back.
  virtual void PowerOff() = 0;
};

}  // namespace platform
