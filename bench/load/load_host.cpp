// One host of the load and soak runs: starts tavrimon-browser, shows a page and for a while reads
// every frame and audio block, then prints its figures:
//   load_host BROWSER ID URL WIDTH HEIGHT SECONDS [INTERVAL_S [TONE_HZ]]
// Summary line: "id=.. frames=.. fps=.. max_frame_gap_ms=.. audio_s=.. wall_s=..
//   max_audio_gap_ms=.. audio_breaks=.. audio_blocks_written=.. audio_blocks_read=..
//   paint_to_host_median_ms=.. paint_to_host_p99_ms=..
//   paint_to_host_max_ms=.. paint_matched=.. frame_write_median_ms=..
//   signal_to_host_median_ms=.. tree_cpu_s=.. cpu_per_frame_ms=.."
// With INTERVAL_S > 0, one "interval t_s=.. .." line per INTERVAL_S seconds follows, so a long
// run shows whether frame rate, frame gaps or the paint-to-host delay drift.
//
// Paint to host: the renderer is started with TAVRIMON_LINK_TRACE, so it records when each
// frame entered OnPaint and when it was signalled (and each audio block); a frame the host sees
// is matched to the last frame signalled before the host's wait returned.
// Audio breaks: the page plays a steady sine of TONE_HZ (0 for a silent page; default 437 Hz: a run
// of fewer than 100 lost 10 ms blocks never spans whole periods, so it always shifts the phase);
// every sample of the left channel is checked against the sine recurrence x[n+1] = 2cos(w)x[n] -
// x[n-1], and each place where it fails is one break (a lost, repeated or torn block). The
// host-instance mutex is taken here, beside any other host of the machine.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
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

// Gives the calling thread the nice value LOAD_HOST_READER_NICE asks for, if any.
void ApplyReaderNice() {
  const char* nice = std::getenv("LOAD_HOST_READER_NICE");
  if (nice == nullptr || *nice == '\0') return;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), std::atoi(nice)) != 0) {
    std::perror("load_host: LOAD_HOST_READER_NICE");
  }
}

// The renderer is this host's only child.
pid_t Renderer() {
  const auto tree = ProcessTree(getpid());
  return tree.size() > 1 ? tree[1] : -1;
}

// One block the renderer wrote, from its link record.
struct TracedBlock {
  long long enteredNs;
  long long signalledNs;
};

struct LinkRecord {
  std::vector<TracedBlock> frames;
  std::vector<TracedBlock> audio;
};

LinkRecord ReadLinkRecord(const std::string& path) {
  LinkRecord record;
  std::ifstream in(path);
  char kind = 0;
  TracedBlock b{};
  while (in >> kind >> b.enteredNs >> b.signalledNs) {
    (kind == 'V' ? record.frames : record.audio).push_back(b);
  }
  for (auto* blocks : {&record.frames, &record.audio}) {
    std::sort(blocks->begin(), blocks->end(), [](const TracedBlock& a, const TracedBlock& b) {
      return a.signalledNs < b.signalledNs;
    });
  }
  return record;
}

long long Ns(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// The traced frame a host saw at `seen`: the last one signalled before; null when none was.
const TracedBlock* FrameSeenAt(const std::vector<TracedBlock>& paints, Clock::time_point seen) {
  const long long t = Ns(seen);
  auto after =
      std::upper_bound(paints.begin(), paints.end(), t,
                       [](long long v, const TracedBlock& p) { return v < p.signalledNs; });
  return after == paints.begin() ? nullptr : &*std::prev(after);
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

// Follows the left channel of 16-bit stereo blocks and counts where the sine breaks.
class ToneContinuity {
 public:
  explicit ToneContinuity(double toneHz)
      : twoCos_(2 * std::cos(2 * std::numbers::pi * toneHz / 44100.0)) {}

  // The number of breaks found in this block.
  int Feed(const std::vector<std::uint8_t>& block) {
    int breaks = 0;
    const std::size_t frames = block.size() / 4;
    for (std::size_t i = 0; i < frames; ++i) {
      const double x = static_cast<std::int16_t>(block[i * 4] | (block[i * 4 + 1] << 8));
      amplitude_ = std::max(amplitude_, std::fabs(x));
      if (seen_ >= 2 && amplitude_ >= 1000) {
        const double predicted = twoCos_ * x1_ - x0_;
        // A clean sine through the resampler stays within a few steps of the prediction.
        if (std::fabs(predicted - x) > 0.05 * amplitude_) ++breaks;
      }
      x0_ = x1_;
      x1_ = x;
      ++seen_;
    }
    return breaks;
  }

 private:
  double twoCos_;
  double amplitude_ = 0;
  double x0_ = 0;
  double x1_ = 0;
  long long seen_ = 0;
};

struct AudioArrival {
  Clock::time_point at;
  std::size_t bytes;
  int breaks;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7 || argc > 9) {
    std::fprintf(stderr,
                 "usage: load_host BROWSER ID URL WIDTH HEIGHT SECONDS [INTERVAL_S [TONE_HZ]]\n");
    return 2;
  }
  const int id = std::atoi(argv[2]);
  const int width = std::atoi(argv[4]);
  const int height = std::atoi(argv[5]);
  const double seconds = std::atof(argv[6]);
  const double interval = argc > 7 ? std::atof(argv[7]) : 0;
  const double toneHz = argc > 8 ? std::atof(argv[8]) : 437;
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 4;

  char tracePath[] = "/tmp/tavrimon-link-trace-XXXXXX";
  const int traceFd = mkstemp(tracePath);
  if (traceFd < 0) {
    std::perror("load_host: link record file");
    return 1;
  }
  close(traceFd);
  setenv("TAVRIMON_LINK_TRACE", tracePath, 1);
  struct RemoveTrace {
    const char* path;
    ~RemoveTrace() { unlink(path); }
  } removeTrace{tracePath};

  HostLink host(id);
  if (!host.holdInstanceMutex() || !host.start() || !host.launch(argv[1]) || !host.connect(30000)) {
    std::fprintf(stderr, "load_host %d: the link did not come up\n", id);
    return 1;
  }
  host.settings.setImageFormat(1);
  host.settings.setViewport(width, height);
  host.settings.setTarget(argv[3]);
  host.settings.Update();

  // Warm-up: the page is up and sounding.
  const auto warmDeadline = Clock::now() + std::chrono::seconds(60);
  bool sized = false;
  while (!sized && Clock::now() < warmDeadline) {
    auto frame = host.readVideo(500);
    sized = frame && frame->size() == frameBytes;
  }
  if (!sized || (toneHz > 0 && !host.readAudio(20000))) {
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

  std::vector<AudioArrival> audioArrivals;
  audioArrivals.reserve(static_cast<std::size_t>(seconds * 120) + 1000);
  std::thread audio([&] {
    ApplyReaderNice();
    ToneContinuity tone(toneHz);
    while (Clock::now() < end) {
      HostLink::SignalTime seen;
      auto block = host.readAudio(200, &seen);
      if (block) audioArrivals.push_back({seen, block->size(), tone.Feed(*block)});
    }
  });

  ApplyReaderNice();
  std::vector<Clock::time_point> frameSeen;
  frameSeen.reserve(static_cast<std::size_t>(seconds * 70) + 1000);
  while (Clock::now() < end) {
    HostLink::SignalTime seen;
    auto frame = host.readVideo(200, &seen);
    if (frame && frame->size() == frameBytes) frameSeen.push_back(seen);
  }
  audio.join();
  const double wall = Ms(Clock::now() - start) / 1000.0;
  const double cpu = (TreeCpuMs(renderer) - cpuBefore) / 1000.0;
  host.settings.close();
  host.waitExit(10000);

  // Figures over a span of the run; the whole run is one span.
  const LinkRecord record = ReadLinkRecord(tracePath);
  struct Span {
    long long frames = 0;
    double maxFrameGap = 0;
    std::vector<double> paintToHost;
    std::vector<double> writing;       // OnPaint until signalled: the renderer's copy
    std::vector<double> signalToHost;  // signalled until the host's wait returned
    double audioSeconds = 0;
    double maxAudioGap = 0;
    int audioBreaks = 0;
    int audioWritten = 0;
    int audioRead = 0;
  };
  auto measure = [&](Clock::time_point from, Clock::time_point to) {
    Span s;
    for (std::size_t i = 0; i < frameSeen.size(); ++i) {
      if (frameSeen[i] < from || frameSeen[i] >= to) continue;
      ++s.frames;
      if (i > 0) s.maxFrameGap = std::max(s.maxFrameGap, Ms(frameSeen[i] - frameSeen[i - 1]));
      if (const TracedBlock* paint = FrameSeenAt(record.frames, frameSeen[i])) {
        const double seenNs = static_cast<double>(Ns(frameSeen[i]));
        s.paintToHost.push_back((seenNs - static_cast<double>(paint->enteredNs)) / 1e6);
        s.writing.push_back(static_cast<double>(paint->signalledNs - paint->enteredNs) / 1e6);
        s.signalToHost.push_back((seenNs - static_cast<double>(paint->signalledNs)) / 1e6);
      }
    }
    for (std::size_t i = 0; i < audioArrivals.size(); ++i) {
      const AudioArrival& a = audioArrivals[i];
      if (a.at < from || a.at >= to) continue;
      ++s.audioRead;
      s.audioSeconds += static_cast<double>(a.bytes) / (44100.0 * 4);
      s.audioBreaks += a.breaks;
      const auto previous = i > 0 ? audioArrivals[i - 1].at : start;
      s.maxAudioGap = std::max(s.maxAudioGap, Ms(a.at - previous));
    }
    const long long fromNs = Ns(from);
    const long long toNs = to == Clock::time_point::max() ? Ns(end) : Ns(to);
    for (const TracedBlock& b : record.audio) {
      s.audioWritten += b.signalledNs >= fromNs && b.signalledNs < toNs ? 1 : 0;
    }
    return s;
  };

  const Span all = measure(start, Clock::time_point::max());
  std::printf(
      "id=%d frames=%lld fps=%.2f max_frame_gap_ms=%.1f audio_s=%.3f wall_s=%.3f "
      "max_audio_gap_ms=%.1f audio_breaks=%d audio_blocks_written=%d audio_blocks_read=%d "
      "paint_to_host_median_ms=%.3f "
      "paint_to_host_p99_ms=%.3f paint_to_host_max_ms=%.3f paint_matched=%zu "
      "frame_write_median_ms=%.3f signal_to_host_median_ms=%.3f tree_cpu_s=%.2f "
      "cpu_per_frame_ms=%.2f\n",
      id, all.frames, static_cast<double>(all.frames) / wall, all.maxFrameGap, all.audioSeconds,
      wall, all.maxAudioGap, all.audioBreaks, all.audioWritten, all.audioRead,
      Quantile(all.paintToHost, 0.5), Quantile(all.paintToHost, 0.99),
      Quantile(all.paintToHost, 1.0), all.paintToHost.size(), Quantile(all.writing, 0.5),
      Quantile(all.signalToHost, 0.5), cpu,
      all.frames > 0 ? cpu * 1000.0 / static_cast<double>(all.frames) : 0.0);

  if (interval > 0) {
    const auto step =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
    for (auto from = start; from < end; from += step) {
      const auto to = std::min(from + step, end);
      const double spanSeconds = Ms(to - from) / 1000.0;
      if (spanSeconds < interval / 2) break;  // a last sliver says little
      const Span s = measure(from, to);
      std::printf(
          "interval t_s=%.0f fps=%.2f max_frame_gap_ms=%.1f paint_to_host_median_ms=%.3f "
          "paint_to_host_max_ms=%.3f audio_s=%.3f of %.3f max_audio_gap_ms=%.1f "
          "audio_breaks=%d audio_blocks_written=%d audio_blocks_read=%d\n",
          Ms(from - start) / 1000.0, static_cast<double>(s.frames) / spanSeconds, s.maxFrameGap,
          Quantile(s.paintToHost, 0.5), Quantile(s.paintToHost, 1.0), s.audioSeconds, spanSeconds,
          s.maxAudioGap, s.audioBreaks, s.audioWritten, s.audioRead);
    }
  }
  std::fflush(stdout);
  return 0;
}
