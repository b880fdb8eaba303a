// Command packets in one process: what senders put into the region, and what the server
// makes of any region content.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "command_packet.h"
#include "host_link.h"
#include "i_server.h"
#include "scroll_handler.h"
#include "unique_id.h"

namespace {

std::vector<std::uint8_t> Region(std::string_view name, const void* payload, std::size_t size) {
  std::vector<std::uint8_t> region(kMaxPacketSize, 0);
  const auto packet = BuildCommandPacket(name, payload, size);
  std::memcpy(region.data(), packet.data(), packet.size());
  return region;
}

std::vector<std::uint8_t> Region(std::string_view name, std::vector<std::int32_t> values) {
  return Region(name, values.data(), values.size() * sizeof(std::int32_t));
}

int scrollCalls = 0;
int scrollA = 0;
int scrollB = 0;
void RecordScroll(int a, int b) {
  ++scrollCalls;
  scrollA = a;
  scrollB = b;
}

class ServerPackets : public ::testing::Test {
 protected:
  void SetUp() override {
    scrollCalls = 0;
    SetScrollHandler(RecordScroll);
  }
  void TearDown() override { SetScrollHandler(nullptr); }
  i_server server;
};

TEST_F(ServerPackets, EachCommandWordAppliesItsRow) {
  struct Case {
    std::vector<std::uint8_t> region;
    std::function<bool(shr_avsource&)> applied;
  };
  const std::string url = "http://127.0.0.1:8000/a b?c=d";
  const std::string css = "body { color: red; }";
  const std::vector<Case> cases = {
      {Region("setTarget", url.data(), url.size()), [&](auto& s) { return s.copyTarget() == url; }},
      {Region("setViewport", {1280, 720}),
       [](auto& s) { return s.viewportWidth == 1280 && s.viewportHeight == 720; }},
      {Region("setImageFormat", {5}), [](auto& s) { return s.imageFormat == 5; }},
      {Region("setAudioFormat", {48000, 24, 6}),
       [](auto& s) { return s.sampleRate == 48000 && s.bitsPerSample == 24 && s.channels == 6; }},
      {Region("select", css.data(), css.size()), [&](auto& s) { return s.copyCss() == css; }},
      {Region("pause", nullptr, 0), [](auto& s) { return s.paused.load(); }},
      {Region("RESUME", nullptr, 0), [](auto& s) { return !s.paused; }},
      {Region("uPdAtE", nullptr, 0), [](auto& s) { return s.updatePending.load(); }},
      {Region("setTarget", nullptr, 0), [](auto& s) { return s.copyTarget().empty(); }},
      {Region("close", nullptr, 0), [](auto& s) { return !s.connected; }},
  };
  server.settings.connected = true;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto region = cases[i].region;
    server.handlePacket(region.data());
    EXPECT_TRUE(cases[i].applied(server.settings)) << "case " << i;
  }
}

TEST_F(ServerPackets, OnlyUpdateAsksForThePause) {
  auto update = Region("Update", nullptr, 0);
  auto pause = Region("pause", nullptr, 0);
  EXPECT_TRUE(server.handlePacket(update.data()));
  EXPECT_FALSE(server.handlePacket(pause.data()));
}

TEST_F(ServerPackets, ScrollArgumentsComeBackInTheSendersOrder) {
  auto region = Region("setScrollPosition", {-5, 3});  // wire order: b, then a
  server.handlePacket(region.data());
  EXPECT_EQ(scrollCalls, 1);
  EXPECT_EQ(scrollA, 3);
  EXPECT_EQ(scrollB, -5);

  SetScrollHandler(nullptr);
  server.handlePacket(region.data());  // no handler installed: nothing happens
  EXPECT_EQ(scrollCalls, 1);
}

TEST_F(ServerPackets, IsReadyWritesTheReplyOverTheRequest) {
  for (bool ready : {false, true}) {
    server.settings.ready = ready;
    auto region = Region("isReady", nullptr, 0);
    server.handlePacket(region.data());
    EXPECT_EQ(ReadU32(region.data()), 44u);
    EXPECT_STREQ(reinterpret_cast<const char*>(region.data() + 4), "isReady");
    for (std::size_t i = 4 + 7; i < 36; ++i) EXPECT_EQ(region[i], 0) << i;
    EXPECT_EQ(ReadU32(region.data() + 36), 4u);
    EXPECT_EQ(ReadU32(region.data() + 40), ready ? 1u : 0u);
  }
}

TEST_F(ServerPackets, MalformedOrEmptyPacketsChangeNothing) {
  server.settings.storeTarget("kept");
  std::vector<std::vector<std::uint8_t>> bad;
  bad.push_back(std::vector<std::uint8_t>(kMaxPacketSize, 0));  // a fresh region
  for (std::uint32_t size : {0xFFFFFFFFu, 989u, 1024u, 0x7FFFFFFFu, 0x80000000u}) {
    auto region = Region("setTarget", "x", 1);
    WriteU32(region.data() + kPacketPayloadSizeOffset, size);
    bad.push_back(region);
  }
  auto unterminated = Region("setTarget", "x", 1);
  std::memset(unterminated.data() + kPacketNameOffset, 'A', kPacketNameSize);
  bad.push_back(unterminated);
  bad.push_back(Region("setTargets", "x", 1));
  bad.push_back(Region("nothing", nullptr, 0));
  auto zeroSize = Region("pause", nullptr, 0);
  WriteU32(zeroSize.data(), 0);  // no packet, whatever follows
  bad.push_back(zeroSize);

  for (std::size_t i = 0; i < bad.size(); ++i) {
    server.handlePacket(bad[i].data());
    EXPECT_EQ(server.settings.copyTarget(), "kept") << "case " << i;
    EXPECT_FALSE(server.settings.paused) << "case " << i;
  }
}

TEST(CommandPackets, FreshSettingsHoldTheDefaults) {
  i_server server;
  shr_avsource& s = server.settings;
  int w, h, x, y;
  s.getViewport(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  int rx, ry, rw, rh;
  s.getRect(&rx, &ry, &rw, &rh);
  EXPECT_EQ(rx, 0);
  EXPECT_EQ(ry, 0);
  EXPECT_EQ(rw, 640);
  EXPECT_EQ(rh, 480);
  audio_format format{};
  s.getAudioFormat(&format);
  EXPECT_EQ(format.sampleRate, 44100);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(s.getImageFormat(), 0);
  EXPECT_EQ(s.getCss().size(), 76u);
  EXPECT_EQ(s.getCss(), shr_avsource::kDefaultCss);
  EXPECT_FALSE(s.isPaused());
  EXPECT_FALSE(s.isConnected());
  EXPECT_FALSE(s.ready);
  EXPECT_EQ(s.getIndex(), -1);
  s.getScrollPosition(&x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

class Senders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.commandChannel->create());
    view = host.commandChannel->view;
    host.settings.connected = true;
  }
  std::string packetName() const { return reinterpret_cast<const char*>(view + 4); }
  HostLink host{UniqueInstanceId()};
  std::uint8_t* view = nullptr;
};

TEST_F(Senders, StringPacketsUpToTheRegionAreSentLongerOnesRefused) {
  EXPECT_TRUE(host.settings.setTarget(""));
  EXPECT_EQ(ReadU32(view), 40u);
  EXPECT_EQ(ReadU32(view + 36), 0u);
  EXPECT_EQ(packetName(), "setTarget");

  const std::string longest(988, 'u');
  EXPECT_TRUE(host.settings.setTarget(longest));
  EXPECT_EQ(ReadU32(view), 1028u);
  EXPECT_EQ(ReadU32(view + 36), 988u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view + 40), 988), longest);

  std::array<std::uint8_t, 1028> before;
  std::memcpy(before.data(), view, before.size());
  EXPECT_FALSE(host.settings.setTarget(std::string(989, 'v')));
  EXPECT_EQ(host.settings.getTarget(), longest);
  EXPECT_TRUE(host.settings.select(std::string(5000, 'c')));  // select reports true anyway
  EXPECT_EQ(host.settings.getCss(), shr_avsource::kDefaultCss);
  EXPECT_EQ(std::memcmp(before.data(), view, before.size()), 0) << "a refused packet was written";
}

TEST_F(Senders, FixedPayloadsLandAtTheirOffsets) {
  host.settings.setViewport(1280, 720);
  EXPECT_EQ(packetName(), "setViewport");
  EXPECT_EQ(ReadI32(view + 40), 1280);
  EXPECT_EQ(ReadI32(view + 44), 720);

  host.settings.setScrollPosition(3, -5);
  EXPECT_EQ(packetName(), "setScrollPosition");
  EXPECT_EQ(ReadI32(view + 40), -5);
  EXPECT_EQ(ReadI32(view + 44), 3);

  host.settings.setAudioFormat({48000, 16, 1});
  EXPECT_EQ(ReadU32(view), 52u);
  EXPECT_EQ(ReadI32(view + 48), 1);
}

TEST_F(Senders, ConnectedOnlyOperationsSendNothingWhileDisconnected) {
  host.settings.connected = false;
  std::memset(view, 0, kMaxPacketSize);
  host.settings.pause();
  host.settings.Update();
  host.settings.setScrollPosition(1, 2);
  EXPECT_FALSE(host.settings.isReady());
  EXPECT_FALSE(host.settings.isPaused());
  EXPECT_EQ(ReadU32(view), 0u);

  // Setters need only a usable channel.
  host.settings.setImageFormat(1);
  EXPECT_EQ(host.settings.getImageFormat(), 1);
  EXPECT_EQ(packetName(), "setImageFormat");
}

TEST(SendersWithoutChannel, KeepTheirOldValues) {
  HostLink host(UniqueInstanceId());  // command channel named but never opened
  host.settings.connected = true;
  EXPECT_FALSE(host.settings.setTarget("http://127.0.0.1/"));
  EXPECT_EQ(host.settings.getTarget(), "");
  host.settings.setViewport(1, 1);
  int w, h;
  host.settings.getViewport(&w, &h);
  EXPECT_EQ(w, 640);
  host.settings.pause();
  EXPECT_FALSE(host.settings.isPaused());
}

}  // namespace
