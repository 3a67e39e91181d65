// Quillet's entry: the one place that picks the real backend.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/gtk/gtk_platform.h"
#include "platform/gtk/single_instance.h"
#include "template-editor/program.h"

int main(int argc, char** argv) {
  try {
    platform::gtk::LockFileInstance marker;
    platform::gtk::RealPlatform real(argc, argv);  // GTK takes its own options out first
    // The command line's text after the program's name, as the page number is read from it.
    std::string parameters;
    for (int i = 1; i < argc; ++i) {
      if (i > 1) parameters += ' ';
      parameters += argv[i];
    }
    platform::Platform p = real.platform();
    p.single_instance = &marker;
    quillet::Program program(p, parameters);
    program.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Quillet: %s\n", e.what());
    return 1;
  }
  return 0;
}
