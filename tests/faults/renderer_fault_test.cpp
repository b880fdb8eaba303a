// The renderer failing under a live host: tavrimon-browser killed outright, and WebKit's web
// process killed while the page plays.
#include <signal.h>

#include <cstdio>
#include <thread>

#include "moving_pages.h"
#include "process_tree.h"
#include "product_fixture.h"

using namespace std::chrono_literals;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * kHeight * 4;

bool PageSized(const Frame& frame) {
  return frame.size() == kFrameBytes;
}

class RendererFaults : public Product {
 protected:
  void SetUp() override {
    BecomeSubreaper();
    Product::SetUp();
    http.Serve("/playing", kPlayingPage);
  }

  pid_t RendererPid() {
    for (const auto& process : Descendants(getpid())) {
      if (process.name == "tavrimon-browse") return process.pid;  // comm keeps 15 characters
    }
    return -1;
  }
};

TEST_F(RendererFaults, KilledRendererLeavesNothingAndTheNextLaunchWithTheSameIdWorks) {
  show(http.Url("/playing"), kWidth, kHeight, 1);
  ASSERT_TRUE(frameWhere(PageSized, 40s));
  const pid_t renderer = RendererPid();
  ASSERT_GT(renderer, 0);
  const auto tree = Descendants(renderer);
  std::printf("renderer %d and its processes: %s\n", renderer, Describe(tree).c_str());
  ASSERT_GE(tree.size(), 2u);

  ASSERT_EQ(kill(renderer, SIGKILL), 0);
  ASSERT_TRUE(host.waitExit(5000));
  const auto gone = WaitAllEnded(tree, 10s);
  std::printf("renderer killed: its processes gone after %lld ms\n",
              static_cast<long long>(gone.count()));
  EXPECT_TRUE(StillRunning(tree).empty()) << "left behind: " << Describe(StillRunning(tree));

  // The host keeps its channels and launches again with the same id.
  while (host.readVideo(0) || host.readAudio(0)) {
  }  // what the dead renderer signalled last
  ASSERT_TRUE(host.launch(Browser()));
  ASSERT_TRUE(host.connect(30000));
  EXPECT_TRUE(noFrameFor(1000ms)) << "a frame before the new renderer's first Update";
  show(http.Url("/playing"), kWidth, kHeight, 1);
  EXPECT_TRUE(frameWhere(PageSized, 40s)) << "the relaunched renderer showed nothing";
  EXPECT_TRUE(host.readAudio(10000)) << "no sound from the relaunched renderer";
  host.settings.close();
  EXPECT_EQ(host.waitExit(10000), 0u);
}

TEST_F(RendererFaults, KilledWebProcessIsSurvivedAndTheNextUpdateBringsThePageBack) {
  show(http.Url("/playing"), kWidth, kHeight, 1);
  ASSERT_TRUE(frameWhere(PageSized, 40s));
  const pid_t renderer = RendererPid();
  ASSERT_GT(renderer, 0);
  // WebKit may start a further web process after the first paint; one killed before it has
  // reported to the browser process takes the browser process down inside WebKit (its
  // launcher treats that as fatal). So the page settles first, then every web process goes.
  std::this_thread::sleep_for(2000ms);
  ASSERT_TRUE(host.readVideo(5000)) << "the page stopped before the fault";
  std::vector<pid_t> web;
  for (const auto& process : Descendants(renderer)) {
    if (process.name.rfind("WebKitWebProces", 0) == 0) web.push_back(process.pid);
  }
  ASSERT_FALSE(web.empty()) << Describe(Descendants(renderer));
  std::printf("renderer's processes: %s\n", Describe(Descendants(renderer)).c_str());
  for (pid_t pid : web) ASSERT_EQ(kill(pid, SIGKILL), 0);
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(host.waitExit(0)) << "the browser process ended with its web process";
  while (host.readVideo(0)) {
  }

  const auto updated = std::chrono::steady_clock::now();
  host.settings.Update();
  int frames = 0;
  const auto deadline = updated + 40s;
  while (frames < 20 && std::chrono::steady_clock::now() < deadline) {
    auto frame = host.readVideo(500);
    if (frame && PageSized(*frame)) ++frames;
  }
  std::printf("web process killed: %d frames %lld ms after the next Update\n", frames,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - updated)
                                         .count()));
  EXPECT_EQ(frames, 20) << "frames did not flow again after Update";
  EXPECT_TRUE(host.readAudio(10000)) << "no sound after Update";
  EXPECT_TRUE(readyWithin(10s));
  host.settings.close();
  EXPECT_EQ(host.waitExit(10000), 0u);
}

}  // namespace
