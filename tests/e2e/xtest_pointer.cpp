#include "tests/e2e/xtest_pointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace e2e {

void MovePointer(int x, int y) {
  Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
  XFlush(dpy);
}

void WarpPointer(int x, int y) {
  Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
  XFlush(dpy);
}

}  // namespace e2e
