#include "browser_app.h"

#include <windows.h>

#include <string>

#include "include/cef_application_factory.h"

BrowserApp::BrowserApp() = default;

CefRefPtr<CefApp> CreateApplication() {
  return new BrowserApp();
}

void BrowserApp::OnBeforeCommandLineProcessing(const CefString& /*process_type*/,
                                               CefRefPtr<CefCommandLine> command_line) {
  bool enableGpu = command_line->HasSwitch("enable-gpu");
  std::string type = command_line->GetSwitchValue("type").ToString();
  if (!enableGpu && type.empty()) {
    command_line->AppendSwitch("disable-gpu");
    command_line->AppendSwitch("disable-gpu-compositing");
  }
  if (command_line->HasSwitch("disable-features")) {
    std::string features = command_line->GetSwitchValue("disable-features").ToString();
    command_line->AppendSwitchWithValue("disable-features", features + ",HardwareMediaKeyHandling");
  } else {
    command_line->AppendSwitchWithValue("disable-features", "HardwareMediaKeyHandling");
  }
  command_line->AppendSwitchWithValue("autoplay-policy", "no-user-gesture-required");
}

void BrowserApp::OnRegisterCustomSchemes(CefRawPtr<CefSchemeRegistrar> registrar) {
  registrar->AddCustomScheme("http", CEF_SCHEME_OPTION_STANDARD | CEF_SCHEME_OPTION_CORS_ENABLED);
}

CefRefPtr<CefBrowserProcessHandler> BrowserApp::GetBrowserProcessHandler() {
  return this;
}

CefRefPtr<CefRenderProcessHandler> BrowserApp::GetRenderProcessHandler() {
  return this;
}

void BrowserApp::OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {
  command_line->AppendSwitchWithValue("parent_pid", std::to_string(GetCurrentProcessId()));
}

// The render-process side (script bridge, visibility) is filled in by the renderer subsystem;
// until then these keep CEF's defaults.
void BrowserApp::OnContextCreated(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                  CefRefPtr<CefV8Context> /*context*/) {}

bool BrowserApp::OnProcessMessageReceived(CefRefPtr<CefBrowser> /*browser*/,
                                          CefRefPtr<CefFrame> /*frame*/,
                                          CefProcessId /*source_process*/,
                                          CefRefPtr<CefProcessMessage> /*message*/) {
  return false;
}

bool BrowserApp::Execute(const CefString& /*name*/, CefRefPtr<CefV8Value> /*object*/,
                         const CefV8ValueList& /*arguments*/, CefRefPtr<CefV8Value>& /*retval*/,
                         CefString& /*exception*/) {
  return false;
}
