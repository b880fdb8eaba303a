#include "paint_delay.h"

#include <algorithm>
#include <mutex>

namespace cef_internal {
namespace {

std::mutex g_mutex;
uint64_t g_frames = 0;
int64_t g_sumUs = 0;
int64_t g_maxUs = 0;
int64_t g_lastSumUs = 0;

}  // namespace

PaintDelay GetPaintDelay() {
  std::lock_guard lock(g_mutex);
  PaintDelay d;
  d.frames = g_frames;
  d.meanMs = g_frames ? double(g_sumUs) / double(g_frames) / 1000.0 : 0;
  d.maxMs = double(g_maxUs) / 1000.0;
  d.lastMeanMs = g_frames ? double(g_lastSumUs) / double(g_frames) / 1000.0 : 0;
  return d;
}

void ResetPaintDelay() {
  std::lock_guard lock(g_mutex);
  g_frames = 0;
  g_sumUs = g_maxUs = g_lastSumUs = 0;
}

void RecordPaintDelay(int64_t fromFirstDrawUs, int64_t fromLastDrawUs) {
  std::lock_guard lock(g_mutex);
  ++g_frames;
  g_sumUs += fromFirstDrawUs;
  g_lastSumUs += fromLastDrawUs;
  g_maxUs = std::max(g_maxUs, fromFirstDrawUs);
}

}  // namespace cef_internal
