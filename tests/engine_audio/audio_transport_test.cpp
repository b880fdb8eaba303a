// Transport between web process and browser process, both ends in this process: what the sender
// is given comes out of the receiver unchanged and in order, and the receiver keeps the listener
// contract whatever the other end sends or however it goes away.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "audio_capture_receiver.h"
#include "audio_capture_sender.h"
#include "audio_wire.h"
#include "recording_listener.h"

namespace tavrimon::audio {
namespace {

using namespace std::chrono_literals;
using testing::RecordingListener;

// A packet whose sample n of channel c is c * 1000 + base + n.
struct TestPacket {
  TestPacket(int channels, int frames, int base) : planes(static_cast<size_t>(channels)) {
    for (int c = 0; c < channels; ++c) {
      for (int n = 0; n < frames; ++n) planes[c].push_back(static_cast<float>(c * 1000 + base + n));
      pointers.push_back(planes[c].data());
    }
  }
  std::vector<std::vector<float>> planes;
  std::vector<const float*> pointers;
};

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
  return done();
}

TEST(AudioTransport, DeliversStreamsInOrderIncludingWhatCameBeforeAttach) {
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  AudioCaptureSender sender;
  // A sound that starts before the web process has its channel.
  sender.OnStreamStarted(7, 2, 48000, 480);
  sender.OnStreamPacket(7, TestPacket(2, 480, 0).pointers.data(), 480, 0, 1);
  sender.Attach(channel->remoteFd);
  sender.OnStreamPacket(7, TestPacket(2, 100, 480).pointers.data(), 100, 10, 2);
  sender.OnStreamStarted(8, 1, 22050, 221);  // a second stream, overlapping the first
  sender.OnStreamPacket(8, TestPacket(1, 221, 5).pointers.data(), 221, 0, 3);
  sender.OnStreamPacket(7, TestPacket(2, 480, 580).pointers.data(), 480, 12, 4);
  sender.OnStreamStopped(7);
  sender.OnStreamStopped(8);
  ASSERT_TRUE(listener.WaitForStops(2, 5s));
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  EXPECT_EQ(sender.droppedPackets(), 0u);

  const auto order = listener.startOrder();
  ASSERT_EQ(order.size(), 2u);
  EXPECT_NE(order[0], order[1]);
  const auto streams = listener.streams();
  const testing::RecordedStream& first = streams.at(order[0]);
  EXPECT_EQ(first.channels, 2);
  EXPECT_EQ(first.sampleRate, 48000);
  EXPECT_EQ(first.framesPerBuffer, 480);
  EXPECT_EQ(first.packetFrames, (std::vector<int>{480, 100, 480}));
  EXPECT_EQ(first.pts, (std::vector<int64_t>{0, 10, 12}));
  EXPECT_EQ(first.captureTimeNs, (std::vector<int64_t>{1, 2, 4}));
  for (int c = 0; c < 2; ++c) {
    ASSERT_EQ(first.samples[c].size(), 1060u);
    for (size_t n = 0; n < 1060; ++n) ASSERT_EQ(first.samples[c][n], c * 1000.0f + n) << n;
  }
  const testing::RecordedStream& second = streams.at(order[1]);
  EXPECT_EQ(second.channels, 1);
  EXPECT_EQ(second.sampleRate, 22050);
  ASSERT_EQ(second.samples[0].size(), 221u);
  EXPECT_EQ(second.samples[0][0], 5.0f);
  EXPECT_EQ(receiver.GetStats().packets, 4u);
  EXPECT_EQ(receiver.GetStats().frames, 1281u);
}

TEST(AudioTransport, ChannelsKeepTheirStreamsApart) {
  RecordingListener a, b;
  AudioCaptureReceiver receiver;
  const auto channelA = receiver.OpenChannel(&a);
  const auto channelB = receiver.OpenChannel(&b);
  ASSERT_TRUE(channelA && channelB);
  AudioCaptureSender senderA, senderB;
  senderA.Attach(channelA->remoteFd);
  senderB.Attach(channelB->remoteFd);
  // Two web processes number their streams alike.
  for (AudioCaptureSender* s : {&senderA, &senderB}) {
    s->OnStreamStarted(1, 1, 48000, 480);
    s->OnStreamPacket(1, TestPacket(1, 10, s == &senderA ? 0 : 500).pointers.data(), 10, 0, 0);
    s->OnStreamStopped(1);
  }
  ASSERT_TRUE(a.WaitForStops(1, 5s));
  ASSERT_TRUE(b.WaitForStops(1, 5s));
  ASSERT_EQ(a.startOrder().size(), 1u);
  ASSERT_EQ(b.startOrder().size(), 1u);
  EXPECT_NE(a.startOrder()[0], b.startOrder()[0]);
  EXPECT_EQ(a.streams().begin()->second.samples[0][0], 0.0f);
  EXPECT_EQ(b.streams().begin()->second.samples[0][0], 500.0f);
}

std::vector<uint8_t> Header(WireKind kind, int id, int channels, int rate, int frames,
                            size_t payloadFloats) {
  WireHeader h{kWireMagic, static_cast<uint32_t>(kind), id, channels, rate, frames, 0, 0};
  std::vector<uint8_t> out(sizeof h + payloadFloats * sizeof(float));
  std::memcpy(out.data(), &h, sizeof h);
  return out;
}

TEST(AudioTransport, RejectsMalformedAndOutOfOrderMessages) {
  struct Bad {
    const char* what;
    std::vector<uint8_t> datagram;
  };
  std::vector<uint8_t> badMagic = Header(WireKind::kStopped, 1, 0, 0, 0, 0);
  badMagic[0] ^= 0xff;
  const std::vector<Bad> cases = {
      {"shorter than a header", std::vector<uint8_t>(12, 0)},
      {"bad magic", badMagic},
      {"unknown kind", Header(static_cast<WireKind>(9), 1, 1, 48000, 480, 0)},
      {"no channels", Header(WireKind::kStarted, 1, 0, 48000, 480, 0)},
      {"nine channels", Header(WireKind::kStarted, 1, 9, 48000, 480, 0)},
      {"zero rate", Header(WireKind::kStarted, 1, 2, 0, 480, 0)},
      {"packet for a stream never started", Header(WireKind::kPacket, 5, 1, 0, 4, 4)},
      {"stop for a stream never started", Header(WireKind::kStopped, 5, 0, 0, 0, 0)},
      {"payload shorter than frames", Header(WireKind::kPacket, 1, 2, 0, 4, 7)},
      {"payload longer than frames", Header(WireKind::kPacket, 1, 2, 0, 4, 9)},
      {"too many frames",
       Header(WireKind::kPacket, 1, 1, 0, kMaxWireFrames + 1, kMaxWireFrames + 1)},
      {"channel count unlike the stream's", Header(WireKind::kPacket, 1, 1, 0, 4, 4)},
      {"second start of an open stream", Header(WireKind::kStarted, 1, 2, 48000, 480, 0)},
  };
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  const int fd = channel->remoteFd;
  const auto send = [&](const std::vector<uint8_t>& d) {
    ASSERT_EQ(::send(fd, d.data(), d.size(), MSG_NOSIGNAL), static_cast<ssize_t>(d.size()));
  };
  send(Header(WireKind::kStarted, 1, 2, 48000, 480, 0));  // stream 1: two channels
  for (const Bad& bad : cases) send(bad.datagram);
  // A datagram beyond the largest message is cut by the socket; the receiver must notice.
  std::vector<uint8_t> huge = Header(WireKind::kPacket, 1, 2, 0, 4, 8);
  huge.resize(kMaxWireMessage + 64);
  send(huge);
  send(Header(WireKind::kPacket, 1, 2, 0, 4, 8));  // a good packet still gets through
  send(Header(WireKind::kStopped, 1, 0, 0, 0, 0));
  ASSERT_TRUE(listener.WaitForStops(1, 5s));
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  EXPECT_EQ(listener.streams().begin()->second.packetFrames, std::vector<int>{4});
  EXPECT_EQ(receiver.GetStats().rejectedMessages, cases.size() + 1);
  close(fd);
}

TEST(AudioTransport, StreamsEndWhenTheWebProcessGoesAway) {
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  {
    AudioCaptureSender sender;
    sender.Attach(channel->remoteFd);
    sender.OnStreamStarted(3, 2, 44100, 441);
    sender.OnStreamStarted(4, 2, 44100, 441);
    sender.OnStreamPacket(3, TestPacket(2, 441, 0).pointers.data(), 441, 0, 0);
  }  // the socket closes with both streams open, as when the web process crashes
  ASSERT_TRUE(listener.WaitForStops(2, 5s));
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
}

TEST(AudioTransport, ClosedChannelEndsItsStreamsAndCallsNoMore) {
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  AudioCaptureSender sender;
  sender.Attach(channel->remoteFd);
  sender.OnStreamStarted(1, 1, 48000, 480);
  ASSERT_TRUE(WaitFor([&] { return listener.startOrder().size() == 1; }));
  receiver.CloseChannel(channel->handle);
  EXPECT_TRUE(listener.WaitForStops(1, 0s));  // already delivered when CloseChannel returned
  // The web process keeps producing: nothing reaches the listener, the sender does not fail hard.
  for (int i = 0; i < 3; ++i) {
    sender.OnStreamPacket(1, TestPacket(1, 480, 0).pointers.data(), 480, 0, 0);
  }
  sender.OnStreamStopped(1);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  EXPECT_TRUE(listener.streams().begin()->second.packetFrames.empty());
  EXPECT_EQ(sender.droppedPackets(), 3u);
}

TEST(AudioTransport, SenderKeepsStartsAndStopsBeyondItsPendingBound) {
  RecordingListener listener;
  AudioCaptureReceiver receiver;
  const auto channel = receiver.OpenChannel(&listener);
  ASSERT_TRUE(channel);
  AudioCaptureSender sender(3 * (sizeof(WireHeader) + 480 * sizeof(float)));  // three packets
  sender.OnStreamStarted(1, 1, 48000, 480);
  for (int i = 0; i < 5; ++i) {
    sender.OnStreamPacket(1, TestPacket(1, 480, i * 480).pointers.data(), 480, i * 10, 0);
  }
  sender.OnStreamStopped(1);
  sender.Attach(channel->remoteFd);
  ASSERT_TRUE(listener.WaitForStops(1, 5s));
  EXPECT_EQ(sender.droppedPackets(), 3u);  // the start takes a little room too
  const auto s = listener.streams().begin()->second;
  ASSERT_EQ(s.packetFrames.size(), 2u);
  EXPECT_EQ(s.samples[0][0], 0.0f);  // the first samples are the ones kept
}

}  // namespace
}  // namespace tavrimon::audio
