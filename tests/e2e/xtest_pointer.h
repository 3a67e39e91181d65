// Moves the pointer of the display GDK uses through the X server's test extension, as a real
// mouse moves it. Kept apart from the tests: the X headers' macros clash with GoogleTest's.
#pragma once

namespace e2e {

void MovePointer(int x, int y);

// Moves the pointer as a program does (XWarpPointer): no device moved, so no raw motion.
void WarpPointer(int x, int y);

}  // namespace e2e
