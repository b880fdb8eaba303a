// One run of tavrimon-host: bring up the link, start the renderer, drive it and record what
// it sends. Returns the process exit status (host_exit_codes.h); every failure has printed
// one line on stderr.
#pragma once

#include "host_options.h"

int RunHost(const HostOptions& options);
