// Per-process state of the engine that both process sides share: the application object and
// this process's command line.
#pragma once

#include "include/cef_app.h"
#include "include/cef_command_line.h"

namespace cef_internal {

CefRefPtr<CefApp> Application();
void SetApplication(CefRefPtr<CefApp> app);
void SetGlobalCommandLine(CefRefPtr<CefCommandLine> commandLine);

// Runs the application's OnBeforeCommandLineProcessing on this process's command line and its
// OnRegisterCustomSchemes, once per process; later calls do nothing.
void PrepareProcess(CefRefPtr<CefApp> app, CefRefPtr<CefCommandLine> commandLine);

}  // namespace cef_internal
