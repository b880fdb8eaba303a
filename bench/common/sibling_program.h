// The path of a program built beside the running one (they all land in build/bin).
#pragma once

#include <filesystem>
#include <string>

inline std::string SiblingProgram(const char* name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}
