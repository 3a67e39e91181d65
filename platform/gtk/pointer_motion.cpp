#include "platform/gtk/pointer_motion.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>

namespace platform::gtk {

PointerMotion::~PointerMotion() {
  if (watching_) gdk_window_remove_filter(nullptr, reinterpret_cast<GdkFilterFunc>(OnXEvent), this);
}

bool PointerMotion::Start() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = gdk_x11_display_get_xdisplay(display);
  int event = 0, error = 0;
  if (!XQueryExtension(x, "XInputExtension", &xi_opcode_, &event, &error)) return false;
  // GDK has agreed its XInput 2 version with the server already (asking again with another
  // one is an error): a server that cannot report raw motion refuses the selection.
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawMotion);
  XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
  gdk_x11_display_error_trap_push(display);
  XISelectEvents(x, DefaultRootWindow(x), &mask, 1);
  if (gdk_x11_display_error_trap_pop(display) != 0) return false;
  gdk_window_add_filter(nullptr, reinterpret_cast<GdkFilterFunc>(OnXEvent), this);
  return true;
}

bool PointerMotion::TakeMoved() {
  if (!started_) {
    started_ = true;
    watching_ = Start();
  }
  bool moved = moved_ || !watching_;
  moved_ = false;
  return moved;
}

int PointerMotion::OnXEvent(void* xevent, void*, void* self) {
  auto* watch = static_cast<PointerMotion*>(self);
  const auto* e = static_cast<const XEvent*>(xevent);
  if (e->type == GenericEvent && e->xcookie.extension == watch->xi_opcode_ &&
      e->xcookie.evtype == XI_RawMotion)
    watch->moved_ = true;
  return GDK_FILTER_CONTINUE;
}

}  // namespace platform::gtk
