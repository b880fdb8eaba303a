// The application object of every process and the start of the engine.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_command_line.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_scheme.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefApp : public virtual CefBaseRefCounted {
 public:
  // Called once per process, before the engine reads `command_line`; the handler may change it.
  virtual void OnBeforeCommandLineProcessing(const CefString& process_type,
                                             CefRefPtr<CefCommandLine> command_line) {}
  // Called once per process.
  virtual void OnRegisterCustomSchemes(CefRawPtr<CefSchemeRegistrar> registrar) {}
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

// Reads the command line, runs the application's command-line and scheme handlers, and tells
// what this process is: -1 for the browser process (the caller goes on with CefInitialize),
// otherwise a sub-process whose work is done (this engine's renderers are not our executable,
// so a sub-process has nothing to do and gets 0 at once).
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* windows_sandbox_info);

// Starts the engine in the browser process: a private X display, the UI thread (which runs
// every engine call and handler) and the web context. Returns false when any of it cannot
// start. Must be called from a thread that lives as long as the process (the private display
// is tied to it). `multi_threaded_message_loop` must be 1.
bool CefInitialize(const CefMainArgs& args, const CefSettings& settings,
                   CefRefPtr<CefApp> application, void* windows_sandbox_info);

// Stops the UI thread and the private display. Optional: ending the process also ends both.
void CefShutdown();

#pragma GCC diagnostic pop
