// tavrimon-host with the real tavrimon-browser: the bundled demo recorded from the build tree
// and from an installed tree, and the user errors only a real renderer can show.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "closed_port.h"
#include "host_process.h"
#include "media_probe.h"
#include "process_tree.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Lines tavrimon-host itself printed on stderr (the engine's helper processes may add theirs).
std::vector<std::string> HostLines(const std::string& err) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < err.size()) {
    std::size_t end = err.find('\n', start);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(start, end - start);
    if (line.rfind("tavrimon-host: ", 0) == 0) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// What every recording of the demo must show, whichever tree it was made from.
void ExpectDemoRecording(const fs::path& out, int width, int height, double seconds) {
  // The MP4: H.264 of the viewport, as long as asked, and an AAC track for the demo's tone.
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media) << "no readable recording.mp4";
  const auto video = std::find_if(media->streams.begin(), media->streams.end(),
                                  [](const StreamFacts& s) { return s.video; });
  ASSERT_NE(video, media->streams.end());
  EXPECT_EQ(video->codec, "h264");
  EXPECT_EQ(video->width, width);
  EXPECT_EQ(video->height, height);
  EXPECT_NEAR(video->seconds, seconds, 0.6);
  EXPECT_NEAR(media->seconds, seconds, 0.7);
  const auto audio = std::find_if(media->streams.begin(), media->streams.end(),
                                  [](const StreamFacts& s) { return !s.video; });
  ASSERT_NE(audio, media->streams.end()) << "no audio track: the demo's tone did not arrive";
  EXPECT_EQ(audio->codec, "aac");

  // audio.wav holds the tone: the page's gain of 0.4 is far above any noise floor.
  const auto wav = ReadWav((out / "audio.wav").string());
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->sampleRate, 44100);
  EXPECT_EQ(wav->channels, 2);
  int peak = 0;
  for (std::int16_t s : wav->left) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 4000);

  // last.png: the page is transparent except the lower third (from 74 % to 92 % of the height)
  // and the badge in the upper right.
  const auto last = DecodeImage((out / "last.png").string());
  ASSERT_TRUE(last);
  ASSERT_EQ(last->width, width);
  ASSERT_EQ(last->height, height);
  for (const auto& [x, y] : {std::pair{width / 50, height / 50},
                             {width / 2, height / 3},
                             {width / 50, height * 8 / 10}}) {
    EXPECT_EQ(last->at(x, y)[3], 0) << "at " << x << "," << y;
  }
  for (const auto& [x, y] :
       {std::pair{width / 2, height * 80 / 100}, {width / 4, height * 85 / 100}}) {
    EXPECT_GT(last->at(x, y)[3], 0) << "the lower third is missing at " << x << "," << y;
  }

  const auto sheet = DecodeImage((out / "contact.png").string());
  ASSERT_TRUE(sheet);
  EXPECT_GT(sheet->width, width);
}

TEST(DemoRecording, BuildTreeRecordsTheDemoWithItsSoundAndTransparency) {
  const fs::path out = TempDir("build");
  const HostResult run = RunToEnd(
      {BinDir() + "/tavrimon-host", "--seconds", "3", "--size", "640x360", "--out", out.string()},
      {}, 180s);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("with AAC audio"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("renderer exit code: 0"), std::string::npos) << run.out;
  ExpectDemoRecording(out, 640, 360, 3.0);
  fs::remove_all(out);
}

// An installed tree, moved away from where it was installed, runs the demo on its own: the
// host finds the renderer and the demo page, the renderer finds its web-process module (the
// tone reaches the recording only through that module's capture sink).
TEST(DemoRecording, InstalledTreeRunsTheDemoWithTheRealRenderer) {
  const fs::path work = TempDir("installed");
  const HostResult install = RunToEnd({TAVRIMON_CMAKE_COMMAND, "--install", TAVRIMON_BUILD_DIR,
                                       "--prefix", (work / "prefix").string()},
                                      {}, 120s);
  ASSERT_EQ(install.status, 0) << install.err << install.out;
  const fs::path tree = work / "moved";
  fs::rename(work / "prefix", tree);
  for (const char* file :
       {"bin/tavrimon-host", "bin/tavrimon-browser", "lib/tavrimon-webext/tavrimon-webext.so",
        "share/tavrimon/demo/index.html"}) {
    EXPECT_TRUE(fs::is_regular_file(tree / file)) << file;
  }
  // WebKit loads every module in that folder: ours must be alone there.
  EXPECT_EQ(
      std::distance(fs::directory_iterator(tree / "lib/tavrimon-webext"), fs::directory_iterator()),
      1);

  const fs::path out = work / "out";
  const HostResult run = RunToEnd({(tree / "bin/tavrimon-host").string(), "--seconds", "3",
                                   "--size", "480x270", "--out", out.string()},
                                  {}, 180s);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  ExpectDemoRecording(out, 480, 270, 3.0);
  fs::remove_all(work);
}

// A static page paints once, before it has finished loading, and never again: its one frame
// still fills the whole recording.
TEST(DemoRecording, PageThatNeverRepaintsFillsTheRecording) {
  const fs::path work = TempDir("static");
  std::ofstream(work / "static.html")
      << "<!doctype html><html><body style='margin:0;background:#2060c0'></body></html>";
  const fs::path out = work / "out";
  const HostResult run =
      RunToEnd({BinDir() + "/tavrimon-host", "--url", "file://" + (work / "static.html").string(),
                "--seconds", "2", "--size", "320x180", "--out", out.string()},
               {}, 120s);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media);
  ASSERT_FALSE(media->streams.empty());
  EXPECT_NEAR(media->streams[0].seconds, 2.0, 0.3);
  const auto last = DecodeImage((out / "last.png").string());
  ASSERT_TRUE(last);
  const std::uint8_t* pixel = last->at(160, 90);
  EXPECT_EQ(pixel[0], 0x20);
  EXPECT_EQ(pixel[1], 0x60);
  EXPECT_EQ(pixel[2], 0xc0);
  EXPECT_EQ(pixel[3], 255);
  fs::remove_all(work);
}

TEST(UserErrors, PageThatNeverLoadsEndsWithItsMessage) {
  const fs::path out = TempDir("never-loads");
  const int port = ClosedPort();
  ASSERT_GT(port, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/index.html";
  const HostResult run = RunToEnd({BinDir() + "/tavrimon-host", "--url", url, "--load-timeout", "4",
                                   "--size", "320x180", "--out", out.string()},
                                  {}, 120s);
  EXPECT_EQ(run.status, 6) << run.err;
  const auto lines = HostLines(run.err);
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0], "tavrimon-host: the page did not finish loading within 4 s: " + url);
  fs::remove_all(out);
}

// The renderer killed in the middle of a recording: the host says so with the exit code, and
// keeps what it had recorded.
TEST(UserErrors, RendererEndingEarlyIsReportedWithItsExitCode) {
  const fs::path out = TempDir("renderer-ends");
  auto host = std::async(std::launch::async, [&out] {
    return RunToEnd({BinDir() + "/tavrimon-host", "--seconds", "60", "--size", "320x180", "--out",
                     out.string()},
                    {}, 180s);
  });
  // The renderer is the one tavrimon-browser below this test whose parent is tavrimon-host.
  pid_t renderer = 0;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (renderer == 0 && std::chrono::steady_clock::now() < deadline) {
    for (const auto& process : Descendants(getpid())) {
      if (process.name.rfind("tavrimon-browse", 0) == 0) renderer = process.pid;
    }
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_NE(renderer, 0) << "the renderer never started";
  // The recording runs once sound is written: the demo's audio context sends blocks all along.
  const auto soundWritten = [wav = out / "audio.wav"] {
    std::error_code error;
    const auto size = fs::file_size(wav, error);
    return !error && size > 44;  // more than the header
  };
  while (!soundWritten() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(soundWritten()) << "the recording never started";
  ASSERT_EQ(kill(renderer, SIGKILL), 0);
  const HostResult run = host.get();
  EXPECT_EQ(run.status, 7) << run.err;
  const auto lines = HostLines(run.err);
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0], "tavrimon-host: the renderer exited early with code 137");
  EXPECT_TRUE(fs::is_regular_file(out / "recording.mp4")) << run.out;
  fs::remove_all(out);
}

}  // namespace
