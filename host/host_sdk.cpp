// The host SDK library: the host side of the link (HostLink, shr_avsource, MappingMem and the
// Linux named objects) in one shared library for host applications to link.
#include "host_sdk.h"

const char* tavrimon_host_sdk_version() {
  return TAVRIMON_HOST_SDK_VERSION;
}
