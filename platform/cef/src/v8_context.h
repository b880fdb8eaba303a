// Script contexts of a renderer process over JavaScriptCore's GLib API.
#pragma once

#include <jsc/jsc.h>

#include "include/cef_browser.h"
#include "include/cef_v8.h"

namespace cef_internal {

// Wraps the script context of `frame`; `browser` and `frame` are what GetBrowser and GetFrame
// answer. Also remembers them, and keeps the context, for later wrappers of the same context
// (callbacks from the page) until ForgetContext.
CefRefPtr<CefV8Context> WrapContext(JSCContext* context, CefRefPtr<CefBrowser> browser,
                                    CefRefPtr<CefFrame> frame);

// Ends what WrapContext remembered about `context` (its frame shows another one, or is gone).
void ForgetContext(JSCContext* context);

// A wrapper for a context already seen by WrapContext (browser and frame may be null).
CefRefPtr<CefV8Context> ContextFor(JSCContext* context);

}  // namespace cef_internal
