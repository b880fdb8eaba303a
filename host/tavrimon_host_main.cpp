// tavrimon-host: the reference host application. It starts tavrimon-browser on a page, drives
// it over the host link and records what arrives (see --help).
extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <string>
#include <vector>

#include "host_exit_codes.h"
#include "host_options.h"
#include "host_run.h"

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "tavrimon-host: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(HostUsage().c_str(), stdout);
    return kExitOk;
  }
  av_log_set_level(AV_LOG_ERROR);  // FFmpeg's chatter would bury the status line
  return RunHost(options);
}
