// Cost of a delivered frame: CPU milliseconds per OnPaint summed over the whole process tree
// (this process, WebKit's processes, the private X server) for a reference animated page at 30
// frames a second, against a minimal WebKitGTK program rendering the same page in the same run
// (webkit-floor); plus the delay from WebKit's draw to OnPaint and the tree's memory. For a
// transparent view a second floor is measured: webkit-floor reading snapshots, the least that
// gives right frames of a transparent view in WebKitGTK (ratio_to_snapshot_floor).
// The third argument is the view's background: 0 transparent (CEF's default, what browser
// sources use; such views are read with snapshots), 1 opaque (read from WebKit's view copy).
// The fourth is the page: 0 the reference page (CSS animations), 1 a canvas drawn in
// requestAnimationFrame callbacks (the floor runs its callbacks at WebKit's own pace), 2 the
// bundled demo overlay (transparent but for a lower third with a running ticker).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine_start.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "process_tree.h"
#include "reference_page.h"
#include "sibling_program.h"
#include "src/paint_delay.h"
#include "ui_task.h"

namespace {

using namespace std::chrono_literals;
constexpr int kFps = 30;
constexpr auto kWarmUp = 3s;
constexpr auto kMeasure = 6s;

// The pages measured: 0 the reference page, 1 the canvas page, 2 the bundled demo overlay (a
// lower third with a running ticker over transparency).
enum Page { kReference = 0, kCanvas = 1, kDemo = 2 };

const char* PageHtml(int page) {
  return page == kCanvas ? kCanvasPage : kReferencePage;
}

std::filesystem::path PagePath(int page) {
  return std::filesystem::temp_directory_path() /
         ("tavrimon-bench-page" + std::to_string(page) + "-" + std::to_string(getpid()) + ".html");
}

std::string PageUrl(int page) {
  if (page == kDemo) return "file://" TAVRIMON_DEMO_DIR "/index.html";
  return "file://" + PagePath(page).string();
}

class BenchApp : public CefApp {
 public:
  void OnBeforeCommandLineProcessing(const CefString& type,
                                     CefRefPtr<CefCommandLine> line) override {
    if (type.empty()) line->AppendSwitch("disable-gpu");
  }
  IMPLEMENT_REFCOUNTING(BenchApp);
};

bool EnsureEngine() {
  static const bool ok = StartEngine(new BenchApp(), BuiltModuleDir("tavrimon-webext"));
  return ok;
}

class CountingClient : public CefClient, public CefRenderHandler, public CefLifeSpanHandler {
 public:
  CountingClient(int w, int h) : w_(w), h_(h) {}
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  void GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override { rect = CefRect(0, 0, w_, h_); }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void* buffer,
               int width, int height) override {
    // Read the frame once, as a consumer would.
    checksum += static_cast<const uint8_t*>(buffer)[size_t(width) * size_t(height) * 2];
    ++frames;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override { closed = true; }
  std::atomic<long> frames{0};
  std::atomic<bool> closed{false};
  unsigned long checksum = 0;

 private:
  int w_, h_;
  IMPLEMENT_REFCOUNTING(CountingClient);
};

struct Figures {
  double cpuMsPerFrame = 0;
  double fps = 0;
  double rssMb = 0;
};

Figures MeasureEngine(int w, int h, bool opaque, int page, cef_internal::PaintDelay& delay) {
  CefRefPtr<CountingClient> client = new CountingClient(w, h);
  CefRefPtr<CefBrowser> browser;
  RunOnUi([&] {
    CefWindowInfo info;
    info.windowless_rendering_enabled = 1;
    info.width = w;
    info.height = h;
    CefBrowserSettings settings;
    settings.windowless_frame_rate = kFps;
    settings.background_color = opaque ? 0xFF000000 : 0;
    browser = CefBrowserHost::CreateBrowserSync(info, client.get(), PageUrl(page), settings,
                                                nullptr, nullptr);
  });
  Figures f;
  if (!browser) return f;
  std::this_thread::sleep_for(kWarmUp);
  cef_internal::ResetPaintDelay();
  double cpu0 = TreeCpuMs(getpid());
  long frames0 = client->frames;
  auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(kMeasure);
  double cpu1 = TreeCpuMs(getpid());
  long frames1 = client->frames;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  delay = cef_internal::GetPaintDelay();
  f.rssMb = TreeRssMb(getpid());
  long frames = frames1 - frames0;
  f.cpuMsPerFrame = frames ? (cpu1 - cpu0) / double(frames) : 0;
  f.fps = double(frames) / seconds;
  browser->GetHost()->CloseBrowser(true);
  for (int i = 0; i < 100 && !client->closed; ++i) std::this_thread::sleep_for(50ms);
  return f;
}

Figures MeasureFloor(int w, int h, bool snapshots, int page) {
  Figures f;
  std::string exe = SiblingProgram("webkit-floor");
  // Everything the child needs is made before fork (the page's URL depends on the pid).
  std::string url = PageUrl(page), ws = std::to_string(w), hs = std::to_string(h),
              fps = std::to_string(kFps);
  int fds[2];
  if (pipe(fds) != 0) return f;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    // Without snapshots the list ends one argument early.
    execl(exe.c_str(), exe.c_str(), url.c_str(), ws.c_str(), hs.c_str(), fps.c_str(),
          snapshots ? "snapshot" : nullptr, nullptr);
    _exit(127);
  }
  close(fds[1]);
  FILE* out = fdopen(fds[0], "r");
  auto frames = [&]() -> long {
    long n = -1;
    if (std::fscanf(out, "frames %ld\n", &n) != 1) return -1;
    return n;
  };
  for (int i = 0; i < int(kWarmUp / 1s); ++i) frames();
  long n0 = frames();
  double cpu0 = TreeCpuMs(pid);
  auto t0 = std::chrono::steady_clock::now();
  long n1 = n0;
  for (int i = 0; i < int(kMeasure / 1s); ++i) n1 = frames();
  double cpu1 = TreeCpuMs(pid);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  f.rssMb = TreeRssMb(pid);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  fclose(out);
  if (n0 < 0 || n1 <= n0) return f;
  f.cpuMsPerFrame = (cpu1 - cpu0) / double(n1 - n0);
  f.fps = double(n1 - n0) / seconds;
  return f;
}

void BM_FrameCost(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const bool opaque = state.range(2) != 0;
  const int page = int(state.range(3));
  if (!EnsureEngine()) {
    state.SkipWithError("the engine did not start");
    return;
  }
  Figures engine, floor, snapshotFloor;
  cef_internal::PaintDelay delay;
  if (page != kDemo) std::ofstream(PagePath(page)) << PageHtml(page);
  for (auto _ : state) {
    engine = MeasureEngine(w, h, opaque, page, delay);
    floor = MeasureFloor(w, h, false, page);
    // A transparent view's right frames need snapshots in WebKitGTK: that floor as well.
    if (!opaque) snapshotFloor = MeasureFloor(w, h, true, page);
  }
  std::filesystem::remove(PagePath(page));
  state.counters["engine_cpu_ms_per_frame"] = engine.cpuMsPerFrame;
  state.counters["floor_cpu_ms_per_frame"] = floor.cpuMsPerFrame;
  state.counters["ratio"] =
      floor.cpuMsPerFrame > 0 ? engine.cpuMsPerFrame / floor.cpuMsPerFrame : 0;
  if (!opaque) {
    state.counters["snapshot_floor_cpu_ms_per_frame"] = snapshotFloor.cpuMsPerFrame;
    state.counters["snapshot_floor_fps"] = snapshotFloor.fps;
    state.counters["ratio_to_snapshot_floor"] =
        snapshotFloor.cpuMsPerFrame > 0 ? engine.cpuMsPerFrame / snapshotFloor.cpuMsPerFrame : 0;
  }
  state.counters["engine_fps"] = engine.fps;
  state.counters["floor_fps"] = floor.fps;
  state.counters["draw_to_onpaint_mean_ms"] = delay.meanMs;
  state.counters["draw_to_onpaint_max_ms"] = delay.maxMs;
  state.counters["last_draw_to_onpaint_mean_ms"] = delay.lastMeanMs;
  state.counters["engine_tree_rss_mb"] = engine.rssMb;
  state.counters["floor_tree_rss_mb"] = floor.rssMb;
}

// Width, height, opaque, page (0 the reference page, 1 the canvas page).
BENCHMARK(BM_FrameCost)
    ->Args({1280, 720, 0, 0})
    ->Args({1920, 1080, 0, 0})
    ->Args({1280, 720, 1, 0})
    ->Args({1920, 1080, 1, 0})
    ->Args({1280, 720, 1, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({1280, 720, 0, 2})
    ->Args({1920, 1080, 0, 2})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
