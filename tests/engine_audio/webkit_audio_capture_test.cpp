// Real WebKitGTK: a file:// page plays a 440 Hz WebAudio oscillator in a web view on a private
// Xvfb display; the capture sink, registered in the web process by a small extension, must be
// what WebKit plays into, and the tone must arrive here through the transport.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>

#include "audio_capture_receiver.h"
#include "audio_capture_view_link.h"
#include "child_process.h"
#include "recording_listener.h"

namespace tavrimon::audio {
namespace {

// Xvfb on a display it picks itself; ended by pid when the test is done.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    pid_ = testing::SpawnWithChannel("/usr/bin/Xvfb", pipeFds[1],
                                     {"-displayfd", std::to_string(testing::kChildChannelFd),
                                      "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    close(pipeFds[1]);
    char buffer[32] = {};
    ssize_t n = 0;
    for (size_t got = 0; got < sizeof buffer - 1; got += static_cast<size_t>(n)) {
      n = read(pipeFds[0], buffer + got, sizeof buffer - 1 - got);
      if (n <= 0 || std::string(buffer).find('\n') != std::string::npos) break;
    }
    close(pipeFds[0]);
    const int display = std::atoi(buffer);
    if (buffer[0] >= '0' && buffer[0] <= '9') name_ = ":" + std::to_string(display);
  }
  ~PrivateDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      testing::WaitForExit(pid_);
    }
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// The dominant frequency of `samples` from its zero crossings.
double FrequencyOf(const std::vector<float>& samples, size_t from, int rate) {
  size_t first = 0, last = 0, crossings = 0;
  for (size_t n = from + 1; n < samples.size(); ++n) {
    if (samples[n - 1] < 0 && samples[n] >= 0) {
      if (crossings++ == 0) first = n;
      last = n;
    }
  }
  if (crossings < 2) return 0;
  return static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

// A 16-bit mono WAV of `seconds` of a 440 Hz sine at half scale, starting at phase 0.
std::vector<int16_t> WriteToneWav(const std::string& path, int rate, int seconds) {
  std::vector<int16_t> samples(static_cast<size_t>(rate) * static_cast<size_t>(seconds));
  for (size_t n = 0; n < samples.size(); ++n) {
    samples[n] = static_cast<int16_t>(
        std::lround(16384 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(n) / rate)));
  }
  const auto u32 = [](std::ofstream& f, uint32_t v) { f.write(reinterpret_cast<char*>(&v), 4); };
  const auto u16 = [](std::ofstream& f, uint16_t v) { f.write(reinterpret_cast<char*>(&v), 2); };
  std::ofstream f(path, std::ios::binary);
  const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
  f.write("RIFF", 4), u32(f, 36 + bytes), f.write("WAVEfmt ", 8), u32(f, 16), u16(f, 1), u16(f, 1);
  u32(f, static_cast<uint32_t>(rate)), u32(f, static_cast<uint32_t>(rate) * 2), u16(f, 2);
  u16(f, 16), f.write("data", 4), u32(f, bytes);
  f.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(bytes));
  return samples;
}

struct PageCase {
  const char* name;
  const char* html;
};

void PrintTo(const PageCase& c, std::ostream* os) {
  *os << c.name;
}

class WebKitAudioCapture : public ::testing::TestWithParam<PageCase> {
 protected:
  static void SetUpTestSuite() {
    display_ = new PrivateDisplay();
    if (!display_->name().empty()) {
      setenv("DISPLAY", display_->name().c_str(), 1);
      gtkReady_ = gtk_init_check(nullptr, nullptr);
    }
  }
  static void TearDownTestSuite() { delete display_; }

  static inline PrivateDisplay* display_ = nullptr;
  static inline bool gtkReady_ = false;
};

constexpr int kWavRate = 48000;

TEST_P(WebKitAudioCapture, ToneArrivesThroughTheCaptureSink) {
  ASSERT_TRUE(gtkReady_) << "no X display";
  const PageCase& c = GetParam();
  const std::string dir = ::testing::TempDir();
  const std::vector<int16_t> wav = WriteToneWav(dir + "tavrimon_tone.wav", kWavRate, 3);
  const std::string page = dir + "tavrimon_audio_" + c.name + ".html";
  std::ofstream(page) << c.html;

  AudioCaptureReceiver receiver;
  testing::RecordingListener listener;
  WebKitWebContext* context = webkit_web_context_new();
  webkit_web_context_set_web_extensions_directory(context, EXTENSION_DIR);
  webkit_web_context_set_web_extensions_initialization_user_data(context,
                                                                 g_variant_new_boolean(TRUE));
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings,
                              "website-policies", policies, nullptr));
  auto link = std::make_unique<AudioCaptureViewLink>(WEBKIT_WEB_VIEW(view), receiver, &listener);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 320, 240);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  const std::string uri = "file://" + page;
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri.c_str());

  // Run GTK until a stream has brought 1.5 s of sound, or give up after 30 s.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const auto enough = [&] {
    for (const auto& [id, s] : listener.streams()) {
      if (s.sampleRate > 0 && s.samples[0].size() >= static_cast<size_t>(s.sampleRate) * 3 / 2) {
        return true;
      }
    }
    return false;
  };
  while (!enough() && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(2000);
  }
  const auto streams = listener.streams();
  const AudioCaptureReceiver::Stats stats = receiver.GetStats();

  // Ending the web process ends its streams.
  webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(view));
  const bool stopped =
      listener.WaitForStops(static_cast<int>(streams.size()), std::chrono::seconds(10));
  gtk_widget_destroy(window);
  g_object_unref(policies);
  g_object_unref(settings);
  g_object_unref(context);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }

  EXPECT_EQ(link->channelsOpened(), 1);
  ASSERT_TRUE(enough()) << streams.size() << " stream(s), nothing long enough arrived";
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(listener.errors().empty()) << ::testing::PrintToString(listener.errors());
  for (const auto& [id, s] : streams) {
    if (s.samples[0].size() < static_cast<size_t>(s.sampleRate)) continue;
    SCOPED_TRACE("stream " + std::to_string(id));
    float peak = 0;
    for (float v : s.samples[0]) peak = std::max(peak, std::abs(v));
    EXPECT_NEAR(FrequencyOf(s.samples[0], static_cast<size_t>(s.sampleRate) / 10, s.sampleRate),
                440.0, 2.0);
    EXPECT_NEAR(peak, 0.5, 0.05);
    if (std::string(c.name) == "AudioElement" && s.sampleRate == kWavRate) {
      // The file's first samples are the stream's first samples.
      size_t mismatches = 0;
      for (size_t n = 0; n < 4800 && n < s.samples[0].size(); ++n) {
        if (std::abs(s.samples[0][n] - wav[n] / 32768.0) > 1e-3) ++mismatches;
      }
      EXPECT_EQ(mismatches, 0u) << "first captured samples " << s.samples[0][0] << " "
                                << s.samples[0][1] << " " << s.samples[0][2];
    }
    int maxFrames = 0;
    for (int f : s.packetFrames) maxFrames = std::max(maxFrames, f);
    std::printf(
        "[ figures ] %s stream %d: %d channel(s) at %d Hz, %zu packets, largest %d "
        "frames, %zu frames in all\n",
        c.name, id, s.channels, s.sampleRate, s.packetFrames.size(), maxFrames,
        s.samples[0].size());
  }
  std::printf(
      "[ figures ] %s: latency sink->callback min %.3f mean %.3f max %.3f ms over "
      "%llu packets\n",
      c.name, stats.latencyMinNs / 1e6, stats.latencyMeanNs / 1e6, stats.latencyMaxNs / 1e6,
      static_cast<unsigned long long>(stats.packets));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, WebKitAudioCapture,
    ::testing::Values(PageCase{"WebAudioOscillator", R"(<!doctype html><title>tone</title><script>
const ctx = new AudioContext();
const osc = ctx.createOscillator();
const gain = ctx.createGain();
osc.frequency.value = 440;
gain.gain.value = 0.5;
osc.connect(gain).connect(ctx.destination);
osc.start();
ctx.resume();
</script>)"},
                      PageCase{"AudioElement", R"(<!doctype html><title>tone</title>
<audio src="tavrimon_tone.wav" autoplay></audio>)"}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrimon::audio
