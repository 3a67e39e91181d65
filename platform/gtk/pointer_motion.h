// Whether the pointer has moved, told by the X server rather than asked of it: the raw motion
// of the master pointer devices, which the server reports on the root window wherever the
// pointer is. Kept apart because the X11 headers' macros clash with the program's names.
#pragma once

namespace platform::gtk {

class PointerMotion {
 public:
  PointerMotion() = default;
  ~PointerMotion();
  PointerMotion(const PointerMotion&) = delete;
  PointerMotion& operator=(const PointerMotion&) = delete;

  // Whether the pointer may have moved since the last call: the first call starts watching
  // on the default display, and where the motion cannot be watched (not X11, or a server
  // that reports no raw motion) the answer is always yes.
  bool TakeMoved();

 private:
  bool Start();
  static int OnXEvent(void* xevent, void* event, void* self);

  bool started_ = false;
  bool watching_ = false;
  bool moved_ = true;
  int xi_opcode_ = -1;
};

}  // namespace platform::gtk
