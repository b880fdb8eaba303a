// Display events: address, title and console output of a page.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefDisplayHandler : public virtual CefBaseRefCounted {
 public:
  virtual void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                               const CefString& url) {}
  virtual void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {}
  // This engine does not report page console output: never called.
  virtual bool OnConsoleMessage(CefRefPtr<CefBrowser> browser, cef_log_severity_t level,
                                const CefString& message, const CefString& source, int line) {
    return false;
  }
};

#pragma GCC diagnostic pop
