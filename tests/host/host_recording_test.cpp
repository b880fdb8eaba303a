// tavrimon-host end to end against fake_renderer, which speaks the host link like the renderer
// but paints generated frames and a 440 Hz tone, so these tests need no browser engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "host_process.h"
#include "media_probe.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Host() {
  return BinDir() + "/tavrimon-host";
}
std::string Fake() {
  return BinDir() + "/fake_renderer";
}

std::vector<std::string> Args(const fs::path& out, std::vector<std::string> more) {
  std::vector<std::string> args = {
      Host(), "--browser", Fake(), "--url", "http://127.0.0.1:9/unused", "--out", out.string()};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

struct FormatCase {
  const char* format;
  int width;
  int height;
  bool alphaKept;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
  *out << c.format << " " << c.width << "x" << c.height;
}

class Recording : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Recording, WritesMp4WavAndStillsOfTheRun) {
  const FormatCase c = GetParam();
  const fs::path out = TempDir(c.format);
  const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
  const HostResult run =
      RunToEnd(Args(out, {"--size", size, "--format", c.format, "--seconds", "2"}), {}, 60s);
  ASSERT_EQ(run.status, 0) << run.err << run.out;

  // The MP4: H.264 of the viewport, about as long as asked, with the fake's tone as AAC.
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media);
  ASSERT_EQ(media->streams.size(), 2u);
  const StreamFacts& video = media->streams[0].video ? media->streams[0] : media->streams[1];
  const StreamFacts& audio = media->streams[0].video ? media->streams[1] : media->streams[0];
  EXPECT_EQ(video.codec, "h264");
  EXPECT_EQ(video.width, c.width);
  EXPECT_EQ(video.height, c.height);
  EXPECT_NEAR(video.seconds, 2.0, 0.4);
  EXPECT_EQ(audio.codec, "aac");
  EXPECT_NEAR(media->seconds, 2.0, 0.5);
  EXPECT_NE(run.out.find("with AAC audio"), std::string::npos) << run.out;

  // last.png: the full frame; the fake's lower third is transparent in BGRA only.
  const auto last = DecodeImage((out / "last.png").string());
  ASSERT_TRUE(last);
  ASSERT_EQ(last->width, c.width);
  ASSERT_EQ(last->height, c.height);
  EXPECT_EQ(last->at(c.width / 2, c.height - 2)[3], c.alphaKept ? 0 : 255);
  EXPECT_EQ(last->at(c.width / 2, 2)[3], 255);
  // The bars are saturated colours: every channel of an opaque pixel is 0 or 255.
  const std::uint8_t* bar = last->at(c.width / 3, c.height / 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(bar[i] == 0 || bar[i] == 255) << int(bar[i]);

  // audio.wav: 44.1 kHz 16-bit stereo holding the 440 Hz tone, for about the run's length.
  const auto wav = ReadWav((out / "audio.wav").string());
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->sampleRate, 44100);
  EXPECT_EQ(wav->channels, 2);
  EXPECT_EQ(wav->bits, 16);
  EXPECT_NEAR(static_cast<double>(wav->left.size()) / 44100.0, 2.0, 0.5);
  EXPECT_NEAR(ToneFrequency(wav->left, 44100), 440.0, 5.0);

  const auto sheet = DecodeImage((out / "contact.png").string());
  ASSERT_TRUE(sheet);
  EXPECT_GT(sheet->width, std::min(c.width, 320) * 3);  // several tiles per row
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(Formats, Recording,
                         ::testing::Values(FormatCase{"bgra", 320, 240, true},
                                           FormatCase{"bgr24", 256, 144, false}),
                         [](const auto& info) { return std::string(info.param.format); });

TEST(Recording, NoSoundMeansNoAudioTrack) {
  const fs::path out = TempDir("silent");
  const HostResult run = RunToEnd(Args(out, {"--size", "160x120", "--seconds", "1"}),
                                  {{"TAVRIMON_FAKE_SILENT", "1"}}, 60s);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media);
  ASSERT_EQ(media->streams.size(), 1u);
  EXPECT_TRUE(media->streams[0].video);
  fs::remove_all(out);
}

// A static page paints once, before it reports ready, and never again: that frame is the
// recording, shown for its whole length.
TEST(Recording, PageThatPaintedOnlyBeforeReadyFillsTheRecording) {
  const fs::path out = TempDir("static");
  const HostResult run =
      RunToEnd(Args(out, {"--size", "160x120", "--seconds", "2"}),
               {{"TAVRIMON_FAKE_PAINT_ONCE", "1"}, {"TAVRIMON_FAKE_SILENT", "1"}}, 60s);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("recorded 2.0"), std::string::npos) << run.out;
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media);
  ASSERT_EQ(media->streams.size(), 1u);
  EXPECT_NEAR(media->streams[0].seconds, 2.0, 0.1);
  const auto last = DecodeImage((out / "last.png").string());
  ASSERT_TRUE(last);
  EXPECT_EQ(last->width, 160);
  EXPECT_EQ(last->at(80, 2)[3], 255);  // the fake's painted frame, not an empty one
  fs::remove_all(out);
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;  // after the common ones; "{out}" is the output folder
  std::vector<std::pair<std::string, std::string>> env;
  int status;
  const char* message;
};

TEST(UserErrors, EachGivesOneLineAndItsExitStatus) {
  const fs::path out = TempDir("errors");
  std::ofstream(out / "a-file") << "x";
  const std::vector<ErrorCase> cases = {
      {"bad size", {"--size", "640x"}, {}, 2, "bad --size '640x': expected WIDTHxHEIGHT"},
      {"size beyond the channel",
       {"--size", "4000x3000"},
       {},
       2,
       "bad --size '4000x3000': a bgra frame of that size (48000000 bytes) does not fit"},
      {"unknown option", {"--colour", "red"}, {}, 2, "unknown option --colour"},
      {"missing renderer",
       {"--browser", "/nonexistent/tavrimon-browser"},
       {},
       4,
       "renderer not found or not executable: /nonexistent/tavrimon-browser"},
      {"unwritable output",
       {"--out", (out / "a-file" / "sub").string()},
       {},
       3,
       "cannot create output folder"},
      {"page never loads",
       {"--load-timeout", "1"},
       {{"TAVRIMON_FAKE_NEVER_READY", "1"}},
       6,
       "the page did not finish loading within 1 s: http://127.0.0.1:9/unused"},
      {"renderer exits early",
       {"--seconds", "10"},
       {{"TAVRIMON_FAKE_EXIT_CODE", "7"}, {"TAVRIMON_FAKE_EXIT_AFTER_MS", "1500"}},
       7,
       "the renderer exited early with code 7"},
  };
  for (const auto& c : cases) {
    const HostResult run = RunToEnd(Args(out / "o", c.args), c.env, 60s);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_EQ(LineCount(run.err), 1) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(std::string("tavrimon-host: ") + c.message), std::string::npos)
        << c.name << ": " << run.err;
  }
  fs::remove_all(out);
}

// --interactive: commands on stdin reach the renderer; a resize applies on "update".
TEST(Interactive, CommandsDriveTheRendererUntilQuit) {
  const fs::path out = TempDir("interactive");
  std::vector<std::string> args = Args(out, {"--interactive", "--size", "320x240"});
  ChildProcess host(args);
  ASSERT_TRUE(host.started());
  host.writeLine("ready");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  std::string answer;
  // The first answer may come before the fake applied the first update.
  while (answer != "ready 1" && std::chrono::steady_clock::now() < deadline) {
    answer = host.waitForLine("ready ", 10s).value_or("");
    if (answer != "ready 1") host.writeLine("ready");
  }
  EXPECT_EQ(answer, "ready 1");
  host.writeLine("pause");
  EXPECT_TRUE(host.waitForLine("ok pause", 5s));
  host.writeLine("bogus");
  host.writeLine("size 200x100");
  EXPECT_TRUE(host.waitForLine("ok size", 5s));
  host.writeLine("resume");
  host.writeLine("update");
  EXPECT_TRUE(host.waitForLine("ok update", 5s));
  std::this_thread::sleep_for(1s);
  host.writeLine("quit");
  EXPECT_TRUE(host.waitForLine("recorded ", 30s));
  EXPECT_EQ(host.wait(30s), 0);
  // The last frame is of the new size; the MP4 keeps the size it started with.
  const auto last = DecodeImage((out / "last.png").string());
  ASSERT_TRUE(last);
  EXPECT_EQ(last->width, 200);
  EXPECT_EQ(last->height, 100);
  const auto media = ProbeMedia((out / "recording.mp4").string());
  ASSERT_TRUE(media);
  EXPECT_EQ(media->streams[0].width, 320);
  fs::remove_all(out);
}

}  // namespace
