// What the end-to-end tests need of the GLib loop and of GTK's event dispatch.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

namespace e2e {

// Iterates the GLib main context until cond holds or timeout_ms have passed; whether it holds.
inline bool PumpUntil(const std::function<bool()>& cond, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  // A source that wakes the loop, so the deadline is seen even when nothing else happens.
  guint wake = g_timeout_add(
      5, [](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr);
  bool ok = cond();
  while (!ok && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    ok = cond();
  }
  g_source_remove(wake);
  return ok;
}

// A key pressed and released on a window, through GTK's own event dispatch, as the X server's
// key event arrives: the window's focus widget gets it.
inline void SendKey(GtkWidget* window, guint keyval, guint state = 0) {
  GdkWindow* gw = gtk_widget_get_window(window);
  if (!gw) return;
  GdkDisplay* display = gdk_window_get_display(gw);
  GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
  GdkKeymapKey* keys = nullptr;
  gint n = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &n);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* ev = gdk_event_new(type);
    ev->key.window = GDK_WINDOW(g_object_ref(gw));
    ev->key.send_event = TRUE;
    ev->key.time = GDK_CURRENT_TIME;
    ev->key.state = state;
    ev->key.keyval = keyval;
    ev->key.hardware_keycode = n > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
    ev->key.group = n > 0 ? static_cast<guint8>(keys[0].group) : 0;
    gdk_event_set_device(ev, keyboard);
    gtk_main_do_event(ev);
    gdk_event_free(ev);
  }
  g_free(keys);
}

}  // namespace e2e
