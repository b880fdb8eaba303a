#include "cef_startup.h"

#include "include/cef_app.h"
#include "include/cef_application_factory.h"

CefStartResult StartCef(int argc, char** argv) {
  CefMainArgs main_args(argc, argv);
  CefRefPtr<CefApp> app = CreateApplication();

  int code = CefExecuteProcess(main_args, app, nullptr);
  if (code != -1) return CefStartResult::SubProcessDone;

  CefSettings settings;
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 1;
  settings.windowless_rendering_enabled = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  bool initialized = CefInitialize(main_args, settings, app, nullptr);

  // CEF keeps its own reference to the application object.
  app = nullptr;
  return initialized ? CefStartResult::Initialized : CefStartResult::InitFailed;
}
