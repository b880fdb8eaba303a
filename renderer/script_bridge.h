// The script bridge object that every page sees as window.tavrimon.
#pragma once

#include "include/cef_v8.h"

namespace tavrimon {

// The product name pages read from window.tavrimon.pluginVersion.
inline constexpr char kPluginVersion[] = "Tavrimon";

// Installs a fresh window.tavrimon in `context` (which must be entered): "pluginVersion" and the
// page-query functions "getCurrentScene" and "getStatus", whose calls go to `handler`. Every
// property is plain (writable, enumerable, deletable), so the page may replace or remove them.
void InstallScriptBridge(CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Handler> handler);

}  // namespace tavrimon
