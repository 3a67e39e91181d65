#include "platform/gtk/gtk_platform.h"

#include <gtk/gtk.h>

#include <stdexcept>

#include "platform/gtk/webkit_engine.h"

namespace platform::gtk {

RealPlatform::GtkStarted::GtkStarted(int* argc, char*** argv) {
  if (!gtk_init_check(argc, argv))
    throw std::runtime_error("GTK cannot open a display (is DISPLAY set?)");
}

namespace {

std::unique_ptr<platform::Shell> MakeShell(RealPlatform::ShellKind kind,
                                           RecordingShell*& recording) {
  if (kind == RealPlatform::ShellKind::Recording) {
    auto s = std::make_unique<RecordingShell>();
    recording = s.get();
    return s;
  }
  return std::make_unique<DesktopShell>();
}

std::unique_ptr<platform::Power> MakePower(RealPlatform::ShellKind kind,
                                           RecordingPower*& recording) {
  if (kind == RealPlatform::ShellKind::Recording) {
    auto p = std::make_unique<RecordingPower>();
    recording = p.get();
    return p;
  }
  return std::make_unique<LogindPower>();
}

}  // namespace

RealPlatform::RealPlatform(ShellKind shell, const std::string& data_folder)
    : RealPlatform(nullptr, nullptr, shell, data_folder) {}

RealPlatform::RealPlatform(int& argc, char**& argv, ShellKind shell, const std::string& data_folder)
    : RealPlatform(&argc, &argv, shell, data_folder) {}

RealPlatform::RealPlatform(int* argc, char*** argv, ShellKind shell, const std::string& data_folder)
    : started_(argc, argv),
      shell_(MakeShell(shell, recording_)),
      power_(MakePower(shell, recording_power_)),
      browsers_(std::make_unique<WebKitBrowserFactory>(data_folder)),
      renderer_(std::make_unique<GtkRenderer>()),
      platform_{scheduler_, clock_, dialogs_, *browsers_, *shell_, pointer_, renderer_.get()} {
  platform_.power = power_.get();
}

RealPlatform::~RealPlatform() = default;

}  // namespace platform::gtk
