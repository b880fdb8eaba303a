#include "engine_start.h"

#include <cstdlib>
#include <filesystem>

bool StartEngine(CefRefPtr<CefApp> app, const std::string& moduleDir) {
  static char program[] = "tavrimon-test";
  static char* argv[] = {program, nullptr};
  CefMainArgs args(1, argv);
  if (CefExecuteProcess(args, app, nullptr) != -1) return false;
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 1;
  settings.windowless_rendering_enabled = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  settings.browser_subprocess_path = moduleDir;
  return CefInitialize(args, settings, app, nullptr);
}

std::string BuiltModuleDir(const std::string& name) {
  std::filesystem::path bin;
  if (const char* dir = std::getenv("TAVRIMON_BIN_DIR")) {
    bin = dir;
  } else {
    bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  }
  return (bin / ".." / "lib" / name).string();
}
