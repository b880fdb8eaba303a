// Registration of custom schemes, offered once per process to CefApp::OnRegisterCustomSchemes.
#pragma once

#include "include/cef_base.h"

class CefSchemeRegistrar {
 public:
  virtual ~CefSchemeRegistrar() = default;
  // `options` is a combination of cef_scheme_options_t bits.
  virtual bool AddCustomScheme(const CefString& scheme_name, int options) = 0;
};
