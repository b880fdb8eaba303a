// Captured page sound through CefAudioHandler: a known WebAudio sine arrives complete, at the
// page's rate and level, from its first sample on, also with the browser muted.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "engine_fixture.h"
#include "include/cef_task.h"
#include "local_http_server.h"

namespace engine_test {
namespace {

class AudioClient : public RecordingClient, public CefAudioHandler {
 public:
  AudioClient() : RecordingClient(64, 64) {}
  CefRefPtr<CefAudioHandler> GetAudioHandler() override { return this; }

  void OnAudioStreamStarted(CefRefPtr<CefBrowser>, int id, int channels, ChannelLayout,
                            int sample_rate, int frames_per_buffer) override {
    std::lock_guard lock(mutex());
    ++started;
    streamId = id;
    channelCount = channels;
    rate = sample_rate;
    framesPerBuffer = frames_per_buffer;
  }
  void OnAudioStreamPacket(CefRefPtr<CefBrowser>, int id, const float** data, int frames,
                           int64) override {
    std::lock_guard lock(mutex());
    if (id != streamId) wrongStream = true;
    left.insert(left.end(), data[0], data[0] + frames);
    Notify();
  }
  void OnAudioStreamStopped(CefRefPtr<CefBrowser>, int) override {
    std::lock_guard lock(mutex());
    ++stopped;
  }

  int started = 0, stopped = 0, streamId = -1, channelCount = 0, rate = 0, framesPerBuffer = 0;
  bool wrongStream = false;
  std::vector<float> left;
};

TEST(EngineAudio, AKnownSineArrivesCompleteAtItsRateAndLevelWhileMuted) {
  ASSERT_TRUE(EnsureEngine());
  LocalHttpServer server;
  constexpr double kFrequency = 441.0, kLevel = 0.5, kSeconds = 1.0;
  server.Serve("/sine",
               "<!doctype html><script>"
               "const ctx = new AudioContext();"
               "const osc = ctx.createOscillator(); const gain = ctx.createGain();"
               "osc.frequency.value = 441; gain.gain.value = 0.5;"
               "osc.connect(gain).connect(ctx.destination);"
               "const t = ctx.currentTime; osc.start(t); osc.stop(t + 1.0);"
               "report(String(ctx.sampleRate));</script>");
  CefRefPtr<AudioClient> client = new AudioClient();
  CefRefPtr<CefBrowser> browser = CreateBrowser(client, server.Url("/sine"));
  ASSERT_TRUE(browser);
  browser->GetHost()->SetAudioMuted(true);  // local output only; never the captured samples

  ASSERT_TRUE(client->WaitUntil(
      [&] { return client->started > 0 && client->left.size() > size_t(client->rate * 1.5); }, 60s))
      << "no sound captured";
  std::this_thread::sleep_for(300ms);
  CloseBrowser(browser);
  ASSERT_TRUE(client->WaitUntil([&] { return client->beforeClose > 0; }));

  std::lock_guard lock(client->mutex());
  EXPECT_FALSE(client->wrongStream);
  EXPECT_GE(client->channelCount, 1);
  EXPECT_GT(client->framesPerBuffer, 0);
  std::string pageRate;
  for (auto& m : client->messages)
    if (m.name == "fromPage") pageRate = m.args->GetString(0).ToString();
  ASSERT_FALSE(pageRate.empty());
  EXPECT_EQ(client->rate, std::stoi(pageRate)) << "the page's own sample rate";
  const double rate = client->rate;

  const std::vector<float>& s = client->left;
  size_t first = 0;
  while (first < s.size() && std::fabs(s[first]) < 1e-6f) ++first;
  size_t last = s.size();
  while (last > first && std::fabs(s[last - 1]) < 1e-6f) --last;
  ASSERT_LT(first, last);

  // Nothing missing at the start: the sound begins at the sine's first rising samples.
  double step = 2 * M_PI * kFrequency / rate;
  for (size_t n = 0; n < 64 && first + n < last; ++n) {
    double expected0 = kLevel * std::sin(step * double(n));
    double expected1 = kLevel * std::sin(step * double(n + 1));
    double got = s[first + n];
    EXPECT_TRUE(std::fabs(got - expected0) < 0.02 || std::fabs(got - expected1) < 0.02)
        << "sample " << n << " is " << got;
  }
  // Complete: one second of sound, no gaps.
  double seconds = double(last - first) / rate;
  EXPECT_NEAR(seconds, kSeconds, 0.02);
  float peak = 0;
  int crossings = 0;
  for (size_t i = first; i < last; ++i) {
    peak = std::max(peak, std::fabs(s[i]));
    if (i > first && (s[i - 1] < 0) != (s[i] < 0)) ++crossings;
  }
  EXPECT_NEAR(peak, kLevel, 0.01) << "muting must not change the captured level";
  EXPECT_NEAR(crossings / 2.0 / seconds, kFrequency, 3.0);
}

}  // namespace
}  // namespace engine_test
