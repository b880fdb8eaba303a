// Load events of a browser's frames.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

enum cef_errorcode_t { ERR_NONE = 0, ERR_FAILED = -2, ERR_ABORTED = -3 };

class CefLoadHandler : public virtual CefBaseRefCounted {
 public:
  using ErrorCode = cef_errorcode_t;

  virtual void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack,
                                    bool canGoForward) {}
  // The end of a frame's load (every frame, sub-frames included) with that frame's document
  // status; a file:// document that was read counts as 200. Not called for failed loads.
  virtual void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         int httpStatusCode) {}
  virtual void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                           ErrorCode errorCode, const CefString& errorText,
                           const CefString& failedUrl) {}
};

#pragma GCC diagnostic pop
