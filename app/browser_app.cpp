#include "browser_app.h"

#include <windows.h>

#include <string>

#include "include/cef_application_factory.h"
#include "renderer/message_names.h"
#include "renderer/page_visibility.h"
#include "renderer/script_bridge.h"

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

// Render-process side: every new context gets the script bridge object and, once the browser
// process has told this browser its visibility, that visibility again.
void BrowserApp::OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  CefRefPtr<CefV8Context> context) {
  tavrimon::InstallScriptBridge(context, this);
  tavrimon::ApplyRecordedVisibility(visibilityByBrowser, browser, frame);
}

// Every message is accepted; only "Visibility" has an effect here.
bool BrowserApp::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser,
                                          CefRefPtr<CefFrame> /*frame*/,
                                          CefProcessId /*source_process*/,
                                          CefRefPtr<CefProcessMessage> message) {
  CefRefPtr<CefListValue> arguments = message->GetArgumentList();
  if (message->GetName() == tavrimon::messages::kVisibility) {
    ApplyBrowserVisibility(browser, arguments->GetBool(0));
  }
  return true;
}

// getCurrentScene and getStatus: the page gets undefined; arguments (callbacks too) are dropped.
bool BrowserApp::Execute(const CefString& /*name*/, CefRefPtr<CefV8Value> /*object*/,
                         const CefV8ValueList& /*arguments*/, CefRefPtr<CefV8Value>& /*retval*/,
                         CefString& /*exception*/) {
  return true;
}

void BrowserApp::ApplyBrowserVisibility(CefRefPtr<CefBrowser> browser, bool visible) {
  tavrimon::ApplyBrowserVisibility(visibilityByBrowser, browser, visible);
}
