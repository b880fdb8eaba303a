// A contact sheet: small copies of frames spread across the run, laid out in a grid on a
// checkerboard so that transparent parts of the page show as such.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "captured_frame.h"

class ContactSheet {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kTiles = 12;

  // `expectedMs`: length of the run when known, 0 when it is not (interactive runs).
  explicit ContactSheet(std::int64_t expectedMs);

  // Keeps a thumbnail of the frame when it is due.
  void offer(const CapturedFrame& frame);
  std::size_t tiles() const { return thumbs_.size(); }
  // False when there is nothing to lay out or the file cannot be written.
  bool write(const std::string& path) const;

 private:
  struct Thumb {
    int width;
    int height;
    std::vector<std::uint8_t> rgba;
  };
  Thumb shrink(const CapturedFrame& frame) const;

  std::int64_t intervalMs_;
  std::int64_t nextMs_ = 0;
  std::vector<Thumb> thumbs_;
};
