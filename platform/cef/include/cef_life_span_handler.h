// Pop-ups and the life of a browser.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefClient;

class CefLifeSpanHandler : public virtual CefBaseRefCounted {
 public:
  using WindowOpenDisposition = cef_window_open_disposition_t;

  // A page asked for a new window (window.open, a link with a new-window target). Returning
  // true blocks it: nothing opens and window.open returns null. This engine never opens
  // pop-up browsers, so returning false also opens nothing.
  virtual bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                             const CefString& target_url, const CefString& target_frame_name,
                             WindowOpenDisposition target_disposition, bool user_gesture,
                             const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                             CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                             CefRefPtr<CefDictionaryValue>& extra_info,
                             bool* no_javascript_access) {
    return false;
  }
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) {}
  virtual bool DoClose(CefRefPtr<CefBrowser> browser) { return false; }
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) {}
};

#pragma GCC diagnostic pop
