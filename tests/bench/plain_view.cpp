// plain_view URL: the yardstick of the start-up and memory benchmarks, a bare WebKitGTK browser
// with one web view in a window of Mirabo's client size and WebKit's default settings. When the
// page has finished loading it prints "mirabo-trace: complete <monotonic µs> <address>" to
// stderr, the line Mirabo prints with MIRABO_TRACE set, and it runs until it is ended.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

namespace {

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  const char* uri = webkit_web_view_get_uri(view);
  g_printerr("mirabo-trace: complete %" G_GINT64_FORMAT " %s\n", g_get_monotonic_time(),
             uri ? uri : "");
}

}  // namespace

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "plain_view: no display\n");
    return 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: plain_view URL\n");
    return 2;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 720, 550);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GtkWidget* view = webkit_web_view_new();
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
