// The dispatch thread between capture sinks and the listener: one thread, posting order, and a
// bound that sheds packets but never a stream's start or stop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "audio_capture_dispatcher.h"
#include "recording_listener.h"

namespace tavrimon::audio {
namespace {

using namespace std::chrono_literals;

// Blocks inside its first packet call until released, so events pile up behind it.
class StallingListener : public testing::RecordingListener {
 public:
  void OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                      int64_t captureTimeNs) override {
    if (!stalled_) {
      stalled_ = true;
      while (!release_) std::this_thread::sleep_for(1ms);
    }
    RecordingListener::OnStreamPacket(id, data, frames, pts, captureTimeNs);
  }
  std::atomic<bool> release_ = false;

 private:
  bool stalled_ = false;
};

TEST(AudioCaptureDispatcher, SerialisesStreamsFromManyThreadsInPostingOrder) {
  testing::RecordingListener listener;
  AudioCaptureDispatcher dispatcher;
  dispatcher.SetListener(&listener);
  constexpr int kStreams = 4, kPackets = 200;
  std::vector<std::thread> sinks;
  for (int id = 1; id <= kStreams; ++id) {
    sinks.emplace_back([&dispatcher, id] {
      std::vector<float> plane(16);
      dispatcher.PostStarted(id, 1, 48000, 16);
      for (int p = 0; p < kPackets; ++p) {
        plane[0] = static_cast<float>(p);
        const float* planes[] = {plane.data()};
        dispatcher.PostPacket(id, 1, planes, 16, p, 0);
      }
      dispatcher.PostStopped(id);
    });
  }
  for (std::thread& t : sinks) t.join();
  dispatcher.WaitIdle();
  EXPECT_TRUE(listener.WaitForStops(kStreams, 0s));  // WaitIdle returned after delivery
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  for (const auto& [id, s] : listener.streams()) {
    ASSERT_EQ(s.pts.size(), size_t{kPackets});
    for (int p = 0; p < kPackets; ++p) {
      EXPECT_EQ(s.pts[p], p);
      EXPECT_EQ(s.samples[0][static_cast<size_t>(p) * 16], static_cast<float>(p));
    }
  }
  EXPECT_EQ(dispatcher.droppedPackets(), 0u);
}

TEST(AudioCaptureDispatcher, ShedsPacketsBeyondItsBoundButKeepsStartAndStop) {
  StallingListener listener;
  AudioCaptureDispatcher dispatcher(4 * 100 * sizeof(float));  // four packets of 100 frames
  dispatcher.SetListener(&listener);
  std::vector<float> plane(100, 0.25f);
  const float* planes[] = {plane.data()};
  dispatcher.PostStarted(1, 1, 48000, 100);
  dispatcher.PostPacket(1, 1, planes, 100, 0, 0);  // the listener stalls on this one
  std::this_thread::sleep_for(50ms);
  for (int p = 1; p <= 10; ++p) dispatcher.PostPacket(1, 1, planes, 100, p, 0);
  dispatcher.PostStopped(1);
  listener.release_ = true;
  dispatcher.WaitIdle();
  EXPECT_TRUE(listener.WaitForStops(1, 0s));
  EXPECT_EQ(dispatcher.droppedPackets(), 6u);
  EXPECT_EQ(listener.streams().at(1).pts, (std::vector<int64_t>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace tavrimon::audio
