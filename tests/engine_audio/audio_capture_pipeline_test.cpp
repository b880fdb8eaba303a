// The capture sink inside a stand-in web process (a child running a GStreamer pipeline), received
// in this process through the transport: every sample of every stream arrives, in order, at the
// stream's own rate and channel count, paced like a sound card, and each stream ends with a stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <set>
#include <string>

#include "audio_capture_receiver.h"
#include "child_process.h"
#include "recording_listener.h"

namespace tavrimon::audio {
namespace {

using testing::RecordedStream;
using testing::RecordingListener;

struct PipelineCase {
  const char* name;
  int streams;
  int channels;
  int rate;
  const char* format;  // what the source produces; the sink always gets planar F32
  int buffers;
  int framesPerBuffer;
  const char* sink;  // "auto": autoaudiosink must pick the capture sink by its rank
  int attachDelayMs;
};

void PrintTo(const PipelineCase& c, std::ostream* os) {
  *os << c.name;
}

class CapturePipeline : public ::testing::TestWithParam<PipelineCase> {};

// Sample n of the child's tone k as audiotestsrc makes it: it advances the phase before
// computing a sample, so its first sample is sin(step), not sin(0).
double Tone(int k, size_t n, int rate) {
  return 0.5 * std::sin(2 * std::numbers::pi * 440 * k * static_cast<double>(n + 1) / rate);
}

// Which of the child's tones (440 * k Hz) a stream carries, judged by its first samples.
int ToneOf(const std::vector<float>& samples, int rate, int streams) {
  int best = 0;
  double bestError = 1e9;
  for (int k = 1; k <= streams; ++k) {
    double error = 0;
    for (size_t n = 0; n < 200 && n < samples.size(); ++n) {
      error += std::abs(samples[n] - Tone(k, n, rate));
    }
    if (error < bestError) bestError = error, best = k;
  }
  return best;
}

TEST_P(CapturePipeline, DeliversEverySampleOfEveryStream) {
  const PipelineCase& c = GetParam();
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  const pid_t child = testing::SpawnWithChannel(
      CAPTURE_CHILD, channel->remoteFd,
      {std::to_string(testing::kChildChannelFd), std::to_string(c.streams),
       std::to_string(c.channels), std::to_string(c.rate), c.format, std::to_string(c.buffers),
       std::to_string(c.framesPerBuffer), c.sink, std::to_string(c.attachDelayMs)});
  close(channel->remoteFd);
  ASSERT_GT(child, 0);
  EXPECT_EQ(testing::WaitForExit(child), 0);
  ASSERT_TRUE(listener.WaitForStops(c.streams, std::chrono::seconds(10)));
  receiver.CloseChannel(channel->handle);

  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  const auto streams = listener.streams();
  ASSERT_EQ(static_cast<int>(streams.size()), c.streams);
  const size_t produced = static_cast<size_t>(c.buffers) * static_cast<size_t>(c.framesPerBuffer);
  std::set<int> tones;
  for (const auto& [id, s] : streams) {
    SCOPED_TRACE("stream " + std::to_string(id));
    EXPECT_EQ(s.channels, c.channels);
    EXPECT_EQ(s.sampleRate, c.rate);
    EXPECT_EQ(s.framesPerBuffer, (c.rate + 99) / 100);
    EXPECT_TRUE(s.stopped);
    ASSERT_EQ(s.samples[0].size(), produced);  // nothing lost, nothing added

    // Every sample, from the very first, is the sine the source played from phase 0.
    const int k = ToneOf(s.samples[0], c.rate, c.streams);
    tones.insert(k);
    const double tolerance = std::string(c.format) == "S16LE" ? 1e-4 : 1e-5;
    for (int ch = 0; ch < c.channels; ++ch) {
      size_t mismatches = 0;
      double energy = 0;
      for (size_t n = 0; n < produced; ++n) {
        const double expected = Tone(k, n, c.rate);
        if (std::abs(s.samples[ch][n] - expected) > tolerance) ++mismatches;
        energy += double{s.samples[ch][n]} * s.samples[ch][n];
      }
      EXPECT_EQ(mismatches, 0u) << "channel " << ch;
      EXPECT_NEAR(std::sqrt(energy / produced), 0.5 / std::numbers::sqrt2, 0.005);
    }

    // Packets: at most 10 ms each, timestamps following the samples.
    size_t before = 0;
    for (size_t i = 0; i < s.packetFrames.size(); ++i) {
      EXPECT_LE(s.packetFrames[i], s.framesPerBuffer);
      EXPECT_NEAR(static_cast<double>(s.pts[i]), static_cast<double>(before) * 1000 / c.rate, 1.0);
      before += static_cast<size_t>(s.packetFrames[i]);
    }

    // Consumed at real-time pace: the last buffer cannot be taken before its time.
    const double spanS =
        static_cast<double>(s.captureTimeNs.back() - s.captureTimeNs.front()) / 1e9;
    const double lastBufferAtS =
        static_cast<double>(produced - static_cast<size_t>(c.framesPerBuffer)) / c.rate;
    EXPECT_GE(spanS, lastBufferAtS - 0.05);
  }
  EXPECT_EQ(static_cast<int>(tones.size()), c.streams);  // each tone is its own stream

  const AudioCaptureReceiver::Stats stats = receiver.GetStats();
  std::printf(
      "[ figures ] %s: %llu packets, latency sink->callback min %.3f mean %.3f max %.3f ms\n",
      c.name, static_cast<unsigned long long>(stats.packets), stats.latencyMinNs / 1e6,
      stats.latencyMeanNs / 1e6, stats.latencyMaxNs / 1e6);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CapturePipeline,
    ::testing::Values(
        PipelineCase{"StereoThroughAutoaudiosink", 1, 2, 44100, "F32LE", 40, 1024, "auto", 0},
        PipelineCase{"MonoS16Direct", 1, 1, 48000, "S16LE", 50, 960, "direct", 0},
        PipelineCase{"SixChannelsChannelAttachedLate", 1, 6, 22050, "F32LE", 20, 1000, "auto", 400},
        PipelineCase{"TwoStreamsAtOnce", 2, 2, 48000, "F32LE", 25, 1920, "auto", 0}),
    [](const ::testing::TestParamInfo<PipelineCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace tavrimon::audio
