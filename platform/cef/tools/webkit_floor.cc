// The cost floor for the engine benchmark: the least a WebKitGTK program can do to get a
// page's frames - one view in a window on a private X server, copied with gtk_widget_draw at
// most <fps> times a second when it drew. Usage: webkit-floor <url> <width> <height> <fps>
// [snapshot]. Prints "frames <n>" once a second.
// With "snapshot" the view is transparent and each frame is a snapshot of the visible region:
// the least WebKitGTK needs for right frames of a transparent view, whose copy with
// gtk_widget_draw blends each repaint over the old pixels.
#include <cairo.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../src/private_display.h"
#include "../src/webkit_environment.h"

namespace {

struct Floor {
  GtkWidget* view = nullptr;
  cairo_surface_t* surface = nullptr;
  bool dirty = false;
  bool copying = false;
  bool snapshots = false;
  bool snapshotPending = false;
  long frames = 0;
  unsigned long checksum = 0;
};

gboolean OnDraw(GtkWidget*, cairo_t*, gpointer data) {
  auto* f = static_cast<Floor*>(data);
  if (!f->copying) f->dirty = true;
  return FALSE;
}

void OnSnapshot(GObject* view, GAsyncResult* result, gpointer data) {
  auto* f = static_cast<Floor*>(data);
  f->snapshotPending = false;
  cairo_surface_t* shot =
      webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  if (!shot) return;
  cairo_surface_flush(shot);
  f->checksum += cairo_image_surface_get_data(shot)[0];
  ++f->frames;
  cairo_surface_destroy(shot);
}

gboolean Copy(gpointer data) {
  auto* f = static_cast<Floor*>(data);
  if (!f->dirty || f->snapshotPending) return G_SOURCE_CONTINUE;
  f->dirty = false;
  if (f->snapshots) {
    f->snapshotPending = true;
    webkit_web_view_get_snapshot(WEBKIT_WEB_VIEW(f->view), WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                 WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND, nullptr,
                                 OnSnapshot, f);
    return G_SOURCE_CONTINUE;
  }
  cairo_t* cr = cairo_create(f->surface);
  f->copying = true;
  gtk_widget_draw(f->view, cr);
  f->copying = false;
  cairo_destroy(cr);
  cairo_surface_flush(f->surface);
  // Touch the pixels once, as a consumer of the frame would.
  f->checksum += cairo_image_surface_get_data(f->surface)[0];
  ++f->frames;
  return G_SOURCE_CONTINUE;
}

gboolean Report(gpointer data) {
  std::printf("frames %ld\n", static_cast<Floor*>(data)->frames);
  std::fflush(stdout);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "snapshot")) return 2;
  int width = std::atoi(argv[2]), height = std::atoi(argv[3]), fps = std::atoi(argv[4]);
  cef_internal::KeepGlUnloaded();
  auto display = cef_internal::StartPrivateDisplay(1920, 1080, 15000, /*withGl=*/false);
  if (!display) return 1;
  setenv("DISPLAY", display->name.c_str(), 1);
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) return 1;

  Floor f;
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  f.view = webkit_web_view_new_with_settings(settings);
  f.snapshots = argc == 6;
  if (f.snapshots) {
    GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(f.view), &transparent);
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_widget_set_size_request(f.view, width, height);
  gtk_container_add(GTK_CONTAINER(window), f.view);
  f.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  g_signal_connect_after(f.view, "draw", G_CALLBACK(OnDraw), &f);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(f.view), argv[1]);
  g_timeout_add(1000 / fps, Copy, &f);
  g_timeout_add(1000, Report, &f);
  gtk_main();
  return static_cast<int>(f.checksum & 1);
}
