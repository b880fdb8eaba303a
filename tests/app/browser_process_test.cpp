// tavrimon-browser as a host sees it: how it ends in each situation, and how fast.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "child_process.h"
#include "elapsed.h"
#include "host_link.h"
#include "private_machine.h"
#include "process_tree.h"
#include "unique_id.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Browser() {
  return BinDir() + "/tavrimon-browser";
}

// Runs `body` in a forked child inside a further machine of its own, where nobody
// holds the mutex unless the body takes it; the child reports "code ms" through a pipe.
template <class Body>
std::string InPrivateMachine(Body body) {
  int result[2];
  if (pipe(result) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    close(result[0]);
    std::string report = EnterPrivateMachine() ? body() : "no machine of its own";
    if (write(result[1], report.data(), report.size()) < 0) _exit(2);
    _exit(0);
  }
  close(result[1]);
  std::string report;
  char chunk[256];
  ssize_t got;
  while ((got = read(result[0], chunk, sizeof chunk)) > 0) report.append(chunk, got);
  close(result[0]);
  waitpid(child, nullptr, 0);
  return report;
}

TEST(BrowserProcess, EndsWith255AtOnceWhenNoHostHoldsTheMutex) {
  const std::string report = InPrivateMachine([] {
    const auto start = Clock::now();
    ChildProcess browser({Browser(), std::to_string(UniqueInstanceId())});
    auto code = browser.wait(10s);
    return std::to_string(code.value_or(-1)) + " " + std::to_string(MsSince(start));
  });
  int code = -1;
  long ms = -1;
  ASSERT_EQ(std::sscanf(report.c_str(), "%d %ld", &code, &ms), 2) << report;
  EXPECT_EQ(code, 255);
  EXPECT_LT(ms, 1000) << "the watchdog's first probe should end it";
  std::printf("no host mutex: exit %d after %ld ms\n", code, ms);
}

TEST(BrowserProcess, EndsWith255SoonAfterTheHostLetsGoOfTheMutex) {
  const std::string report = InPrivateMachine([] {
    HostLink host(UniqueInstanceId());
    if (!host.holdInstanceMutex() || !host.start()) return std::string("host set-up failed");
    if (!host.launch(Browser())) return std::string("launch failed");
    if (!host.connect(20000)) return std::string("no command channel");
    // Running and linked: now the host goes away.
    const auto start = Clock::now();
    host.releaseInstanceMutex();
    auto code = host.waitExit(10000);
    return std::to_string(code ? static_cast<int>(*code) : -1) + " " +
           std::to_string(MsSince(start));
  });
  int code = -1;
  long ms = -1;
  ASSERT_EQ(std::sscanf(report.c_str(), "%d %ld", &code, &ms), 2) << report;
  EXPECT_EQ(code, 255);
  EXPECT_LT(ms, 1000) << "the watchdog probes every 100 ms";
  std::printf("host gone: exit %d after %ld ms\n", code, ms);
}

TEST(BrowserProcess, CloseEndsItWith0LeavingNoProcessAndTheIdFollowsAtoi) {
  const int id = UniqueInstanceId();
  HostLink host(id);
  ASSERT_TRUE(host.holdInstanceMutex());
  ASSERT_TRUE(host.start());
  // "  +<id>xyz" reads as <id>: the renderer makes the command channel of that id.
  ChildProcess browser({Browser(), "  +" + std::to_string(id) + "xyz"});
  ASSERT_TRUE(host.connect(20000)) << "no command channel for id " << id;

  // A page on screen, so the engine's processes are all running.
  host.settings.setViewport(64, 64);
  host.settings.setTarget("data:text/html,<body style='background:red'>");
  host.settings.Update();
  ASSERT_TRUE(host.readVideo(20000)) << "no frame from the page";
  const auto engineProcesses = Descendants(browser.pid());
  EXPECT_GE(engineProcesses.size(), 2u) << "expected the display server and WebKit's processes";

  const auto start = Clock::now();
  host.settings.close();  // not launched by the settings object: sends "close"
  auto code = browser.wait(10s);
  const long ms = MsSince(start);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0);
  EXPECT_LT(ms, 1000);
  EXPECT_LT(WaitAllEnded(engineProcesses, 2s), 2s)
      << "outlived the renderer: " << Describe(StillRunning(engineProcesses));
  std::printf(
      "close: exit %d after %ld ms (includes the sender's 50 ms pause); %zu engine "
      "processes gone\n",
      *code, ms, engineProcesses.size());
}

TEST(BrowserProcess, EndsWith0AfterItsOpenRetriesWhenTheVideoChannelIsMissing) {
  HostLink host(UniqueInstanceId());
  ASSERT_TRUE(host.holdInstanceMutex());
  ASSERT_TRUE(host.createAudioChannel());
  ASSERT_TRUE(host.createResponseEvent());
  const auto start = Clock::now();
  ASSERT_TRUE(host.launch(Browser()));
  auto code = host.waitExit(30000);
  const long ms = MsSince(start);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u);
  EXPECT_GE(ms, 3900);
  EXPECT_LT(ms, 15000);
}

TEST(BrowserProcess, EndsWith0AtOnceWhenTheResponseEventIsMissing) {
  HostLink host(UniqueInstanceId());
  ASSERT_TRUE(host.holdInstanceMutex());
  ASSERT_TRUE(host.createVideoChannel());
  ASSERT_TRUE(host.createAudioChannel());
  const auto start = Clock::now();
  ASSERT_TRUE(host.launch(Browser()));
  auto code = host.waitExit(30000);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u);
  EXPECT_LT(MsSince(start), 3000);
}

}  // namespace
