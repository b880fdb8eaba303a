#include "contact_sheet.h"

#include <algorithm>

#include "png_writer.h"

namespace {
constexpr int kThumbWidth = 320;
constexpr int kGap = 4;
}  // namespace

ContactSheet::ContactSheet(std::int64_t expectedMs)
    : intervalMs_(expectedMs > 0 ? std::max<std::int64_t>(expectedMs / kTiles, 1) : 500) {}

void ContactSheet::offer(const CapturedFrame& frame) {
  if (frame.ms < nextMs_) return;
  thumbs_.push_back(shrink(frame));
  nextMs_ = frame.ms + intervalMs_;
  // A run longer than planned: keep every other tile and space the next ones twice as far.
  if (thumbs_.size() >= 2 * kTiles) {
    std::vector<Thumb> kept;
    for (std::size_t i = 0; i < thumbs_.size(); i += 2) kept.push_back(std::move(thumbs_[i]));
    thumbs_ = std::move(kept);
    intervalMs_ *= 2;
  }
}

ContactSheet::Thumb ContactSheet::shrink(const CapturedFrame& frame) const {
  const std::vector<std::uint8_t> rgba = ToRgba(frame);
  Thumb thumb;
  thumb.width = std::min(kThumbWidth, frame.width);
  thumb.height = std::max(
      1, static_cast<int>(static_cast<std::int64_t>(frame.height) * thumb.width / frame.width));
  thumb.rgba.resize(static_cast<std::size_t>(thumb.width) * thumb.height * 4);
  // Box average over the source pixels each thumbnail pixel covers.
  for (int ty = 0; ty < thumb.height; ++ty) {
    const int y0 = ty * frame.height / thumb.height;
    const int y1 = std::max(y0 + 1, (ty + 1) * frame.height / thumb.height);
    for (int tx = 0; tx < thumb.width; ++tx) {
      const int x0 = tx * frame.width / thumb.width;
      const int x1 = std::max(x0 + 1, (tx + 1) * frame.width / thumb.width);
      unsigned sum[4] = {0, 0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * frame.width + x) * 4];
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      }
      const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
      std::uint8_t* out = &thumb.rgba[(static_cast<std::size_t>(ty) * thumb.width + tx) * 4];
      for (int c = 0; c < 4; ++c) out[c] = static_cast<std::uint8_t>(sum[c] / count);
    }
  }
  return thumb;
}

bool ContactSheet::write(const std::string& path) const {
  if (thumbs_.empty()) return false;
  // At most kTiles tiles, taken evenly from what was kept.
  std::vector<const Thumb*> chosen;
  const std::size_t count = std::min<std::size_t>(thumbs_.size(), kTiles);
  for (std::size_t i = 0; i < count; ++i) {
    chosen.push_back(&thumbs_[i * thumbs_.size() / count]);
  }
  int tileW = 0;
  int tileH = 0;
  for (const Thumb* t : chosen) {
    tileW = std::max(tileW, t->width);
    tileH = std::max(tileH, t->height);
  }
  const int columns = static_cast<int>(std::min<std::size_t>(count, kColumns));
  const int rows = static_cast<int>((count + kColumns - 1) / kColumns);
  const int width = columns * tileW + (columns + 1) * kGap;
  const int height = rows * tileH + (rows + 1) * kGap;
  std::vector<std::uint8_t> sheet(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; i < sheet.size(); i += 4) {
    sheet[i] = sheet[i + 1] = sheet[i + 2] = 40;
    sheet[i + 3] = 255;
  }
  for (std::size_t n = 0; n < count; ++n) {
    const Thumb& t = *chosen[n];
    const int left = kGap + static_cast<int>(n % kColumns) * (tileW + kGap);
    const int top = kGap + static_cast<int>(n / kColumns) * (tileH + kGap);
    for (int y = 0; y < t.height; ++y) {
      for (int x = 0; x < t.width; ++x) {
        const std::uint8_t* p = &t.rgba[(static_cast<std::size_t>(y) * t.width + x) * 4];
        // Checkerboard of 8-pixel squares behind the frame.
        const int check = ((x / 8) + (y / 8)) % 2 == 0 ? 200 : 150;
        std::uint8_t* out = &sheet[(static_cast<std::size_t>(top + y) * width + (left + x)) * 4];
        for (int c = 0; c < 3; ++c) {
          out[c] = static_cast<std::uint8_t>((p[c] * p[3] + check * (255 - p[3])) / 255);
        }
        out[3] = 255;
      }
    }
  }
  return WritePngRgba(path, width, height, sheet);
}
