// Entry of tavrimon-browser: one process per web-page source, started by the host with the
// decimal instance id as its only argument.
#include <cstdio>
#include <memory>
#include <thread>

#include "globals.h"
#include "i_server.h"
#include "instance_id.h"
#include "run_cef.h"
#include "watchdog.h"

int main(int argc, char** argv) {
  mainArgc = argc;
  mainArgv = argv;
  instanceId = ParseInstanceId(argc, argv);

  auto watchdog = std::make_shared<std::thread>(WatchHost);
  watchdog->detach();

  auto* link = new i_server();  // lives until the process ends
  link->mode = 1;
  link->instanceId = instanceId;
  link->settings.instanceId = instanceId;
  link->createChannels(instanceId);
  server = link;

  try {
    RunCef();
  } catch (...) {
    std::printf("Error No memmory !\n");
  }
  return 0;
}
