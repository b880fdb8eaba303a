// Commands lost on the host link under load: bursts of the four commands of a page change
// ("setTarget", "setViewport", "setImageFormat", "Update") sent into a live tavrimon-browser
// while two processes keep both cores busy, once with each way of spacing packets:
//   pause-only   the 100 us pause after each packet and nothing more;
//   await-taken  the host SDK's sender: waits until the renderer has taken the previous packet.
//   command_burst [BURSTS [GAP_MS]]      (defaults 1000 and 30)
// Every burst carries values of its own (the URL "about:blank#N", the viewport and the format
// code), and the renderer, started with TAVRIMON_COMMAND_TRACE, records every packet it
// applies; a command of a burst missing from that record is lost. Bursts are GAP_MS apart, which
// is more than the 10 ms the renderer rests after "Update", so a loss is a loss within a burst.
// Prints one line per sender: "sender=.. bursts=.. commands_lost=.. of=.. burst_ms_median=..
// burst_ms_p99=.. bursts_per_s=.. renderer_exit=.." (bursts per second while sending, the gaps
// left out; the renderer's exit status after the "close" that ends the run, 259 if it still ran).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host_link.h"
#include "sibling_program.h"

namespace {

using Clock = std::chrono::steady_clock;

// Two processes that spin until killed.
std::vector<pid_t> StartHogs() {
  std::vector<pid_t> hogs;
  for (int i = 0; i < 2; ++i) {
    const pid_t hog = fork();
    if (hog == 0) {
      volatile unsigned long spins = 0;
      for (;;) spins = spins + 1;
    }
    if (hog > 0) hogs.push_back(hog);
  }
  return hogs;
}

struct Burst {
  std::string target;
  int width, height, format;
};

Burst BurstValues(int n) {
  return {"about:blank#" + std::to_string(n), 64 + n % 512, 48 + n / 512, n + 1};
}

struct Result {
  DWORD exitCode = 0;
  int lost = 0;
  int commands = 0;
  std::vector<double> burstMs;
};

// The commands of `bursts` bursts that the trace does not hold.
int CountLost(const std::string& tracePath, int bursts) {
  std::multiset<std::string> applied;
  int updates = 0;
  std::ifstream trace(tracePath);
  for (std::string line; std::getline(trace, line);) {
    if (line == "Update") {
      ++updates;
    } else {
      applied.insert(line);
    }
  }
  int lost = std::max(0, bursts - updates);
  for (int n = 0; n < bursts; ++n) {
    const Burst burst = BurstValues(n);
    for (const std::string& line :
         {"setTarget " + burst.target,
          "setViewport " + std::to_string(burst.width) + " " + std::to_string(burst.height),
          "setImageFormat " + std::to_string(burst.format)}) {
      if (applied.count(line) == 0) ++lost;
    }
  }
  return lost;
}

bool Run(shr_avsource::SendPacing pacing, int bursts, int gapMs, int id, Result* result) {
  const std::string tracePath = "/tmp/tavrimon-command-burst-" + std::to_string(id);
  std::filesystem::remove(tracePath);
  setenv("TAVRIMON_COMMAND_TRACE", tracePath.c_str(), 1);
  HostLink host(id);
  const bool up = host.holdInstanceMutex() && host.start() &&
                  host.launch(SiblingProgram("tavrimon-browser")) && host.connect(30000);
  unsetenv("TAVRIMON_COMMAND_TRACE");
  if (!up) return false;
  host.settings.sendPacing = pacing;

  for (int n = 0; n < bursts; ++n) {
    const Burst burst = BurstValues(n);
    const auto start = Clock::now();
    host.settings.setTarget(burst.target);
    host.settings.setViewport(burst.width, burst.height);
    host.settings.setImageFormat(burst.format);
    host.settings.Update();
    result->burstMs.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the last packets are applied
  host.settings.sendPacing = shr_avsource::SendPacing::AwaitTaken;
  host.settings.close();
  result->exitCode = host.waitExit(10000).value_or(STILL_ACTIVE);
  result->commands = 4 * bursts;
  result->lost = CountLost(tracePath, bursts);
  std::filesystem::remove(tracePath);
  return true;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * (values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const int bursts = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int gapMs = argc > 2 ? std::atoi(argv[2]) : 30;
  if (bursts <= 0 || gapMs < 0) {
    std::fprintf(stderr, "usage: command_burst [BURSTS [GAP_MS]]\n");
    return 2;
  }
  std::printf("command_burst: %d bursts of 4 commands, %d ms apart, two CPU hogs, %u cores\n",
              bursts, gapMs, std::thread::hardware_concurrency());
  const auto hogs = StartHogs();
  int status = 0;
  const int baseId = static_cast<int>(getpid()) * 4 + 8000000;
  const struct {
    const char* name;
    shr_avsource::SendPacing pacing;
  } senders[] = {{"pause-only", shr_avsource::SendPacing::PauseOnly},
                 {"await-taken", shr_avsource::SendPacing::AwaitTaken}};
  for (std::size_t i = 0; i < std::size(senders); ++i) {
    Result result;
    if (!Run(senders[i].pacing, bursts, gapMs, baseId + static_cast<int>(i), &result)) {
      std::fprintf(stderr, "command_burst: the link to the renderer did not come up\n");
      status = 1;
      break;
    }
    double sendingMs = 0;
    for (double ms : result.burstMs) sendingMs += ms;
    std::printf(
        "sender=%s bursts=%d commands_lost=%d of=%d burst_ms_median=%.3f burst_ms_p99=%.3f "
        "bursts_per_s=%.1f renderer_exit=%u\n",
        senders[i].name, bursts, result.lost, result.commands, Percentile(result.burstMs, 0.5),
        Percentile(result.burstMs, 0.99), sendingMs > 0 ? 1000.0 * bursts / sendingMs : 0.0,
        static_cast<unsigned>(result.exitCode));
    std::fflush(stdout);
  }
  for (pid_t hog : hogs) {
    kill(hog, SIGKILL);
    waitpid(hog, nullptr, 0);
  }
  return status;
}
