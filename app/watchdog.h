#pragma once

// The name of the mutex the host application holds while it wants its renderers alive.
inline constexpr const char* kHostInstanceMutexName = "__TAVRIMON_APP_RUNNING_INSTANCE__";

// Thread body: probes the host-instance mutex every 100 ms and ends the process with exit
// code 0xFFFFFFFF once the host no longer holds it. Never returns.
[[noreturn]] void WatchHost();
