#include "run_cef.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

#include "cef_startup.h"
#include "globals.h"
#include "i_server.h"

namespace {

// Set when the worker could not bring the link up, so the wait below ends even if the worker
// failed before `connected` was first set.
std::atomic<bool> linkFailed{false};

// Worker thread: brings up the host link. The browser source that creates browsers and
// applies "Update" is not part of this build yet, so after start the worker has nothing more
// to do.
void RunLinkWorker() {
  try {
    server->start();
  } catch (...) {
    linkFailed = true;
    server->settings.connected = false;
  }
}

// Ends the process unless a source is still live.
int EndRun() {
  {
    std::lock_guard<std::mutex> guard(liveSourceMutex);
    if (liveSourceCount > 0) --liveSourceCount;
  }
  if (liveSourceCount == 0) TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}

}  // namespace

int RunCef() {
  server->instanceId = instanceId;

  // A sub-process has done its work once StartCef returns; a browser process whose engine
  // did not start has nothing to serve. Both end here.
  if (StartCef(mainArgc, mainArgv) != CefStartResult::Initialized) return EndRun();

  auto worker = std::make_shared<std::thread>(RunLinkWorker);
  worker->detach();

  {
    std::lock_guard<std::mutex> guard(liveSourceMutex);
    ++liveSourceCount;
  }
  server->settings.connected = true;
  while (!linkFailed) {
    Sleep(30);
    if (!server->settings.connected) break;
  }
  return EndRun();
}
