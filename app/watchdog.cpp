#include "watchdog.h"

#include <windows.h>

#include <cstdint>

#include "named_mutex_holding.h"

void WatchHost() {
  // The holding of the mutex this process first saw: its host's. A host killed and started
  // again between two probes holds the mutex anew; this process belongs to the dead one.
  std::uint64_t hostHolding = 0;
  for (;;) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kHostInstanceMutexName);
    if (mutex != nullptr) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        if (hostHolding == 0) {
          hostHolding = NamedMutexHolding(kHostInstanceMutexName);
        } else if (!NamedMutexHeldBy(kHostInstanceMutexName, hostHolding)) {
          TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
        }
      } else {
        // We just made the mutex, so the host no longer holds it. Ours dies with us.
        TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
      }
    }
    // No handle at all (e.g. access denied) says nothing about the host: try again.
    Sleep(100);
  }
}
