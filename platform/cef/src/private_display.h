// A private X server (Xvfb) for the engine's windows, one per browser process. It listens on
// no TCP port and is killed by the kernel when the thread that started it ends.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace cef_internal {

struct PrivateDisplay {
  pid_t pid = -1;
  std::string name;  // ":N"
};

// Starts Xvfb with a screen of `width` x `height` and waits (at most `timeoutMs`) until it
// accepts clients. Without `withGl` the server offers no GLX: neither it nor a client that
// probes for GLX (GDK does, on opening the display) loads the GL driver. Nothing when Xvfb
// cannot be found or does not come up.
std::optional<PrivateDisplay> StartPrivateDisplay(int width, int height, int timeoutMs,
                                                  bool withGl);

void StopPrivateDisplay(PrivateDisplay& display);

}  // namespace cef_internal
