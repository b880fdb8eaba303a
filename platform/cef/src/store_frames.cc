#include "store_frames.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace cef_internal {

// The hooks' side: which views' stores are watched, and what WebKit does to them.
struct StoreHooks {
  // Every StoreFrames of the process (UI thread only).
  static std::vector<StoreFrames*>& All() {
    static auto* all = new std::vector<StoreFrames*>;  // never destroyed: hooks run until exit
    return *all;
  }
  static std::atomic<std::thread::id>& UiThread() {
    static std::atomic<std::thread::id> id{};
    return id;
  }
  static bool OnUiThread() { return UiThread().load() == std::this_thread::get_id(); }

  static thread_local bool busy;     // our own cairo calls: not WebKit's
  static thread_local bool probing;  // a view is being drawn to learn its store
  static thread_local cairo_surface_t* seen;

  static void Painted(cairo_surface_t* surface, int x, int y, int width, int height) {
    if (busy || probing || !OnUiThread() || All().empty()) return;
    for (StoreFrames* frames : All()) {
      if (frames->store_ == surface) {
        frames->TakeRect(x, y, width, height);
        return;
      }
    }
    // A surface not seen before: a new store, if it has the size of a view whose store it is.
    if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
      return;
    }
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    for (StoreFrames* frames : All()) {
      if (frames->lost_ || frames->width_ != w || frames->height_ != h) continue;
      if (frames->Owns(surface)) {
        frames->Bind(surface);
        frames->TakeRect(x, y, width, height);
        return;
      }
    }
  }

  static void SourceSet(cairo_t* cr, cairo_surface_t* source) {
    if (busy || !OnUiThread()) return;
    if (probing) {
      seen = source;
      return;
    }
    // WebKit drawing into a store with cairo: it moves pixels within it (a scroll), and the
    // pixels it moves were cleared here.
    cairo_surface_t* target = cairo_get_target(cr);
    for (StoreFrames* frames : All()) {
      if (frames->store_ != nullptr && frames->store_ == target) {
        frames->lost_ = true;
        frames->Unbind();
      }
    }
  }
};

thread_local bool StoreHooks::busy = false;
thread_local bool StoreHooks::probing = false;
thread_local cairo_surface_t* StoreHooks::seen = nullptr;

namespace {

const cairo_user_data_key_t kWatchedStore{};

}  // namespace

StoreFrames::StoreFrames(std::function<void(cairo_t*)> drawView) : drawView_(std::move(drawView)) {
  StoreHooks::UiThread() = std::this_thread::get_id();
  StoreHooks::All().push_back(this);
}

StoreFrames::~StoreFrames() {
  Unbind();
  auto& all = StoreHooks::All();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  if (frame_) cairo_surface_destroy(frame_);
}

void StoreFrames::SetViewSize(int width, int height) {
  width_ = width;
  height_ = height;
}

bool StoreFrames::Owns(cairo_surface_t* store) {
  // Drawing one pixel of the view makes WebKit paint from its store: the store is its source.
  cairo_surface_t* pixel = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(pixel);
  StoreHooks::probing = true;
  StoreHooks::seen = nullptr;
  drawView_(cr);
  StoreHooks::probing = false;
  cairo_destroy(cr);
  cairo_surface_destroy(pixel);
  return StoreHooks::seen == store;
}

void StoreFrames::Bind(cairo_surface_t* store) {
  Unbind();
  store_ = store;
  // Told when WebKit lets go of its store, so a later surface at the same address is not
  // taken for it.
  cairo_surface_set_user_data(store, &kWatchedStore, this, [](void* self) {
    static_cast<StoreFrames*>(self)->store_ = nullptr;
  });
  const int w = cairo_image_surface_get_width(store);
  const int h = cairo_image_surface_get_height(store);
  // A store made anew for a view of the same size (WebKit dropped the old one) continues the
  // frame; one of another size starts a frame of its own.
  if (!frame_ || cairo_image_surface_get_width(frame_) != w ||
      cairo_image_surface_get_height(frame_) != h) {
    if (frame_) cairo_surface_destroy(frame_);
    frame_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  }
}

void StoreFrames::Unbind() {
  if (!store_) return;
  cairo_surface_t* store = store_;
  store_ = nullptr;
  cairo_surface_set_user_data(store, &kWatchedStore, nullptr, nullptr);
}

void StoreFrames::TakeRect(int x, int y, int width, int height) {
  if (!store_ || !frame_) return;
  StoreHooks::busy = true;
  cairo_t* cr = cairo_create(frame_);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, store_, 0, 0);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(frame_);
  cr = cairo_create(store_);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_destroy(cr);
  StoreHooks::busy = false;
}

}  // namespace cef_internal

// WebKit's calls into cairo, seen on their way. Defined in the program, these come before
// cairo's own for every library the program loads; each passes the call on unchanged.
extern "C" {

void cairo_surface_mark_dirty_rectangle(cairo_surface_t* surface, int x, int y, int width,
                                        int height) {
  using Real = void (*)(cairo_surface_t*, int, int, int, int);
  static const auto real =
      reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cairo_surface_mark_dirty_rectangle"));
  real(surface, x, y, width, height);
  cef_internal::StoreHooks::Painted(surface, x, y, width, height);
}

void cairo_set_source_surface(cairo_t* cr, cairo_surface_t* surface, double x, double y) {
  using Real = void (*)(cairo_t*, cairo_surface_t*, double, double);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cairo_set_source_surface"));
  real(cr, surface, x, y);
  cef_internal::StoreHooks::SourceSet(cr, surface);
}

}  // extern "C"
