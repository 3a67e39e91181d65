// Quillet, the template editor: its program object. It holds the single-instance marker, reads
// the first page from the command line, loads the six template texts and owns the one dialog.
// A test builds a fresh program on the fake platform in a fresh working folder.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "ui/application.h"

namespace quillet {

class EditorDialog;

// The name of the marker that keeps a second copy from starting.
inline constexpr char kMarkerName[] = "QUILLET FOR MIRABO";

// The first page from the command line's text after the program's name, read as the C
// library's atoi reads it (blanks, a sign, then the leading digits; no digits reads as 0):
// below 0 gives page 5, above 5 gives page 0.
int PageFromParameters(std::string_view parameters);

class Program {
 public:
  // The start: takes the marker (a second copy says so and does not edit; when there is no
  // marker at all the program ends silently), reads the first page, loads the texts and builds
  // the dialog on that page.
  Program(platform::Platform platform, std::string_view parameters);
  ~Program();

  // Shows the dialog and runs the loop until it closes, then gives up the marker. Returns at
  // once when this copy does not edit. (The marker also goes with the program object.)
  void Run();

  // Whether this copy got as far as its dialog.
  bool editing() const { return Editor != nullptr; }

  platform::Platform platform;
  ui::Application app;
  std::unique_ptr<EditorDialog> Editor;

 private:
  void ReleaseMarker();
  bool holds_marker_ = false;
};

}  // namespace quillet
