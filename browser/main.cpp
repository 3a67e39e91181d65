// Mirabo's entry: the one place that picks the real backend.
#include <cstdio>
#include <exception>

#include "browser/program.h"
#include "platform/gtk/gtk_platform.h"
#include "text/hosts.h"

int main(int argc, char** argv) {
  try {
    platform::gtk::RealPlatform real(argc, argv);
    mirabo::Program program(real.platform(), text::LoadHosts());
    program.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Mirabo: %s\n", e.what());
    return 1;
  }
  return 0;
}
