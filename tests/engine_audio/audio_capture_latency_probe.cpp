// Prints the transport's figures: latency from the capture sink taking a buffer in a stand-in web
// process to the listener call in this process, and the packet sizes seen. Not a test.
//
// usage: audio_capture_latency_probe [SECONDS] [RATE] [CHANNELS] [FRAMES_PER_BUFFER]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio_capture_receiver.h"
#include "child_process.h"

namespace {

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

class LatencyListener : public tavrimon::audio::AudioCaptureListener {
 public:
  void OnStreamStarted(int, int, int, int) override {}
  void OnStreamPacket(int, const float* const*, int frames, int64_t, int64_t captureNs) override {
    const int64_t latency = MonotonicNs() - captureNs;
    std::lock_guard lock(mutex_);
    latencies_.push_back(latency);
    ++packetSizes_[frames];
  }
  void OnStreamStopped(int) override {}

  void Print() {
    std::lock_guard lock(mutex_);
    if (latencies_.empty()) {
      std::printf("no packets\n");
      return;
    }
    std::sort(latencies_.begin(), latencies_.end());
    const auto at = [&](double q) {
      return latencies_[static_cast<size_t>(q * static_cast<double>(latencies_.size() - 1))] / 1e3;
    };
    std::printf(
        "packets %zu; latency sink->callback us: min %.1f p50 %.1f p90 %.1f p99 %.1f max %.1f\n",
        latencies_.size(), at(0), at(0.5), at(0.9), at(0.99), at(1));
    std::printf("packet sizes (frames x count):");
    for (const auto& [frames, count] : packetSizes_) std::printf(" %dx%d", frames, count);
    std::printf("\n");
  }

 private:
  std::mutex mutex_;
  std::vector<int64_t> latencies_;
  std::map<int, int> packetSizes_;
};

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int rate = argc > 2 ? std::atoi(argv[2]) : 48000;
  const int channels = argc > 3 ? std::atoi(argv[3]) : 2;
  const int frames = argc > 4 ? std::atoi(argv[4]) : rate / 25;  // 40 ms, as WebKit's media
  LatencyListener listener;
  tavrimon::audio::AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  if (!channel) return 1;
  const int buffers = seconds * rate / frames;
  const pid_t child = tavrimon::audio::testing::SpawnWithChannel(
      CAPTURE_CHILD, channel->remoteFd,
      {std::to_string(tavrimon::audio::testing::kChildChannelFd), "1", std::to_string(channels),
       std::to_string(rate), "F32LE", std::to_string(buffers), std::to_string(frames), "auto",
       "0"});
  close(channel->remoteFd);
  if (child < 0) return 1;
  const int status = tavrimon::audio::testing::WaitForExit(child);
  receiver.CloseChannel(channel->handle);
  std::printf("%d s of %d ch at %d Hz in buffers of %d frames (child exit %d)\n", seconds, channels,
              rate, frames, status);
  listener.Print();
  return status == 0 ? 0 : 1;
}
