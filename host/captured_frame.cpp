#include "captured_frame.h"

std::vector<std::uint8_t> ToRgba(const CapturedFrame& frame) {
  const std::size_t pixels = static_cast<std::size_t>(frame.width) * frame.height;
  const std::size_t step = frame.imageFormat == 0 ? 3 : 4;
  std::vector<std::uint8_t> rgba(pixels * 4);
  if (frame.pixels.size() < pixels * step) return rgba;
  const std::uint8_t* in = frame.pixels.data();
  std::uint8_t* out = rgba.data();
  for (std::size_t i = 0; i < pixels; ++i, in += step, out += 4) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    out[3] = step == 4 ? in[3] : 255;
  }
  return rgba;
}
