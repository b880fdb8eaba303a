// One video frame block as it arrived from the renderer, with what the host knew about it.
#pragma once

#include <cstdint>
#include <vector>

struct CapturedFrame {
  int width = 0;
  int height = 0;
  int imageFormat = 1;  // 0 BGR24, otherwise BGRA
  std::int64_t ms = 0;  // arrival, milliseconds after the recording started
  std::vector<std::uint8_t> pixels;
};

// The frame as 8-bit RGBA, top row first; BGR24 frames come out opaque.
std::vector<std::uint8_t> ToRgba(const CapturedFrame& frame);
