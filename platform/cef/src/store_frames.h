// Right frames of a transparent, non-composited view, at the cost of what changes.
//
// WebKit's UI process keeps a view's pixels in a backing store and paints each update of the
// web process into it. WebKitGTK 2.50 (Skia) draws an update over the old pixels instead of
// replacing them, so where an update is not opaque the old pixels show through it: a copy of
// the store shows traces where a transparent page changes. Snapshots are right, but repaint
// the whole view in the web process for every frame.
//
// StoreFrames keeps the store transparent instead. The moment WebKit has painted an update
// rectangle into the store (it then marks the rectangle dirty), the rectangle is copied into
// the view's frame and cleared in the store: the next update lands on transparency, so what
// the store holds is exactly what the web process painted. WebKit's calls are seen through
// this program's own cairo_surface_mark_dirty_rectangle and cairo_set_source_surface, which
// come first for every library it loads and pass each call on.
//
// A store that WebKit moves pixels in cannot be kept this way. WebKit moves them to scroll an
// opaque view, and repaints a transparent one instead; should it ever move them in a store
// kept here, the view is reported lost and must take snapshots from then on. Everything here
// runs on the UI thread.
#pragma once

#include <cairo.h>

#include <functional>

namespace cef_internal {

class StoreFrames {
 public:
  // `drawView` draws the view into the context it is given, as gtk_widget_draw does; it is
  // used to learn which store belongs to the view. `width` x `height` is the view's size.
  explicit StoreFrames(std::function<void(cairo_t*)> drawView);
  ~StoreFrames();
  StoreFrames(const StoreFrames&) = delete;
  StoreFrames& operator=(const StoreFrames&) = delete;

  // The view's size from now on; stores of another size are not this view's.
  void SetViewSize(int width, int height);

  // The frame (ARGB32, rows without padding) when the view's store has been seen; null before.
  cairo_surface_t* Frame() const { return frame_; }
  // WebKit moved pixels within the store: the frame can no longer be kept right.
  bool Lost() const { return lost_; }

 private:
  friend struct StoreHooks;
  bool Owns(cairo_surface_t* store);
  void Bind(cairo_surface_t* store);
  void Unbind();
  void TakeRect(int x, int y, int width, int height);

  std::function<void(cairo_t*)> drawView_;
  int width_ = 0;
  int height_ = 0;
  cairo_surface_t* store_ = nullptr;  // WebKit's, not referenced: unbound when it is destroyed
  cairo_surface_t* frame_ = nullptr;
  bool lost_ = false;
};

}  // namespace cef_internal
