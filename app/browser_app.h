// BrowserApp: the CEF application object of every process of the executable. Its
// browser-process side adjusts command lines and registers a scheme; its render-process side
// hosts the script bridge.
#pragma once

#include <unordered_map>

#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_v8.h"

class BrowserApp : public CefApp,
                   public CefRenderProcessHandler,
                   public CefBrowserProcessHandler,
                   public CefV8Handler {
 public:
  BrowserApp();

  // CefApp
  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override;
  void OnRegisterCustomSchemes(CefRawPtr<CefSchemeRegistrar> registrar) override;
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override;
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override;

  // CefRenderProcessHandler
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override;
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override;

  // CefBrowserProcessHandler
  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override;

  // CefV8Handler
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override;

 private:
  // Records the visibility for the browser and shows it in every frame of it.
  void ApplyBrowserVisibility(CefRefPtr<CefBrowser> browser, bool visible);

  // Browser identifier -> the last visibility applied in this renderer; main thread only.
  std::unordered_map<int, bool> visibilityByBrowser;

  IMPLEMENT_REFCOUNTING(BrowserApp);
};
