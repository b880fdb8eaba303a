// Cost of the converters per unit of work: one 1920x1080 BGRA frame to BGR24, set against a
// plain memcpy of the same frame in the same run, and one 10 ms audio packet.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "client/conv_a.h"
#include "client/conv_v.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = 4ull * kWidth * kHeight;

std::vector<uint8_t> RandomFrame() {
  std::vector<uint8_t> frame(kFrameBytes);
  std::mt19937 random(42);
  for (uint8_t& byte : frame) {
    byte = static_cast<uint8_t>(random());
  }
  return frame;
}

void BM_ConvertBgraToBgr24_1080p(benchmark::State& state) {
  const std::vector<uint8_t> frame = RandomFrame();
  conv_v converter;
  converter.Build(kWidth, kHeight);
  if (!converter.initialized) {
    state.SkipWithError("converter could not be built");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.Convert(frame.data(), kWidth, kHeight));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_ConvertBgraToBgr24_1080p)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MemcpyBgra_1080p(benchmark::State& state) {
  const std::vector<uint8_t> frame = RandomFrame();
  std::vector<uint8_t> copy(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), frame.data(), kFrameBytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_MemcpyBgra_1080p)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One packet of 10 ms at `rate` (argument), stereo, a sine on both planes.
void BM_ConvertAudioPacket10ms(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int frames = rate / 100;
  // One second of sound, cycled through so that the resampler sees a real signal.
  std::vector<float> plane(static_cast<size_t>(rate));
  for (size_t i = 0; i < plane.size(); ++i) {
    plane[i] = static_cast<float>(
        0.5 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / rate));
  }
  conv_a converter(rate, 2);
  if (!converter.IsUsable()) {
    state.SkipWithError("converter could not be made");
    return;
  }
  size_t offset = 0;
  for (auto _ : state) {
    const float* planes[2] = {plane.data() + offset, plane.data() + offset};
    benchmark::DoNotOptimize(converter.Convert(planes, frames));
    offset = (offset + static_cast<size_t>(frames)) % (plane.size() - static_cast<size_t>(frames));
  }
}
BENCHMARK(BM_ConvertAudioPacket10ms)->Arg(48000)->Arg(44100)->Unit(benchmark::kMicrosecond);

// Prints the usual table (without colour, for logs) and keeps the real time per iteration of
// each benchmark, averaged over repetitions, so that the conversion can be set against the
// copy measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) {
          name += "/" + run.run_name.args;
        }
        Total& total = totals_[name];
        total.seconds += run.real_accumulated_time;
        total.iterations += static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Real seconds per iteration, or a negative value when the benchmark did not run.
  double SecondsPerIteration(const std::string& name) const {
    const auto found = totals_.find(name);
    return found == totals_.end() ? -1 : found->second.seconds / found->second.iterations;
  }

 private:
  struct Total {
    double seconds = 0;
    double iterations = 0;
  };
  std::map<std::string, Total> totals_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double convert = reporter.SecondsPerIteration("BM_ConvertBgraToBgr24_1080p");
  const double copy = reporter.SecondsPerIteration("BM_MemcpyBgra_1080p");
  if (convert > 0 && copy > 0) {
    std::printf(
        "\nBGRA to BGR24, 1920x1080: %.0f ns per frame; memcpy of the same %zu bytes: "
        "%.0f ns; ratio %.2f\n",
        convert * 1e9, kFrameBytes, copy * 1e9, convert / copy);
  }
  for (const char* name : {"BM_ConvertAudioPacket10ms/48000", "BM_ConvertAudioPacket10ms/44100"}) {
    const double packet = reporter.SecondsPerIteration(name);
    if (packet > 0) {
      std::printf("%s: %.2f us per 10 ms packet\n", name, packet * 1e6);
    }
  }
  return 0;
}
