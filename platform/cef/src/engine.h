// The browser process's engine: the web context and the choices made at start-up. UI thread.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

namespace cef_internal {

struct EngineConfig {
  bool compositing = false;             // no "disable-gpu": the engine may composite
  bool autoplayWithoutGesture = false;  // "autoplay-policy"="no-user-gesture-required"
  std::string userDisplay;              // DISPLAY before start-up, for windowed browsers
};

// The web context for browsers that capture their sound (their web processes play into the
// capture sink) or that play it locally. Each is made on first use. Null before start-up.
WebKitWebContext* WebContext(bool captureAudio = false);
const EngineConfig& Config();

}  // namespace cef_internal
