// Input a host or a page may get wrong: odd URLs, odd viewports, pages that open dialogs, nest
// many frames, churn audio streams or eat memory. Each case starts on a working page, applies
// the bad input, checks what it can of the outcome, and then the renderer must still answer
// "isReady", show a good page again and end with exit code 0 on "close".
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "closed_port.h"
#include "command_packet.h"
#include "moving_pages.h"
#include "process_tree.h"
#include "product_fixture.h"

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kVideoDataArea = 0x900000;  // the video channel's bytes after its count
constexpr int kWidth = 160;
constexpr int kHeight = 120;

bool IsGreen(const Bgra& p) {
  return p.g > 200 && p.r < 40 && p.b < 40;
}

// A frame of the good page's size whose top-left pixel is the page's green marker.
std::function<bool(const Frame&)> GreenFrame(int width, int height) {
  return [=](const Frame& f) {
    return f.size() == static_cast<std::size_t>(width) * height * 4 &&
           IsGreen(PixelAt(f, width, 2, 2));
  };
}

// Green in the top-left corner, animated elsewhere, and `script` run first.
std::string MarkedPage(const std::string& script, const std::string& body = "") {
  return R"html(<!doctype html><style>html, body { margin: 0; }
#mark { position: fixed; left: 0; top: 0; width: 20px; height: 20px; background: rgb(0, 255, 0);
        z-index: 10; }</style><div id="mark"></div>)html" +
         body + "<script>" + script + R"js(
let n = 0;
function step() { document.body.style.background = `rgb(${n % 256}, 80, 160)`; n += 3;
                  requestAnimationFrame(step); }
requestAnimationFrame(step);
</script>)js";
}

long VmDataKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    long value = 0;
    if (key == "VmData:" && status >> value) return value;
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

class BadInput : public Product {
 protected:
  void SetUp() override {
    BecomeSubreaper();
    Product::SetUp();
    http.Serve("/good", MarkedPage(""));
    show(http.Url("/good"), kWidth, kHeight, 1);
    ASSERT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 40s)) << "the good page never showed";
    ASSERT_TRUE(readyWithin(10s));
  }

  // Frames of any size that arrive within `period`.
  std::vector<std::size_t> frameSizesFor(std::chrono::milliseconds period) {
    std::vector<std::size_t> sizes;
    const auto deadline = std::chrono::steady_clock::now() + period;
    while (std::chrono::steady_clock::now() < deadline) {
      if (auto frame = host.readVideo(100)) sizes.push_back(frame->size());
    }
    return sizes;
  }

  int framesWithin(std::chrono::milliseconds period) {
    return static_cast<int>(frameSizesFor(period).size());
  }

  std::vector<pid_t> webProcesses() {
    std::vector<pid_t> found;
    for (const auto& process : Descendants(getpid())) {
      if (process.name.rfind("WebKitWebProces", 0) == 0) found.push_back(process.pid);
    }
    return found;
  }

  // Still alive, still answering, still rendering, still obeying "close".
  void expectRecovered() {
    EXPECT_FALSE(host.waitExit(0)) << "the renderer ended";
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(host.settings.isReady()) << "no answer to isReady";
    std::printf("isReady answered after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - asked)
                                           .count()));
    show(http.Url("/good"), kWidth, kHeight, 1);
    EXPECT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 40s)) << "the good page did not come back";
    host.settings.close();
    EXPECT_EQ(host.waitExit(10000), 0u) << "no clean exit on close";
  }
};

struct UrlCase {
  const char* name;
  std::function<std::string(const BadInput&, LocalHttpServer&)> url;
  bool shows;  // the URL is a page with the green marker
};

void PrintTo(const UrlCase& c, std::ostream* out) {
  *out << c.name;
}

class BadUrl : public BadInput, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(BadUrl, IsSurvived) {
  const std::string url = GetParam().url(*this, http);
  show(url, kWidth, kHeight, 1);
  if (GetParam().shows) {
    EXPECT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 30s)) << url.substr(0, 80);
  } else {
    std::printf("%s: %d frames within 3 s\n", GetParam().name, framesWithin(3000ms));
  }
  expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(
    Urls, BadUrl,
    ::testing::Values(
        UrlCase{"NotAUrl", [](auto&, auto&) { return std::string("not a url at all"); }, false},
        UrlCase{"EmptyHost", [](auto&, auto&) { return std::string("http://"); }, false},
        UrlCase{"BadBrackets", [](auto&, auto&) { return std::string("http://[::1/x"); }, false},
        UrlCase{
            "Unreachable",
            [](auto&, auto&) { return "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"; },
            false},
        UrlCase{"Data",
                [](auto&, auto&) {
                  return std::string(
                      "data:text/html,<body style='margin:0;background:rgb(0,255,0)'>");
                },
                true},
        UrlCase{"Javascript", [](auto&, auto&) { return std::string("javascript:alert(1)"); },
                false},
        UrlCase{"Longest988Bytes",
                [](auto&, LocalHttpServer& http) {
                  http.Serve("/long", MarkedPage(""));
                  std::string url = http.Url("/long") + "?";
                  url.append(988 - url.size(), 'a');
                  return url;
                },
                true}),
    [](const auto& info) { return std::string(info.param.name); });

struct ViewportCase {
  const char* name;
  int width, height, format;
};

void PrintTo(const ViewportCase& c, std::ostream* out) {
  *out << c.width << "x" << c.height << " format " << c.format;
}

class BadViewport : public BadInput, public ::testing::WithParamInterface<ViewportCase> {};

TEST_P(BadViewport, IsSurvivedAndFramesAreWholeOrNone) {
  const auto& c = GetParam();
  show(http.Url("/good"), c.width, c.height, c.format);
  const auto sizes = frameSizesFor(4000ms);
  std::printf("%dx%d format %d: %zu frames in 4 s, first %zu bytes\n", c.width, c.height, c.format,
              sizes.size(), sizes.empty() ? std::size_t{0} : sizes.front());
  // The engine, like CEF, gives a view at least one pixel each way, and at most 16384.
  const auto side = [](int v) { return static_cast<long long>(std::clamp(v, 1, 16384)); };
  const long long bytes = c.format == 0 ? 3 : 4;
  const long long whole = side(c.width) * side(c.height) * bytes;
  for (std::size_t size : sizes) {
    // Before the new browser paints, frames of the old size may still come, already in the
    // new format (which applies at once).
    const std::size_t old = static_cast<std::size_t>(kWidth) * kHeight;
    if (size == old * 4 || size == old * 3) continue;
    EXPECT_EQ(static_cast<long long>(size), whole) << "a frame that is not a whole picture";
    if (static_cast<long long>(size) != whole) break;
  }
  EXPECT_LE(ReadU32(host.videoChannel->view), kVideoDataArea) << "a byte count past the region";
  if (whole <= static_cast<long long>(kVideoDataArea)) {
    EXPECT_TRUE(
        frameWhere([&](const Frame& f) { return static_cast<long long>(f.size()) == whole; }, 20s))
        << "no frame of the clamped size";
  }
  expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Viewports, BadViewport,
                         ::testing::Values(ViewportCase{"Zero", 0, 0, 1},
                                           ViewportCase{"Negative", -5, -7, 1},
                                           ViewportCase{"NegativeWidthOnly", -640, 480, 0},
                                           ViewportCase{"OnePixel", 1, 1, 1},
                                           ViewportCase{"BeyondTheVideoChannel", 4000, 3000, 1},
                                           ViewportCase{"Largest", 0x7fffffff, 0x7fffffff, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BadInput, WildCommandPacketsChangeNothing) {
  // Straight into the command region, past the host link's own checks: sizes that lie, a
  // command word with no terminator, and plain noise.
  std::uint8_t* region = host.commandChannel->view;
  auto put = [&](const std::vector<std::uint8_t>& bytes) {
    std::memcpy(region, bytes.data(), std::min(bytes.size(), kMaxPacketSize));
    SetEvent(host.commandChannel->event);
    std::this_thread::sleep_for(5ms);
  };
  for (std::uint32_t payloadSize : {0x7fffffffu, 0xffffffffu, 0x80000000u, 989u, 100000u}) {
    for (std::uint32_t totalSize : {0u, 3u, 1028u, 0xffffffffu}) {
      for (const char* word : {"setTarget", "select", "isReady"}) {
        std::vector<std::uint8_t> packet(kMaxPacketSize, 'A');
        WriteU32(packet.data(), totalSize);
        std::memset(&packet[kPacketNameOffset], 0, kPacketNameSize);
        std::memcpy(&packet[kPacketNameOffset], word, std::strlen(word));
        WriteU32(&packet[kPacketPayloadSizeOffset], payloadSize);
        put(packet);
      }
    }
  }
  std::vector<std::uint8_t> unterminated(kMaxPacketSize, 0);
  WriteU32(unterminated.data(), 1028);
  std::memset(&unterminated[kPacketNameOffset], 'U', kPacketNameSize);  // no NUL in the word
  WriteU32(&unterminated[kPacketPayloadSizeOffset], 0xffffffffu);
  put(unterminated);
  std::uint32_t seed = 12345;
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> noise(kMaxPacketSize);
    for (auto& byte : noise) {
      seed = seed * 1664525u + 1013904223u;
      byte = static_cast<std::uint8_t>(seed >> 24);
    }
    put(noise);
  }
  std::memset(region, 0, kMaxPacketSize);

  // Still the good page after an Update: no wild packet set a target. (Frames of the browser
  // before the Update are let go first.)
  host.settings.Update();
  frameSizesFor(1500ms);
  EXPECT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 30s)) << "a wild packet changed the page";
  expectRecovered();
}

// The host-link fuzzer's seed corpus (every command word, and the malformed packets it found
// worth keeping), replayed into a live renderer. "close" is left out: it is the one packet
// meant to end the renderer, and the check at the end closes it the host's way.
TEST_F(BadInput, TheFuzzCorpusReplayedIntoALiveRendererIsSurvived) {
  std::vector<std::filesystem::path> corpus;
  for (const auto& entry : std::filesystem::directory_iterator(TAVRIMON_FUZZ_CORPUS_DIR)) {
    corpus.push_back(entry.path());
  }
  std::sort(corpus.begin(), corpus.end());
  ASSERT_GE(corpus.size(), 10u);
  const auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
  };
  std::uint8_t* region = host.commandChannel->view;
  const auto put = [&](const std::vector<std::uint8_t>& bytes) {
    std::memset(region, 0, kMaxPacketSize);
    std::memcpy(region, bytes.data(), std::min(bytes.size(), kMaxPacketSize));
    SetEvent(host.commandChannel->event);
    std::this_thread::sleep_for(30ms);
  };
  for (const auto& path : corpus) {
    if (path.filename() == "close") continue;
    put(read(path));
    EXPECT_FALSE(host.waitExit(0)) << "the renderer ended at " << path.filename();
  }
  put(read(TAVRIMON_FUZZ_CORPUS_DIR "/resume"));  // the corpus paused the frames on the way
  expectRecovered();
}

TEST_F(BadInput, SizeChangesInBgr24AreKeptAgainstLatePaintsOfTheOldBrowser) {
  // Switching to BGR24 together with a new size: the old browser still paints (in BGR24) until
  // it is closed, and those paints must not put its size back.
  // (The late paint has to fall between the update and the old browser's closing, so the
  // change is made several times.)
  const std::pair<int, int> sizes[] = {{320, 240}, {200, 100}, {240, 180}, {160, 120},
                                       {300, 200}, {180, 140}, {260, 160}, {160, 120}};
  int format = 0;
  for (const auto& [width, height] : sizes) {
    show(http.Url("/good"), width, height, format);
    const std::size_t bytes = static_cast<std::size_t>(width) * height * (format == 0 ? 3 : 4);
    EXPECT_TRUE(frameWhere([&](const Frame& f) { return f.size() == bytes; }, 20s))
        << width << "x" << height << " format " << format << " never arrived; last frame "
        << lastFrame.size() << " bytes";
    format = format == 0 ? 1 : 0;
  }
  expectRecovered();
}

TEST_F(BadInput, DialogsDoNotStopRendering) {
  http.Serve("/dialogs", MarkedPage("alert('a'); confirm('b'); prompt('c', 'd');"));
  show(http.Url("/dialogs"), 200, 150, 1);
  EXPECT_TRUE(frameWhere(GreenFrame(200, 150), 30s)) << "the page did not get past its dialogs";
  const int frames = framesWithin(3000ms);
  std::printf("after alert, confirm, prompt: %d frames in 3 s\n", frames);
  EXPECT_GE(frames, 10) << "rendering stopped";
  expectRecovered();
}

TEST_F(BadInput, HundredIframes) {
  std::string frames;
  for (int i = 0; i < 100; ++i) {
    frames +=
        "<iframe style='width:12px;height:12px;border:0' srcdoc='<body style=\"background:rgb(" +
        std::to_string(i * 2) + ",0,0)\">" + std::to_string(i) + "'></iframe>";
  }
  http.Serve("/iframes", MarkedPage("", frames));
  show(http.Url("/iframes"), 320, 240, 1);
  EXPECT_TRUE(frameWhere(GreenFrame(320, 240), 30s));
  const int count = framesWithin(3000ms);
  std::printf("100 iframes: %d frames in 3 s\n", count);
  EXPECT_GE(count, 10);
  expectRecovered();
}

TEST_F(BadInput, FiftyAudioStreamsStartedAndStoppedLeaveSoundFlowing) {
  // Fifty contexts, each started and closed in turn, then one that keeps playing; the marker
  // turns green only then.
  http.Serve("/streams", R"html(<!doctype html><style>html, body { margin: 0; }
#mark { position: fixed; left: 0; top: 0; width: 20px; height: 20px; background: rgb(255, 0, 0); }
</style><div id="mark"></div><script>
async function churn() {
  for (let i = 0; i < 50; ++i) {
    const ctx = new AudioContext();
    const osc = ctx.createOscillator();
    osc.frequency.value = 300 + i * 10;
    osc.connect(ctx.destination);
    await ctx.resume();
    osc.start();
    await new Promise(r => setTimeout(r, 40));
    osc.stop();
    await ctx.close();
  }
  const ctx = new AudioContext();
  const osc = ctx.createOscillator();
  osc.frequency.value = 440;
  osc.connect(ctx.destination);
  await ctx.resume();
  osc.start();
  document.getElementById('mark').style.background = 'rgb(0, 255, 0)';
}
churn();
let n = 0;
function step() { document.body.style.background = `rgb(${n % 256}, 80, 160)`; n += 3;
                  requestAnimationFrame(step); }
requestAnimationFrame(step);
</script>)html");
  show(http.Url("/streams"), kWidth, kHeight, 1);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 60s)) << "the 50 streams never finished";
  std::printf("50 streams churned in %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - started)
                                         .count()));
  std::this_thread::sleep_for(500ms);
  while (host.readAudio(0)) {
  }
  int blocks = 0, loud = 0;
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (std::chrono::steady_clock::now() < deadline) {
    auto block = host.readAudio(200);
    if (!block) continue;
    ++blocks;
    for (std::size_t i = 0; i + 1 < block->size(); i += 2) {
      const auto sample = static_cast<std::int16_t>((*block)[i] | ((*block)[i + 1] << 8));
      if (sample > 1000 || sample < -1000) {
        ++loud;
        break;
      }
    }
  }
  std::printf("after the churn: %d audio blocks in 2 s, %d with the tone\n", blocks, loud);
  EXPECT_GE(blocks, 50) << "sound stopped flowing";
  EXPECT_GE(loud, blocks / 2);
  expectRecovered();
}

TEST_F(BadInput, PageThatEatsMemoryUntilItsWebProcessDies) {
  // The page waits for the test to cap its web process's data size (so the machine is safe),
  // then allocates without end.
  http.Serve("/hog", MarkedPage(R"js(
const hoard = [];
function eat() {
  // Script heap first; once that refuses, DOM nodes and canvases, which the engine allocates
  // outside the script heap and cannot refuse to a page.
  try { for (let i = 0; i < 20; ++i) hoard.push(new Array(1 << 20).fill(i + hoard.length)); }
  catch (e) {}
  try {
    for (let i = 0; i < 2000; ++i) {
      const d = document.createElement('div');
      d.textContent = 'x'.repeat(4000) + i + hoard.length;
      d.style.display = 'none';
      document.body.appendChild(d);
    }
  } catch (e) {}
  try {
    const c = document.createElement('canvas');
    c.width = 2048; c.height = 2048;
    c.getContext('2d').fillRect(0, 0, 2048, 2048);
    hoard.push(c);
  } catch (e) {}
  setTimeout(eat, 0);
}
setTimeout(eat, 3000);
)js"));
  show(http.Url("/hog"), kWidth, kHeight, 1);
  ASSERT_TRUE(frameWhere(GreenFrame(kWidth, kHeight), 30s));
  const auto web = webProcesses();
  ASSERT_FALSE(web.empty());
  std::vector<TracedProcess> capped;
  for (pid_t pid : web) {
    const long kb = VmDataKb(pid);
    ASSERT_GT(kb, 0);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(kb + 1024 * 1024) * 1024;
    ASSERT_EQ(prlimit(pid, RLIMIT_DATA, &limit, nullptr), 0);
  }
  for (const auto& process : Descendants(getpid())) {
    for (pid_t pid : web) {
      if (process.pid == pid) capped.push_back(process);
    }
  }
  // The hungry process is one of those; it must die, the browser process must not.
  const auto start = std::chrono::steady_clock::now();
  bool oneDied = false;
  while (!oneDied && std::chrono::steady_clock::now() < start + 90s) {
    oneDied = StillRunning(capped).size() < capped.size();
    std::this_thread::sleep_for(100ms);
  }
  std::printf("web process %s after %lld ms\n",
              oneDied ? "died of its page's hunger" : "still alive",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  EXPECT_TRUE(oneDied) << "the web process survived a 1 GB cap";
  expectRecovered();
}

}  // namespace
