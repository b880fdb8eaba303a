#include "install_paths.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string ExecutableDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return self.parent_path().string();
}

std::string DefaultBrowserPath() {
  return (fs::path(ExecutableDir()) / "tavrimon-browser").string();
}

std::string FindDemoDir() {
  const fs::path demo = fs::path(ExecutableDir()).parent_path() / "share" / "tavrimon" / "demo";
  std::error_code error;
  if (fs::is_regular_file(demo / "index.html", error)) return demo.lexically_normal().string();
  return {};
}
