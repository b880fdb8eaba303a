// The host link between real processes: this test plays the host, link_test_server is the
// other end.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "child_process.h"
#include "command_packet.h"
#include "host_link.h"
#include "unique_id.h"

namespace {

using namespace std::chrono_literals;

std::unique_ptr<ChildProcess> StartServer(int id) {
  return std::make_unique<ChildProcess>(
      std::vector<std::string>{BinDir() + "/link_test_server", std::to_string(id)});
}

// Waits for a state line that contains `expected`.
bool SawState(ChildProcess& server, const std::string& expected) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    auto line = server.waitForLine("state ", 10s);
    if (!line) return false;
    if (line->find(expected) != std::string::npos) return true;
  }
  return false;
}

class LinkProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.start());
    server = StartServer(host.id());
    ASSERT_TRUE(server->waitForLine("started", 20s)) << "server did not start";
    ASSERT_TRUE(host.connect(10000));
  }
  HostLink host{UniqueInstanceId()};
  std::unique_ptr<ChildProcess> server;
};

TEST_F(LinkProcesses, EveryCommandLandsInTheSettings) {
  shr_avsource& s = host.settings;
  struct Step {
    std::function<void()> send;
    std::string expected;
  };
  const std::vector<Step> steps = {
      {[&] { s.setTarget("http://127.0.0.1:9/page?a=1"); }, "target=http://127.0.0.1:9/page?a=1|"},
      {[&] { s.setViewport(1280, 720); }, "viewport=1280x720"},
      {[&] { s.setImageFormat(1); }, "format=1"},
      {[&] {
         s.setAudioFormat({48000, 24, 6});
       },
       "audio=48000/24/6"},
      {[&] { s.select("body{margin:0}"); }, "css=body{margin:0}|"},
      {[&] { s.pause(); }, "paused=1"},
      {[&] { s.resume(); }, "paused=0"},
      {[&] { s.Update(); }, "update=1"},
      {[&] { s.setTarget(""); }, "state target=|"},
      {[&] { s.close(); }, "connected=0"},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps[i].send();
    EXPECT_TRUE(SawState(*server, steps[i].expected)) << "step " << i << ": " << steps[i].expected;
  }
}

TEST_F(LinkProcesses, IsReadyIsAnsweredThroughTheResponseEvent) {
  EXPECT_FALSE(host.settings.isReady());
  server->writeLine("ready 1");
  ASSERT_TRUE(server->waitForLine("ack ready 1", 10s));
  EXPECT_TRUE(host.settings.isReady());
  const std::uint8_t* reply = host.commandChannel->view;
  EXPECT_EQ(ReadU32(reply), 44u);
  EXPECT_STREQ(reinterpret_cast<const char*>(reply + 4), "isReady");
  EXPECT_EQ(ReadU32(reply + 36), 4u);
  EXPECT_EQ(ReadU32(reply + 40), 1u);
}

TEST_F(LinkProcesses, ScrollReachesTheHandlerUnswapped) {
  host.settings.setScrollPosition(3, -5);
  EXPECT_EQ(server->waitForLine("scroll ", 10s).value_or(""), "scroll 3 -5");
}

// The host's sender waits for each packet to be taken, so a renderer slower than the sender
// still gets every packet, in order.
TEST_F(LinkProcesses, PacketsSentBackToBackAllLandInOrder) {
  constexpr int kPackets = 40;
  for (int i = 0; i < kPackets; ++i) host.settings.setScrollPosition(2000 + i, i);
  for (int i = 0; i < kPackets; ++i) {
    EXPECT_EQ(server->waitForLine("scroll ", 10s).value_or("none"),
              "scroll " + std::to_string(2000 + i) + " " + std::to_string(i));
  }
}

TEST_F(LinkProcesses, TwoPacketsBeforeAWakeUpApplyOnlyTheSecond) {
  // The first scroll holds the server thread in the handler for 500 ms, longer than a sender
  // waits for a packet to be taken; two packets sent meanwhile signal the event twice, which
  // wakes the server once, for the second packet.
  host.settings.setScrollPosition(1000, 0);
  ASSERT_EQ(server->waitForLine("scroll ", 10s).value_or(""), "scroll 1000 0");
  host.settings.setScrollPosition(2, 2);
  host.settings.setScrollPosition(3, 3);
  EXPECT_EQ(server->waitForLine("scroll ", 10s).value_or(""), "scroll 3 3");
  EXPECT_FALSE(server->waitForLine("scroll ", 700ms)) << "the server woke more than once";
}

TEST_F(LinkProcesses, AnAllZeroRegionIsIgnored) {
  host.settings.setViewport(800, 600);
  ASSERT_TRUE(SawState(*server, "viewport=800x600"));
  std::memset(host.commandChannel->view, 0, kMaxPacketSize);
  SetEvent(host.commandChannel->event);
  EXPECT_FALSE(server->waitForLine("state ", 300ms)) << "an empty region changed the settings";
  EXPECT_FALSE(host.settings.isReady());  // and the server still answers
}

// Starts a server against a host that made only some of its objects, and returns the failure
// text and the milliseconds `start` took to fail.
struct StartFailure {
  std::string text;
  int ms = -1;
};
StartFailure FailedStart(HostLink& host) {
  auto server = StartServer(host.id());
  auto line = server->waitForLine("start-failed ", 30s);
  if (!line) return {};
  const auto at = line->rfind(' ');
  const std::string prefix = "start-failed ";
  return {line->substr(prefix.size(), at - prefix.size()), std::stoi(line->substr(at + 1))};
}

TEST(LinkStart, FailsAfterTheOpenRetriesWhenTheVideoChannelIsMissing) {
  HostLink host(UniqueInstanceId());
  ASSERT_TRUE(host.createAudioChannel());
  ASSERT_TRUE(host.createResponseEvent());
  const auto failure = FailedStart(host);
  EXPECT_EQ(failure.text, "Error start server");
  EXPECT_GE(failure.ms, 3900);   // 40 attempts, 100 ms apart
  EXPECT_LT(failure.ms, 12000);  // generous: the machine may be loaded
}

TEST(LinkStart, FailsAtOnceWhenTheResponseEventIsMissing) {
  HostLink host(UniqueInstanceId());
  ASSERT_TRUE(host.createVideoChannel());
  ASSERT_TRUE(host.createAudioChannel());
  const auto failure = FailedStart(host);
  EXPECT_EQ(failure.text, "Error open event");
  EXPECT_GE(failure.ms, 0);
  EXPECT_LT(failure.ms, 3000);
}

TEST(LinkRestart, KilledHoldersLeaveNoStalePacketOrSignal) {
  HostLink host(UniqueInstanceId());
  ASSERT_TRUE(host.start());
  {
    auto first = StartServer(host.id());
    ASSERT_TRUE(first->waitForLine("started", 20s));
    ASSERT_TRUE(host.connect(10000));
    host.settings.setTarget("http://127.0.0.1/stale");
    ASSERT_TRUE(SawState(*first, "target=http://127.0.0.1/stale|"));
    first->kill(SIGKILL);
    first->wait(10s);
    // The host lets go of the command channel too; its last act signals the event. The
    // response event went with it and is made anew.
    host.commandChannel = std::make_shared<MappingMem>(kCommandMappingBase, kCommandEventBase,
                                                       kCommandRegionSize, host.id());
    host.settings.connected = false;
    ASSERT_TRUE(host.createResponseEvent());
  }
  auto second = StartServer(host.id());
  ASSERT_TRUE(second->waitForLine("started", 20s));
  auto state = second->waitForLine("state ", 10s);
  ASSERT_TRUE(state);
  EXPECT_NE(state->find("state target=|"), std::string::npos) << *state;
  EXPECT_FALSE(second->waitForLine("state ", 300ms)) << "a stale packet was applied";
  ASSERT_TRUE(host.connect(10000));
  EXPECT_FALSE(host.settings.isReady());
}

}  // namespace
