// A host application built only from the installed SDK (headers, library, pkg-config file):
// it creates the host's link objects for an id and reports the SDK version.
#include <cstdio>
#include <cstdlib>

#include <host_sdk.h>

int main(int argc, char** argv) {
  HostLink host(argc > 1 ? std::atoi(argv[1]) : 1);
  if (!host.start()) return 1;
  std::printf("sdk %s ok\n", tavrimon_host_sdk_version());
  return 0;
}
