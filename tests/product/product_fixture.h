// A host on this machine driving the real tavrimon-browser: holds the mutex (in a network
// namespace of the test's own), creates the channels, launches and connects.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host_link.h"
#include "local_http_server.h"

using Frame = std::vector<std::uint8_t>;

class Product : public ::testing::Test {
 protected:
  void SetUp() override;

  // Sends the commands of one page change.
  void show(const std::string& url, int width, int height, int format);

  // Reads frames until `accept` takes one; empty when none did before the timeout (the last
  // frame read is then in `lastFrame`).
  std::optional<Frame> frameWhere(const std::function<bool(const Frame&)>& accept,
                                  std::chrono::milliseconds timeout);
  // True when no frame arrives for the whole period.
  bool noFrameFor(std::chrono::milliseconds period);
  bool readyWithin(std::chrono::milliseconds timeout);

  HostLink host{UniqueId()};
  Frame lastFrame;
  LocalHttpServer http;

  static int UniqueId();
  static std::string Browser();
};

// The BGRA pixel at (x, y) of a width-wide frame.
struct Bgra {
  std::uint8_t b, g, r, a;
};
Bgra PixelAt(const Frame& frame, int width, int x, int y);
