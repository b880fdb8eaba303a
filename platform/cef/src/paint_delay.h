// How long painted content waits before OnPaint delivers it: from the first WebKit draw after
// a delivery (oldest content) and from the last draw (the delivered content) to the delivery.
// Process-wide figures for measurements.
#pragma once

#include <cstdint>

namespace cef_internal {

struct PaintDelay {
  uint64_t frames = 0;
  double meanMs = 0;  // first draw -> OnPaint
  double maxMs = 0;
  double lastMeanMs = 0;  // last draw -> OnPaint
};

PaintDelay GetPaintDelay();
void ResetPaintDelay();
void RecordPaintDelay(int64_t fromFirstDrawUs, int64_t fromLastDrawUs);

}  // namespace cef_internal
