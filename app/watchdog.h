#pragma once

// The name of the mutex the host application holds while it wants its renderers alive.
inline constexpr const char* kHostInstanceMutexName = "__TAVRIMON_APP_RUNNING_INSTANCE__";

// Thread body: every 100 ms probes the host-instance mutex and the host's own objects (see
// host_objects.h), and ends the process with exit code 0xFFFFFFFF once no host holds the mutex
// or this renderer's host let go of its objects. Never returns.
[[noreturn]] void WatchHost();
