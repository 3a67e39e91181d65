// The real platform: GTK and WebKitGTK on the desktop. A program's main() makes one and hands
// platform() to the program; end-to-end tests make one with a recording shell, so nothing the
// program opens reaches the desktop.
#pragma once

#include <memory>
#include <string>

#include "platform/gtk/gtk_renderer.h"
#include "platform/gtk/gtk_services.h"
#include "platform/platform.h"

namespace platform::gtk {

class WebKitBrowserFactory;

class RealPlatform {
 public:
  enum class ShellKind { Desktop, Recording };

  // Initialises GTK (throws std::runtime_error when there is no display). data_folder: where
  // the browser engine may keep its cache; empty keeps everything in memory.
  explicit RealPlatform(ShellKind shell = ShellKind::Desktop,
                        const std::string& data_folder = std::string());
  // The same, with main()'s arguments for GTK (which takes its own options, like --display,
  // out of them).
  RealPlatform(int& argc, char**& argv, ShellKind shell = ShellKind::Desktop,
               const std::string& data_folder = std::string());
  ~RealPlatform();
  RealPlatform(const RealPlatform&) = delete;
  RealPlatform& operator=(const RealPlatform&) = delete;

  platform::Platform& platform() { return platform_; }

  GlibScheduler& scheduler() { return scheduler_; }
  RealClock& clock() { return clock_; }
  GtkDialogs& dialogs() { return dialogs_; }
  GdkPointer& pointer() { return pointer_; }
  platform::Shell& shell() { return *shell_; }
  // The recording shell, when the platform was made with one; nullptr otherwise.
  RecordingShell* recording_shell() { return recording_; }
  WebKitBrowserFactory& browsers() { return *browsers_; }
  GtkRenderer& renderer() { return *renderer_; }

 private:
  RealPlatform(int* argc, char*** argv, ShellKind shell, const std::string& data_folder);

  struct GtkStarted {
    GtkStarted(int* argc, char*** argv);
  };
  GtkStarted started_;  // first: everything below needs GTK
  GlibScheduler scheduler_;
  RealClock clock_;
  GtkDialogs dialogs_;
  GdkPointer pointer_;
  RecordingShell* recording_ = nullptr;  // before shell_, which sets it
  std::unique_ptr<platform::Shell> shell_;
  std::unique_ptr<WebKitBrowserFactory> browsers_;
  std::unique_ptr<GtkRenderer> renderer_;
  platform::Platform platform_;
};

}  // namespace platform::gtk
