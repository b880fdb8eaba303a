#include "watchdog.h"

#include <windows.h>

#include "host_objects.h"

void WatchHost() {
  for (;;) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kHostInstanceMutexName);
    if (mutex != nullptr) {
      const bool hostHoldsIt = GetLastError() == ERROR_ALREADY_EXISTS;
      // The probe holds the mutex only for this moment. When it has just made it, closing
      // drops the name again rather than leaving it to the next host.
      CloseHandle(mutex);
      if (!hostHoldsIt) TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
    }
    // No handle at all (e.g. access denied) says nothing about the host.

    // Another host of the application may hold the mutex while this renderer's own host is
    // gone: its objects tell.
    if (HostLetGoOfItsObjects()) TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
    Sleep(100);
  }
}
