// The product as a host sees it: pages rendered by tavrimon-browser arrive in the host's
// channels, and every command does what it says.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "command_packet.h"
#include "moving_pages.h"
#include "product_fixture.h"

using namespace std::chrono_literals;

namespace {

const char* kColourBlocks = R"html(<!doctype html><style>
html, body { margin: 0; overflow: hidden; }
div { position: absolute; top: 0; width: 100px; height: 100px; }
</style>
<div style="left: 0; background: rgb(18, 52, 86)"></div>
<div style="left: 100px; background: rgb(250, 128, 1)"></div>)html";

const char* kTransparent = R"html(<!doctype html><style>
html, body { margin: 0; background: transparent; }
</style><div style="width: 50px; height: 50px; background: rgba(0, 0, 255, 0.5)"></div>)html";

// Plays a 440 Hz sine at half scale for exactly one second.
const char* kTone = R"html(<!doctype html><style>html, body { margin: 0; }</style>
<script>
const ctx = new AudioContext();
const osc = ctx.createOscillator();
const gain = ctx.createGain();
osc.frequency.value = 440;
gain.gain.value = 0.5;
osc.connect(gain).connect(ctx.destination);
ctx.resume().then(() => { const t = ctx.currentTime + 0.3; osc.start(t); osc.stop(t + 1.0); });
</script>)html";

// 60 px of red, then blue, far down. (WebKit moves a small view by less than a large wheel
// delta asks for, so the red band is kept shorter than one step.)
const char* kLongPage = R"html(<!doctype html><style>html, body { margin: 0; }</style>
<div style="height: 60px; background: rgb(255, 0, 0)"></div>
<div style="height: 5000px; background: rgb(0, 0, 255)"></div>)html";

// Green once the renderer has told the page it is visible (the told state is an own property
// of the document) and the script bridge is there; red until then.
const char* kToldVisible = R"html(<!doctype html><style>html, body { margin: 0; }</style>
<script>
function paint() {
  const told = Object.getOwnPropertyDescriptor(document, "hidden") !== undefined;
  const ok = told && document.hidden === false && document.visibilityState === "visible" &&
             window.tavrimon !== undefined && window.tavrimon.pluginVersion === "Tavrimon";
  document.body.style.background = ok ? "rgb(0, 255, 0)" : "rgb(255, 0, 0)";
  requestAnimationFrame(paint);
}
requestAnimationFrame(paint);
</script>)html";

Frame ExpectedBlocks(int format) {
  const int bytes = format == 0 ? 3 : 4;
  Frame frame(static_cast<std::size_t>(200) * 100 * bytes);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) {
      std::uint8_t* px = &frame[(static_cast<std::size_t>(y) * 200 + x) * bytes];
      const bool left = x < 100;
      px[0] = left ? 86 : 1;  // B
      px[1] = left ? 52 : 128;
      px[2] = left ? 18 : 250;
      if (bytes == 4) px[3] = 255;
    }
  }
  return frame;
}

class ProductFormats : public Product, public ::testing::WithParamInterface<int> {};

TEST_P(ProductFormats, NothingBeforeUpdateThenTheExactPixels) {
  const int format = GetParam();
  http.Serve("/blocks", kColourBlocks);
  host.settings.setTarget(http.Url("/blocks"));
  EXPECT_TRUE(noFrameFor(1500ms)) << "a frame arrived before the first Update";

  show(http.Url("/blocks"), 200, 100, format);
  const Frame expected = ExpectedBlocks(format);
  auto frame = frameWhere([&](const Frame& f) { return f == expected; }, 20s);
  ASSERT_TRUE(frame) << "the page's colours did not arrive exactly; last frame had "
                     << lastFrame.size() << " bytes, expected " << expected.size();
}

INSTANTIATE_TEST_SUITE_P(Formats, ProductFormats, ::testing::Values(0, 1, 5),
                         [](const auto& info) { return "format" + std::to_string(info.param); });

TEST_F(Product, ATransparentPageArrivesWithAlphaZero) {
  http.Serve("/transparent", kTransparent);
  show(http.Url("/transparent"), 160, 120, 1);
  auto frame = frameWhere(
      [](const Frame& f) { return f.size() == 160u * 120 * 4 && PixelAt(f, 160, 10, 10).a != 0; },
      20s);
  ASSERT_TRUE(frame);
  const Bgra square = PixelAt(*frame, 160, 10, 10);
  EXPECT_EQ(square.b, 128);  // half-transparent blue, premultiplied
  EXPECT_EQ(square.a, 128);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      if (x < 50 && y < 50) continue;
      ASSERT_EQ(PixelAt(*frame, 160, x, y).a, 0) << "at " << x << "," << y;
    }
  }
}

TEST_F(Product, ANewPageIsToldItIsVisibleAndHasTheScriptBridge) {
  http.Serve("/told", kToldVisible);
  show(http.Url("/told"), 64, 64, 1);
  const auto green = [](const Frame& f) {
    const Bgra px = PixelAt(f, 64, 5, 5);
    return f.size() == 64u * 64 * 4 && px.g == 255 && px.r == 0;
  };
  EXPECT_TRUE(frameWhere(green, 20s)) << "the page never saw itself told visible";
  // Every Update makes a new page, which is told again.
  host.settings.Update();
  while (host.readVideo(0)) {
  }
  EXPECT_TRUE(frameWhere(green, 20s));
}

TEST_F(Product, PauseStopsFramesAndSoundAndResumeBringsThemBack) {
  http.Serve("/endless", kPlayingPage);
  show(http.Url("/endless"), 160, 120, 1);
  ASSERT_TRUE(frameWhere([](const Frame& f) { return f.size() == 160u * 120 * 4; }, 20s));
  ASSERT_TRUE(host.readAudio(10000)) << "no sound before pausing";

  host.settings.pause();
  std::this_thread::sleep_for(300ms);
  while (host.readVideo(0) || host.readAudio(0)) {
  }  // what was signalled before the pause
  EXPECT_FALSE(host.readVideo(1000)) << "a frame arrived while paused";
  EXPECT_FALSE(host.readAudio(200)) << "sound arrived while paused";

  host.settings.resume();
  EXPECT_TRUE(host.readVideo(5000)) << "no frame after resume";
  EXPECT_TRUE(host.readAudio(5000)) << "no sound after resume";
}

TEST_F(Product, TheViewportChangesOnlyWithUpdate) {
  http.Serve("/animated", kAnimatedPage);
  show(http.Url("/animated"), 160, 120, 1);
  ASSERT_TRUE(frameWhere([](const Frame& f) { return f.size() == 160u * 120 * 4; }, 20s));

  host.settings.setViewport(320, 240);
  for (int i = 0; i < 20; ++i) {
    auto frame = host.readVideo(2000);
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 160u * 120 * 4) << "the size changed without Update";
  }
  host.settings.Update();
  EXPECT_TRUE(frameWhere([](const Frame& f) { return f.size() == 320u * 240 * 4; }, 20s));
}

TEST_F(Product, ScrollingMovesALongPageAndZeroDoesNothing) {
  http.Serve("/long", kLongPage);
  show(http.Url("/long"), 160, 120, 1);
  const auto red = [](const Frame& f) {
    return f.size() == 160u * 120 * 4 && PixelAt(f, 160, 10, 10).r == 255;
  };
  ASSERT_TRUE(frameWhere(red, 20s));
  ASSERT_TRUE(readyWithin(10s));  // loaded: scrolling is accepted from now on
  while (host.readVideo(300)) {
  }

  host.settings.setScrollPosition(0, 0);
  EXPECT_TRUE(noFrameFor(1000ms)) << "a zero scroll changed the page";

  host.settings.setScrollPosition(-400, 0);  // negative: down the page
  auto frame = frameWhere([](const Frame& f) { return PixelAt(f, 160, 10, 10).b == 255; }, 10s);
  ASSERT_TRUE(frame) << "the page never showed other content";
  EXPECT_EQ(PixelAt(*frame, 160, 10, 10).r, 0);
}

TEST_F(Product, ReadyAfterA200LoadNotAfterA404) {
  http.Serve("/missing", kLongPage, "text/html", 404);
  http.Serve("/found", kColourBlocks);
  EXPECT_FALSE(host.settings.isReady());

  show(http.Url("/missing"), 160, 120, 1);
  ASSERT_TRUE(frameWhere([](const Frame& f) { return PixelAt(f, 160, 10, 10).r == 255; }, 20s));
  // The 404 page did load: scrolling, which needs a loaded page, works.
  host.settings.setScrollPosition(-400, 0);
  EXPECT_TRUE(frameWhere([](const Frame& f) { return PixelAt(f, 160, 10, 10).b == 255; }, 10s));
  EXPECT_FALSE(host.settings.isReady()) << "a 404 load made the page ready";

  show(http.Url("/found"), 200, 100, 1);
  EXPECT_TRUE(readyWithin(20s));
}

// Collects audio blocks on a thread of its own, so no block is missed while the test waits.
class AudioCollector {
 public:
  explicit AudioCollector(HostLink& host)
      : thread_([this, &host] {
          while (!stop_) {
            auto block = host.readAudio(100);
            if (!block) continue;
            std::lock_guard<std::mutex> guard(lock_);
            bytes_.insert(bytes_.end(), block->begin(), block->end());
            ++blocks_;
          }
        }) {}
  ~AudioCollector() { stopNow(); }
  void stopNow() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::int16_t> samples() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::int16_t> out(bytes_.size() / 2);
    std::memcpy(out.data(), bytes_.data(), out.size() * 2);
    return out;
  }
  int blocks() {
    std::lock_guard<std::mutex> guard(lock_);
    return blocks_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  Frame bytes_;
  int blocks_ = 0;
  std::thread thread_;
};

TEST_F(Product, AToneArrivesWholeAs44100HzStereo) {
  http.Serve("/tone", kTone);
  AudioCollector audio(host);
  show(http.Url("/tone"), 160, 120, 1);
  std::this_thread::sleep_for(6s);
  audio.stopNow();

  const auto samples = audio.samples();
  ASSERT_GT(audio.blocks(), 0);
  ASSERT_EQ(samples.size() % 2, 0u) << "blocks must hold whole stereo frames";
  // The sounding part: from the first to the last sample clearly above silence.
  std::size_t first = samples.size();
  std::size_t last = 0;
  for (std::size_t i = 0; i < samples.size(); i += 2) {
    if (std::abs(samples[i]) > 300) {
      if (first == samples.size()) first = i;
      last = i;
    }
  }
  ASSERT_LT(first, samples.size()) << "only silence arrived";
  const double frames = static_cast<double>(last - first) / 2 + 1;
  // One second of tone: no sample missing at its start, no gap inside (a lost block would
  // shorten it by at least 128 frames; the edges of the sine add a few frames of slack).
  EXPECT_NEAR(frames, 44100, 60) << "the tone arrived " << frames << " frames long";

  int crossings = 0;
  int peak = 0;
  int sidesDiffer = 0;
  for (std::size_t i = first; i + 2 <= last; i += 2) {
    if ((samples[i] < 0) != (samples[i + 2] < 0)) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    if (std::abs(samples[i] - samples[i + 1]) > 2) ++sidesDiffer;
  }
  const double frequency = crossings / 2.0 / (frames / 44100.0);
  EXPECT_NEAR(frequency, 440, 440 * 0.01);
  EXPECT_NEAR(peak, 16384, 16384 * 0.03);  // half of full scale
  EXPECT_EQ(sidesDiffer, 0) << "left and right should carry the same tone";
}

}  // namespace
