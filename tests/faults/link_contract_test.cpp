// The host link's contract as a host relies on it: every command a host sends lands, every
// renderer ends with the status of its own exit path, and two hosts on one machine leave each
// other's renderers alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "child_process.h"
#include "elapsed.h"
#include "host_link.h"
#include "local_http_server.h"
#include "moving_pages.h"
#include "process_tree.h"
#include "unique_id.h"

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::string Browser() {
  return BinDir() + "/tavrimon-browser";
}

std::vector<std::string> HostArgs(int id, const std::string& mode, const std::string& url) {
  return {BinDir() + "/fault_host", Browser(), std::to_string(id), mode, url};
}

// The exit status of `pid`, a child of this process (an orphan reparented to it counts), or
// -1 when it did not end in time.
int WaitStatus(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 || Clock::now() > deadline) return -1;
    std::this_thread::sleep_for(1ms);
  }
}

std::string Tally(const std::map<int, int>& statuses) {
  std::string text;
  for (const auto& [status, count] : statuses) {
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " x " + std::to_string(status);
  }
  return text;
}

// A page on screen in a renderer of its own host in this process.
class LinkedRenderer {
 public:
  explicit LinkedRenderer(int id) : host(id) {}

  // Starts the renderer and shows `url`; true once a frame of the page's size arrived.
  bool show(const std::string& url, int width, int height) {
    if (!host.holdInstanceMutex() || !host.start() || !host.launch(Browser()) ||
        !host.connect(30000)) {
      return false;
    }
    host.settings.setImageFormat(1);
    host.settings.setViewport(width, height);
    host.settings.setTarget(url);
    host.settings.Update();
    const auto deadline = Clock::now() + 40s;
    while (Clock::now() < deadline) {
      auto frame = host.readVideo(500);
      if (frame && frame->size() == static_cast<std::size_t>(width) * height * 4) return true;
    }
    return false;
  }

  HostLink host;
};

class LinkContract : public ::testing::Test {
 protected:
  void SetUp() override {
    BecomeSubreaper();
    http.Serve("/animated", kAnimatedPage);
  }
  LocalHttpServer http;
};

TEST_F(LinkContract, EveryCloseEndsTheRendererWithStatus0) {
  constexpr int kCloses = 100;
  std::map<int, int> statuses;
  long long slowest = 0;
  for (int i = 0; i < kCloses; ++i) {
    LinkedRenderer renderer(UniqueInstanceId());
    ASSERT_TRUE(renderer.show(http.Url("/animated"), 64, 48)) << "close " << i;
    const auto closed = Clock::now();
    renderer.host.settings.close();
    const auto code = renderer.host.waitExit(10000);
    slowest = std::max(slowest, MsSince(closed));
    ++statuses[code ? static_cast<int>(*code) : -1];
  }
  std::printf("%d closes: %s; slowest close to exit %lld ms\n", kCloses, Tally(statuses).c_str(),
              slowest);
  EXPECT_EQ(statuses[0], kCloses) << Tally(statuses);
}

TEST_F(LinkContract, EveryRendererOfAKilledHostEndsWithStatus255) {
  constexpr int kHosts = 50;
  std::map<int, int> statuses;
  long long slowest = 0;
  for (int i = 0; i < kHosts; ++i) {
    ChildProcess host(HostArgs(UniqueInstanceId(), "stream", http.Url("/animated")));
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.waitForLine("streaming", 60s)) << "host " << i << " never saw frames";
    const auto tree = Descendants(host.pid());
    ASSERT_FALSE(tree.empty());
    const auto killed = Clock::now();
    host.kill(SIGKILL);
    ASSERT_TRUE(host.wait(5s));
    // The renderer is an orphan now, and this process its reaper.
    ++statuses[WaitStatus(tree.front().pid, 10s)];
    slowest = std::max(slowest, MsSince(killed));
    EXPECT_LT(WaitAllEnded(tree, 5s), 5s) << "left behind: " << Describe(StillRunning(tree));
  }
  std::printf("%d killed hosts: renderers ended %s; slowest %lld ms\n", kHosts,
              Tally(statuses).c_str(), slowest);
  EXPECT_EQ(statuses[255], kHosts) << Tally(statuses);
}

TEST_F(LinkContract, TwoHostsOnOneMachineLeaveEachOthersRenderersAlone) {
  ChildProcess first(HostArgs(UniqueInstanceId(), "stream", http.Url("/animated")));
  ChildProcess second(HostArgs(UniqueInstanceId(), "serve", http.Url("/animated")));
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(second.started());
  ASSERT_TRUE(first.waitForLine("streaming", 60s));
  ASSERT_TRUE(second.waitForLine("streaming", 60s));
  const auto firstTree = Descendants(first.pid());
  const auto secondTree = Descendants(second.pid());
  ASSERT_GE(firstTree.size(), 3u) << Describe(firstTree);

  const auto frames = [&second] {
    second.writeLine("count");
    const auto line = second.waitForLine("frames ", 10s);
    return line ? std::stoll(line->substr(7)) : -1;
  };
  // The first host dies; the second one still holds the host-instance mutex.
  first.kill(SIGKILL);
  ASSERT_TRUE(first.wait(5s));
  const auto gone = WaitAllEnded(firstTree, 10s);
  EXPECT_TRUE(StillRunning(firstTree).empty())
      << "left behind: " << Describe(StillRunning(firstTree));
  std::printf("first host killed: its renderer tree (%zu processes) gone after %lld ms\n",
              firstTree.size(), static_cast<long long>(gone.count()));
  EXPECT_LT(gone, 1000ms) << "the watchdog looks every 100 ms";

  const long long before = frames();
  std::this_thread::sleep_for(1s);
  const long long after = frames();
  std::printf("second host: %lld frames in the second after\n", after - before);
  EXPECT_GE(after - before, 10) << "the second host's renderer stopped";
  EXPECT_TRUE(StillRunning(secondTree).size() == secondTree.size())
      << "the second host lost " << Describe(secondTree);

  // Now nobody holds the mutex any more.
  second.writeLine("release");
  const auto line = second.waitForLine("exit ", 10s);
  ASSERT_TRUE(line) << "the second renderer did not end";
  EXPECT_EQ(*line, "exit 255");
  EXPECT_EQ(second.wait(10s), 0);
  EXPECT_LT(WaitAllEnded(secondTree, 5s), 5s);
}

// Every page change is a burst of four commands; a lost one shows as the previous page, the
// previous size or the previous pixel format in the frame the page settles on.
TEST_F(LinkContract, AStillPageShownTwentyTimesEndsOnThatPageEveryTime) {
  constexpr int kLoads = 20;
  for (int i = 0; i < kLoads; ++i) {
    char page[160];
    std::snprintf(page, sizeof page,
                  "<!doctype html><body style='margin:0;background:rgb(%d,%d,%d)'></body>", 10 * i,
                  200 - 5 * i, 30 + 3 * i);
    http.Serve("/still" + std::to_string(i), page);
  }
  LinkedRenderer renderer(UniqueInstanceId());
  ASSERT_TRUE(renderer.show(http.Url("/animated"), 40, 30));
  HostLink& host = renderer.host;
  for (int i = 0; i < kLoads; ++i) {
    const int format = i % 2;  // BGR24, then BGRA
    const int width = 96 + 16 * (i % 3);
    const int height = 64 + 8 * (i % 4);
    host.settings.setImageFormat(format);
    host.settings.setViewport(width, height);
    host.settings.setTarget(http.Url("/still" + std::to_string(i)));
    host.settings.Update();

    // A still page paints a few frames, then none: the last one is the settled page.
    std::vector<std::uint8_t> last;
    const auto deadline = Clock::now() + 30s;
    const std::size_t pixel = format == 0 ? 3 : 4;
    const std::size_t expected = static_cast<std::size_t>(width) * height * pixel;
    while (Clock::now() < deadline) {
      auto frame = host.readVideo(1500);
      if (!frame) {
        if (last.size() == expected) break;
        continue;
      }
      last = std::move(*frame);
    }
    ASSERT_EQ(last.size(), expected) << "load " << i << ": the size or format did not land";
    const std::size_t middle = (static_cast<std::size_t>(height / 2) * width + width / 2) * pixel;
    const int b = last[middle], g = last[middle + 1], r = last[middle + 2];
    EXPECT_EQ(r, 10 * i) << "load " << i;
    EXPECT_EQ(g, 200 - 5 * i) << "load " << i;
    EXPECT_EQ(b, 30 + 3 * i) << "load " << i;
  }
  host.settings.close();
  EXPECT_EQ(host.waitExit(10000).value_or(99), 0u);
}

// Page changes faster than the engine makes browsers: every browser an update made is closed
// by the next one, so only the last page is left painting into the host's channel.
TEST_F(LinkContract, RapidPageChangesLeaveOnlyTheLastPageRunning) {
  constexpr int kChanges = 30;
  for (int i = 0; i < kChanges; ++i) {
    char page[400];
    std::snprintf(page, sizeof page,
                  "<!doctype html><body style='margin:0;background:rgb(%d,90,40)'>"
                  "<div id=d style='width:4px;height:4px;background:#fff'></div><script>let n=0;"
                  "function s(){d.style.marginLeft=(n++%%20)+'px';requestAnimationFrame(s)}"
                  "requestAnimationFrame(s)</script>",
                  8 * i);
    http.Serve("/page" + std::to_string(i), page);
  }
  LinkedRenderer renderer(UniqueInstanceId());
  ASSERT_TRUE(renderer.show(http.Url("/animated"), 80, 60));
  HostLink& host = renderer.host;
  for (int i = 0; i < kChanges; ++i) {
    host.settings.setTarget(http.Url("/page" + std::to_string(i)));
    host.settings.Update();
  }
  std::this_thread::sleep_for(3s);
  int frames = 0;
  int others = 0;
  const auto until = Clock::now() + 2s;
  while (Clock::now() < until) {
    auto frame = host.readVideo(500);
    if (!frame || frame->size() != 80u * 60 * 4) continue;
    ++frames;
    const std::size_t middle = (30u * 80 + 40) * 4;
    if ((*frame)[middle + 2] != 8 * (kChanges - 1)) ++others;
  }
  std::size_t webProcesses = 0;
  for (const auto& process : Descendants(getpid())) {
    if (process.name.rfind("WebKitWebProces", 0) == 0) ++webProcesses;
  }
  std::printf("after %d quick page changes: %d frames, %d of another page; %zu web processes\n",
              kChanges, frames, others, webProcesses);
  EXPECT_GT(frames, 20);
  EXPECT_EQ(others, 0) << "an earlier page still paints into the channel";
  EXPECT_LE(webProcesses, 3u) << "browsers of earlier pages were left open";
  host.settings.close();
  EXPECT_EQ(host.waitExit(10000).value_or(99), 0u);
}

}  // namespace
