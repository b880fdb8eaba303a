// Runs tavrimon-host to its end with extra environment variables, collecting its exit status
// and everything it printed.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

struct HostResult {
  int status = -1;  // exit status, 128 + signal when killed, -1 when it could not run
  std::string out;
  std::string err;
};

HostResult RunToEnd(const std::vector<std::string>& argv,
                    const std::vector<std::pair<std::string, std::string>>& env,
                    std::chrono::seconds timeout);
