// One host of the load run: starts tavrimon-browser, shows a page and for a while reads every
// frame and audio block, then prints one line of figures:
//   load_host BROWSER ID URL WIDTH HEIGHT SECONDS
// Output: "id=.. frames=.. fps=.. max_frame_gap_ms=.. audio_s=.. wall_s=.. max_audio_gap_ms=..
//          tree_cpu_s=.. cpu_per_frame_ms=.."
// The host-instance mutex is taken here; run it inside a network namespace of its own (see
// run_load.sh) so that other hosts on the machine cannot end its renderer.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host_link.h"
#include "process_tree.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The renderer is this host's only child.
pid_t Renderer() {
  const auto tree = ProcessTree(getpid());
  return tree.size() > 1 ? tree[1] : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: load_host BROWSER ID URL WIDTH HEIGHT SECONDS\n");
    return 2;
  }
  const int id = std::atoi(argv[2]);
  const int width = std::atoi(argv[4]);
  const int height = std::atoi(argv[5]);
  const double seconds = std::atof(argv[6]);
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 4;

  HostLink host(id);
  if (!host.holdInstanceMutex() || !host.start() || !host.launch(argv[1]) || !host.connect(30000)) {
    std::fprintf(stderr, "load_host %d: the link did not come up\n", id);
    return 1;
  }
  auto spaced = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
  host.settings.setImageFormat(1);
  spaced();
  host.settings.setViewport(width, height);
  spaced();
  host.settings.setTarget(argv[3]);
  spaced();
  host.settings.Update();

  // Warm-up: the page is up and sounding.
  const auto warmDeadline = Clock::now() + std::chrono::seconds(60);
  bool sized = false;
  while (!sized && Clock::now() < warmDeadline) {
    auto frame = host.readVideo(500);
    sized = frame && frame->size() == frameBytes;
  }
  if (!sized || !host.readAudio(20000)) {
    std::fprintf(stderr, "load_host %d: no page or no sound\n", id);
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  while (host.readVideo(0) || host.readAudio(0)) {
  }

  const pid_t renderer = Renderer();
  const double cpuBefore = TreeCpuMs(renderer);
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));

  std::atomic<long long> audioBytes{0};
  double maxAudioGap = 0;
  std::thread audio([&] {
    auto last = Clock::now();
    while (Clock::now() < end) {
      auto block = host.readAudio(200);
      const auto now = Clock::now();
      if (!block) continue;
      maxAudioGap = std::max(maxAudioGap, Ms(now - last));
      last = now;
      audioBytes += static_cast<long long>(block->size());
    }
  });

  long long frames = 0;
  double maxFrameGap = 0;
  auto last = Clock::now();
  while (Clock::now() < end) {
    auto frame = host.readVideo(200);
    const auto now = Clock::now();
    if (!frame || frame->size() != frameBytes) continue;
    maxFrameGap = std::max(maxFrameGap, Ms(now - last));
    last = now;
    ++frames;
  }
  audio.join();
  const double wall = Ms(Clock::now() - start) / 1000.0;
  const double cpu = (TreeCpuMs(renderer) - cpuBefore) / 1000.0;

  std::printf(
      "id=%d frames=%lld fps=%.2f max_frame_gap_ms=%.1f audio_s=%.3f wall_s=%.3f "
      "max_audio_gap_ms=%.1f tree_cpu_s=%.2f cpu_per_frame_ms=%.2f\n",
      id, frames, frames / wall, maxFrameGap, audioBytes / (44100.0 * 4), wall, maxAudioGap, cpu,
      frames > 0 ? cpu * 1000.0 / static_cast<double>(frames) : 0.0);
  std::fflush(stdout);
  host.settings.close();
  host.waitExit(10000);
  return 0;
}
