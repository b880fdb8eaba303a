// Request events of a browser.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefRequestHandler : public virtual CefBaseRefCounted {
 public:
  using TerminationStatus = cef_termination_status_t;

  // The browser's renderer process ended unexpectedly; the browser stays usable (a new load
  // starts a new renderer).
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) {}
};

#pragma GCC diagnostic pop
