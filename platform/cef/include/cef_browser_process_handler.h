// Browser-process callbacks of the application object.
#pragma once

#include "include/cef_base.h"
#include "include/cef_command_line.h"
#include "include/cef_print_handler.h"
#include "include/cef_values.h"

// Default handler bodies leave their parameters unused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class CefBrowserProcessHandler : public virtual CefBaseRefCounted {
 public:
  // Called on the UI thread once the engine is ready.
  virtual void OnContextInitialized() {}
  // Called on the UI thread before each renderer process starts, with that child's command
  // line; what is appended reaches the child's OnBeforeCommandLineProcessing.
  virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {}
  virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) {}
  virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }
  virtual void OnScheduleMessagePumpWork(int64 delay_ms) {}
};

#pragma GCC diagnostic pop
