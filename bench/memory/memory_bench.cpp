// What one source costs in memory: tavrimon-browser showing a page for a host that reads every
// frame, then the proportional set size (PSS, from /proc/PID/smaps_rollup) of every process of
// the renderer's tree, by kind. Pages: a still page, and the benchmarks' animated reference
// page; sizes 1280x720 and 1920x1080.
//   memory_bench [SETTLE_S]      (default 10: seconds between the first frame and the reading)
// One line per page and size: "page=.. size=WxH browser_mb=.. xvfb_mb=.. web_mb=.. (N)
// network_mb=.. (N) other_mb=.. total_mb=.. fps=.." (N: how many processes of that kind;
// fps: frames the host read per second while settling). MB are 10^6 bytes.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host_link.h"
#include "process_tree.h"
#include "reference_page.h"
#include "sibling_program.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kStillPage[] = R"(<!doctype html><meta charset=utf-8>
<style>html,body{margin:0;height:100%;font:32px sans-serif;color:#fff;
  background:linear-gradient(135deg,#203a43,#2c5364)}
h1{margin:0;padding:60px}p{padding:0 60px}</style>
<h1>A still page</h1><p>Text and a gradient that do not change once the page has loaded.</p>
)";

std::string WritePage(const std::string& name, const char* html) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tavrimon-memory-" + name + "-" + std::to_string(getpid()) + ".html");
  std::ofstream(path) << html;
  return path.string();
}

double PssMb(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long long kb = 0;
  while (rollup >> key) {
    if (key == "Pss:" && rollup >> kb) return kb * 1024.0 / 1e6;
    rollup.ignore(1 << 20, '\n');
  }
  return 0;
}

std::string Comm(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

struct Kind {
  const char* label;
  const char* commPrefix;  // empty: everything not matched before
  double mb = 0;
  int count = 0;
};

bool Measure(const std::string& pageName, const std::string& file, int width, int height,
             int settleS, int id) {
  HostLink host(id);
  if (!host.holdInstanceMutex() || !host.start() ||
      !host.launch(SiblingProgram("tavrimon-browser")) || !host.connect(30000)) {
    std::fprintf(stderr, "memory_bench: the link did not come up\n");
    return false;
  }
  host.settings.setImageFormat(1);
  host.settings.setViewport(width, height);
  host.settings.setTarget("file://" + file);
  host.settings.Update();
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 4;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  bool shown = false;
  while (!shown && Clock::now() < deadline) {
    auto frame = host.readVideo(500);
    shown = frame && frame->size() == frameBytes;
  }
  if (!shown) {
    std::fprintf(stderr, "memory_bench: no frame of %s at %dx%d\n", pageName.c_str(), width,
                 height);
    return false;
  }
  std::atomic<long long> frames{0};
  std::atomic<bool> reading{true};
  std::thread reader([&] {
    while (reading) {
      if (host.readVideo(100)) ++frames;
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(settleS));

  Kind kinds[] = {{"browser", "tavrimon-browse"},
                  {"xvfb", "Xvfb"},
                  {"web", "WebKitWebProces"},
                  {"network", "WebKitNetworkP"},
                  {"other", ""}};
  double total = 0;
  const auto tree = ProcessTree(getpid());
  for (std::size_t i = 1; i < tree.size(); ++i) {  // every process but this host
    const std::string name = Comm(tree[i]);
    for (Kind& kind : kinds) {
      if (*kind.commPrefix == '\0' || name.rfind(kind.commPrefix, 0) == 0) {
        const double mb = PssMb(tree[i]);
        kind.mb += mb;
        ++kind.count;
        total += mb;
        break;
      }
    }
  }
  reading = false;
  reader.join();
  std::printf(
      "page=%s size=%dx%d browser_mb=%.1f xvfb_mb=%.1f web_mb=%.1f (%d) network_mb=%.1f (%d) "
      "other_mb=%.1f (%d) total_mb=%.1f fps=%.1f\n",
      pageName.c_str(), width, height, kinds[0].mb, kinds[1].mb, kinds[2].mb, kinds[2].count,
      kinds[3].mb, kinds[3].count, kinds[4].mb, kinds[4].count, total,
      static_cast<double>(frames) / settleS);
  std::fflush(stdout);
  host.settings.close();
  host.waitExit(10000);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int settleS = argc > 1 ? std::atoi(argv[1]) : 10;
  if (settleS <= 0) {
    std::fprintf(stderr, "usage: memory_bench [SETTLE_S]\n");
    return 2;
  }
  const std::string still = WritePage("still", kStillPage);
  const std::string animated = WritePage("animated", kReferencePage);
  int id = static_cast<int>(getpid()) * 8 + 6000000;
  bool ok = true;
  for (const auto& [name, file] :
       {std::pair{std::string("still"), still}, std::pair{std::string("animated"), animated}}) {
    for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
      ok = Measure(name, file, width, height, settleS, ++id) && ok;
    }
  }
  std::filesystem::remove(still);
  std::filesystem::remove(animated);
  return ok ? 0 : 1;
}
