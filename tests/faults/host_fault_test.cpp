// The host application failing under a running renderer: killed outright, restarted at once
// with the same instance id, or never making the channels. Each host is a fault_host child
// process, so the test can kill it; the test itself never holds the host-instance mutex.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "child_process.h"
#include "local_http_server.h"
#include "moving_pages.h"
#include "process_tree.h"
#include "unique_id.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::string> HostArgs(int id, const std::string& mode, const std::string& url = "") {
  std::vector<std::string> args{BinDir() + "/fault_host", BinDir() + "/tavrimon-browser",
                                std::to_string(id), mode};
  if (!url.empty()) args.push_back(url);
  return args;
}

// A second host with the same id ("once" or "settled"): a new renderer streams to it (the host
// checks its channels were fresh and says "fault" otherwise), then ends on its "close".
void ExpectServedAndClosed(ChildProcess& second) {
  auto line = second.readLine(90s);
  ASSERT_TRUE(line) << "the second host said nothing";
  ASSERT_EQ(line->rfind("streaming", 0), 0u) << *line;
  line = second.readLine(60s);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "exit 0");
  EXPECT_EQ(second.wait(20s), 0);
}

class HostFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    BecomeSubreaper();
    http.Serve("/playing", kPlayingPage);
  }
  LocalHttpServer http;
};

TEST_F(HostFaults, KilledHostTakesTheWholeRendererTreeAlongAndARestartedHostGetsAFreshLink) {
  const int id = UniqueInstanceId();
  ChildProcess first(HostArgs(id, "stream", http.Url("/playing")));
  ASSERT_TRUE(first.started());
  auto streaming = first.waitForLine("streaming", 60s);
  ASSERT_TRUE(streaming) << "the first host never saw frames";
  std::printf("first host: launch to first frame %s ms\n", streaming->substr(10).c_str());

  const auto tree = Descendants(first.pid());
  std::printf("renderer tree: %s\n", Describe(tree).c_str());
  ASSERT_GE(tree.size(), 3u) << "expected tavrimon-browser, WebKit's processes and Xvfb";
  bool hasXvfb = false;
  for (const auto& process : tree) hasXvfb = hasXvfb || process.name == "Xvfb";
  EXPECT_TRUE(hasXvfb) << Describe(tree);

  first.kill(SIGKILL);
  const auto browserGone = WaitAllEnded({tree.front()}, 10s);  // the renderer comes first
  const auto gone = browserGone + WaitAllEnded(tree, 10s);
  ASSERT_TRUE(first.wait(5s));
  std::printf("host killed: %s gone after %lld ms, its whole tree after %lld ms\n",
              tree.front().name.c_str(), static_cast<long long>(browserGone.count()),
              static_cast<long long>(gone.count()));
  EXPECT_TRUE(StillRunning(tree).empty()) << "left behind: " << Describe(StillRunning(tree));
  // The watchdog probes every 100 ms; allow a loaded machine plenty on top.
  EXPECT_LT(gone, 2000ms);

  // A host with the same id right away: its channels must start empty and unsignalled, and
  // a new renderer must serve it (fault_host checks the emptiness and says "fault" otherwise).
  ChildProcess second(HostArgs(id, "once", http.Url("/playing")));
  ASSERT_TRUE(second.started());
  ExpectServedAndClosed(second);
}

TEST_F(HostFaults, HostRestartedBeforeTheWatchdogProbedStillEndsTheOldRenderer) {
  // The harsh order: the new host takes the mutex again before the old renderer's watchdog
  // has probed, so the mutex never looks gone. The old renderer must end all the same rather
  // than serve the id beside the new one; the new host, making its channels after that, gets
  // fresh ones.
  const int id = UniqueInstanceId();
  ChildProcess first(HostArgs(id, "stream", http.Url("/playing")));
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(first.waitForLine("streaming", 60s));
  const auto tree = Descendants(first.pid());

  first.kill(SIGKILL);
  ASSERT_TRUE(first.wait(5s));
  ChildProcess second(HostArgs(id, "settled", http.Url("/playing")));
  ASSERT_TRUE(second.started());
  ASSERT_TRUE(second.waitForLine("holding", 30s));
  const auto gone = WaitAllEnded(tree, 10s);
  second.writeLine("go");
  std::printf("old renderer tree gone after %lld ms (new host already up)\n",
              static_cast<long long>(gone.count()));
  EXPECT_TRUE(StillRunning(tree).empty()) << "left behind: " << Describe(StillRunning(tree));
  EXPECT_LT(gone, 2000ms);
  ExpectServedAndClosed(second);
}

TEST_F(HostFaults, HostThatNeverMakesTheChannelsSeesExitZeroAfterAboutFourSeconds) {
  ChildProcess host(HostArgs(UniqueInstanceId(), "nochannels"));
  ASSERT_TRUE(host.started());
  std::this_thread::sleep_for(1500ms);
  const auto tree = Descendants(host.pid());
  std::printf("while waiting for channels: %s\n", Describe(tree).c_str());

  auto line = host.readLine(60s);
  ASSERT_TRUE(line) << "the renderer did not end";
  unsigned code = 99;
  long long ms = 0;
  ASSERT_EQ(std::sscanf(line->c_str(), "exit %u %lld", &code, &ms), 2) << *line;
  std::printf("no channels: renderer ended with %u after %lld ms\n", code, ms);
  EXPECT_EQ(code, 0u);
  EXPECT_GE(ms, 3500);   // the open is retried for about 4 s
  EXPECT_LT(ms, 20000);  // plus start-up, on a loaded machine
  EXPECT_EQ(host.wait(10s), 0);

  const auto gone = WaitAllEnded(tree, 5s);
  EXPECT_TRUE(StillRunning(tree).empty()) << "left behind: " << Describe(StillRunning(tree));
  std::printf("its processes gone %lld ms after the exit was seen\n",
              static_cast<long long>(gone.count()));
}

}  // namespace
