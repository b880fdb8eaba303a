// Windowless browsers: the view size and the painted frames.
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefRenderHandler : public virtual CefBaseRefCounted {
 public:
  using PaintElementType = cef_paint_element_type_t;
  using RectList = std::vector<CefRect>;

  virtual bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) { return false; }
  // Asked at creation and before every paint; a changed size is followed.
  virtual void GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
  virtual bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX,
                              int& screenY) {
    return false;
  }
  virtual void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) {}
  virtual void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) {}
  // On the UI thread: `buffer` holds B,G,R,A bytes (premultiplied alpha), rows top to bottom,
  // stride 4 x width, valid only during the call. At most windowless_frame_rate calls a second,
  // and only when the page painted since the previous call.
  virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type,
                       const RectList& dirtyRects, const void* buffer, int width, int height) = 0;
  virtual void OnScrollOffsetChanged(CefRefPtr<CefBrowser> browser, double x, double y) {}
};

#pragma GCC diagnostic pop
