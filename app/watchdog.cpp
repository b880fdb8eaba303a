#include "watchdog.h"

#include <windows.h>

void WatchHost() {
  for (;;) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kHostInstanceMutexName);
    if (mutex != nullptr) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
      } else {
        // We just made the mutex, so the host no longer holds it. Ours dies with us.
        TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
      }
    }
    // No handle at all (e.g. access denied) says nothing about the host: try again.
    Sleep(100);
  }
}
