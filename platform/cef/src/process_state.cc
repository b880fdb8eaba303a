#include "process_state.h"

#include <mutex>
#include <set>

namespace cef_internal {
namespace {

std::mutex g_mutex;
// Never destroyed: the engine's threads may still ask for them while the process exits.
CefRefPtr<CefApp>& g_app = *new CefRefPtr<CefApp>;
CefRefPtr<CefCommandLine>& g_commandLine = *new CefRefPtr<CefCommandLine>;
bool g_prepared = false;

// Schemes a process registers. The engine's own schemes (http, https, file, data, about) are
// already standard, secure where they should be and CORS-enabled, so registering them changes
// nothing; other names are remembered only.
class SchemeRegistrar : public CefSchemeRegistrar {
 public:
  bool AddCustomScheme(const CefString& scheme_name, int /*options*/) override {
    if (scheme_name.empty()) return false;
    return names_.insert(scheme_name.ToString()).second;
  }

 private:
  std::set<std::string> names_;
};

}  // namespace

CefRefPtr<CefApp> Application() {
  std::lock_guard lock(g_mutex);
  return g_app;
}

void SetApplication(CefRefPtr<CefApp> app) {
  std::lock_guard lock(g_mutex);
  g_app = std::move(app);
}

void SetGlobalCommandLine(CefRefPtr<CefCommandLine> commandLine) {
  std::lock_guard lock(g_mutex);
  g_commandLine = std::move(commandLine);
}

void PrepareProcess(CefRefPtr<CefApp> app, CefRefPtr<CefCommandLine> commandLine) {
  {
    std::lock_guard lock(g_mutex);
    if (g_prepared) return;
    g_prepared = true;
    g_app = app;
    g_commandLine = commandLine;
  }
  if (!app) return;
  CefString type = commandLine->GetSwitchValue("type");
  app->OnBeforeCommandLineProcessing(type, commandLine);
  SchemeRegistrar registrar;
  app->OnRegisterCustomSchemes(&registrar);
}

}  // namespace cef_internal

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine() {
  std::lock_guard lock(cef_internal::g_mutex);
  return cef_internal::g_commandLine;
}
