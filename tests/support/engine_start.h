// Starting the engine in a test or benchmark program, in this process, with multi-threaded
// message loop and windowless rendering.
#pragma once

#include <string>

#include "include/cef_app.h"

// Starts the engine with `app` as the application object and the renderer-side module found
// in `moduleDir`; false when it could not start. Call once per process.
bool StartEngine(CefRefPtr<CefApp> app, const std::string& moduleDir);

// The directory of a renderer-side module built with this program: ../lib/<name> next to the
// executable, or next to $TAVRIMON_BIN_DIR when CTest sets it.
std::string BuiltModuleDir(const std::string& name);
