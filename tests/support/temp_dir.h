#pragma once

#include <filesystem>
#include <string>

// A fresh, empty folder under the system's temporary folder, named after `name` and this
// process.
std::filesystem::path TempDir(const std::string& name);
