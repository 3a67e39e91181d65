// The end-to-end tests run the real backend: GTK must be up before any test builds a window.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "mirabo_e2e: no display; run it under Xvfb (xvfb-run -a)\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
