// Context menus.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_menu_model.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefContextMenuParams : public virtual CefBaseRefCounted {
 public:
  virtual int GetXCoord() = 0;
  virtual int GetYCoord() = 0;
  virtual CefString GetLinkUrl() = 0;
};

class CefContextMenuHandler : public virtual CefBaseRefCounted {
 public:
  virtual void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefContextMenuParams> params,
                                   CefRefPtr<CefMenuModel> model) {}
};

#pragma GCC diagnostic pop
