#include "product_fixture.h"

#include <unistd.h>

#include <thread>

#include "child_process.h"

using namespace std::chrono_literals;

int Product::UniqueId() {
  static int counter = 0;
  return static_cast<int>(getpid()) * 16 + 5000000 + ++counter;
}

std::string Product::Browser() {
  return BinDir() + "/tavrimon-browser";
}

void Product::SetUp() {
  ASSERT_TRUE(host.holdInstanceMutex());
  ASSERT_TRUE(host.start());
  ASSERT_TRUE(host.launch(Browser()));
  ASSERT_TRUE(host.connect(30000)) << "the renderer never made its command channel";
}

void Product::show(const std::string& url, int width, int height, int format) {
  host.settings.setImageFormat(format);
  host.settings.setViewport(width, height);
  host.settings.setTarget(url);
  host.settings.Update();
}

std::optional<Frame> Product::frameWhere(const std::function<bool(const Frame&)>& accept,
                                         std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    auto frame = host.readVideo(200);
    if (!frame) continue;
    if (accept(*frame)) return frame;
    lastFrame = std::move(*frame);
  }
  return std::nullopt;
}

bool Product::noFrameFor(std::chrono::milliseconds period) {
  return !host.readVideo(static_cast<DWORD>(period.count()));
}

bool Product::readyWithin(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (host.settings.isReady()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

Bgra PixelAt(const Frame& frame, int width, int x, int y) {
  const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
  return {frame[at], frame[at + 1], frame[at + 2], frame[at + 3]};
}
