// The values an update of the browser source takes from the settings object, and the step of
// the worker loop that takes a pending "Update".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shr_avsource.h"

struct BrowserSourceSettings {
  std::string url;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t frameRate = 30;
  bool captureAudio = false;
  bool windowless = false;
};

// Reads the settings object in the fixed order: target, viewport, capture flag.
BrowserSourceSettings MakeBrowserSourceSettings(shr_avsource& settings);

// When an "Update" is pending, takes it and hands the settings read after that to `apply`;
// true when it did. The flag is cleared before the settings are read, so an "Update" that the
// command server stores meanwhile, with whatever it changed, stays pending for the next pass.
bool ApplyPendingUpdate(shr_avsource& settings,
                        const std::function<void(BrowserSourceSettings&)>& apply);
