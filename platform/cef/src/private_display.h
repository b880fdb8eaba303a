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
// accepts clients. Nothing when Xvfb cannot be found or does not come up.
std::optional<PrivateDisplay> StartPrivateDisplay(int width, int height, int timeoutMs);

void StopPrivateDisplay(PrivateDisplay& display);

}  // namespace cef_internal
