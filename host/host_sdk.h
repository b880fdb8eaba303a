// Entry point of the host SDK: include this to get HostLink and the link types.
#pragma once

#include "host_link.h"

// The version of the installed SDK, "MAJOR.MINOR.PATCH".
extern "C" const char* tavrimon_host_sdk_version();
