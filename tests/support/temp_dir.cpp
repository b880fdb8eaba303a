#include "temp_dir.h"

#include <unistd.h>

std::filesystem::path TempDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("tavrimon-test-" + std::to_string(getpid()) + "-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}
