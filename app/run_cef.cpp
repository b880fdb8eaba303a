#include "run_cef.h"

#include <windows.h>

#include "cef_startup.h"
#include "globals.h"
#include "i_server.h"
#include "scroll_handler.h"
#include "source/browser_source.h"

namespace {

// Ends the process once no source is live.
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

  CreateBrowserSource(server->settings);
  SetScrollHandler(HandleScrollPosition);
  {
    std::lock_guard<std::mutex> guard(liveSourceMutex);
    ++liveSourceCount;
  }
  server->settings.connected = true;

  // "close" clears `connected`. A worker that failed sets `closing` as well, which also ends
  // the wait when it failed before `connected` was first set.
  while (true) {
    Sleep(30);
    if (!server->settings.connected || currentSource->closing) break;
  }
  currentSource->closing = true;
  return EndRun();
}
