// A stand-in for tavrimon-browser that needs no browser engine: it brings up the renderer's end
// of the host link for the instance id given as its only argument, obeys the commands, and on
// each "Update" starts sending generated pictures and sound of the requested viewport and
// format:
//   video: 30 frames per second of colour bars that move one bar width per second; the lower
//          third of the frame is fully transparent (alpha 0) in BGRA;
//   audio: a 440 Hz sine at half scale, blocks of 441 stereo frames every 10 ms.
// It reports the page ready after the first "Update", stops sending while paused and exits
// with code 0 on "close".
//
// The command line carries only the instance id, so the tests steer misbehaviour through the
// environment, which the host passes on:
//   TAVRIMON_FAKE_EXIT_CODE=N and TAVRIMON_FAKE_EXIT_AFTER_MS=T  exit with N after T ms
//   TAVRIMON_FAKE_NEVER_READY=1                                  never report the page ready
//   TAVRIMON_FAKE_SILENT=1                                       send no audio
//   TAVRIMON_FAKE_PAINT_ONCE=1      paint one frame only, and report ready 300 ms after it
//                                   (a static page, painted before it finished loading)
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "command_packet.h"
#include "i_server.h"
#include "mapping_mem.h"

namespace {

using Clock = std::chrono::steady_clock;

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// One 30 fps frame: eight bars (B, G, R, A order in memory), shifted with time.
void PaintFrame(std::vector<std::uint8_t>* out, int width, int height, int format, int frame) {
  static const std::uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0},
                                           {0, 255, 0},     {255, 0, 255}, {0, 0, 255},
                                           {255, 0, 0},     {0, 0, 0}};
  const int step = format == 0 ? 3 : 4;
  out->resize(static_cast<std::size_t>(width) * height * step);
  const int barWidth = width / 8 > 0 ? width / 8 : 1;
  const int shift = frame * barWidth / 30;
  const int opaqueRows = height - height / 3;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = out->data() + static_cast<std::size_t>(y) * width * step;
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = row + static_cast<std::size_t>(x) * step;
      const auto& bar = kBars[((x + shift) / barWidth) % 8];
      if (y < opaqueRows) {
        std::memcpy(p, bar, 3);
        if (step == 4) p[3] = 255;
      } else {
        std::memset(p, 0, static_cast<std::size_t>(step));
      }
    }
  }
}

void Publish(MappingMem* channel, const std::vector<std::uint8_t>& data) {
  if (channel == nullptr || !channel->usable()) return;
  if (data.size() > static_cast<std::size_t>(channel->size - kBlockHeaderSize)) return;
  WriteU32(channel->view, static_cast<std::uint32_t>(data.size()));
  std::memcpy(channel->view + kBlockHeaderSize, data.data(), data.size());
  SetEvent(channel->event);
}

}  // namespace

int main(int argc, char** argv) {
  const int id = argc == 2 ? std::atoi(argv[1]) : 0;
  const int exitCode = EnvInt("TAVRIMON_FAKE_EXIT_CODE", -1);
  const int exitAfterMs = EnvInt("TAVRIMON_FAKE_EXIT_AFTER_MS", 0);
  const bool neverReady = EnvInt("TAVRIMON_FAKE_NEVER_READY", 0) != 0;
  const bool silent = EnvInt("TAVRIMON_FAKE_SILENT", 0) != 0;
  const bool paintOnce = EnvInt("TAVRIMON_FAKE_PAINT_ONCE", 0) != 0;
  const auto begin = Clock::now();

  // Like the renderer's watchdog, but probing once: the host must hold the host-instance mutex
  // before it starts the renderer. (One probe only, so that another host on the machine ending
  // later cannot end this fake.)
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "__TAVRIMON_APP_RUNNING_INSTANCE__");
  if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
    std::fprintf(stderr, "fake_renderer: the host does not hold the host-instance mutex\n");
    TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
  }
  if (mutex != nullptr) CloseHandle(mutex);

  auto* link = new i_server();  // lives until the process ends, as in the renderer
  link->mode = 1;
  link->instanceId = id;
  link->settings.instanceId = id;
  link->createChannels(id);
  try {
    link->start();
  } catch (...) {
    std::fprintf(stderr, "fake_renderer: the host's channels are missing\n");
    return 0;
  }
  shr_avsource& settings = link->settings;
  settings.connected = true;

  // The viewport and format in force: like the renderer, the fake applies them on "Update".
  std::atomic<bool> sending{false};
  std::atomic<int> width{0};
  std::atomic<int> height{0};
  std::atomic<int> format{0};
  std::thread video([&] {
    std::vector<std::uint8_t> frame;
    int index = 0;
    auto due = Clock::now();
    for (;;) {
      due += std::chrono::microseconds(33333);
      std::this_thread::sleep_until(due);
      if (!sending || settings.paused || (paintOnce && index > 0)) continue;
      PaintFrame(&frame, width, height, format, index++);
      Publish(link->videoChannel.get(), frame);
    }
  });
  std::thread audio([&] {
    constexpr int kFrames = 441;
    std::vector<std::uint8_t> block(kFrames * 4);
    double phase = 0;
    auto due = Clock::now();
    for (;;) {
      due += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(due);
      if (!sending || silent) continue;
      for (int i = 0; i < kFrames; ++i) {
        const auto sample = static_cast<std::int16_t>(std::lround(16384.0 * std::sin(phase)));
        phase += 2 * M_PI * 440.0 / 44100.0;
        for (int side = 0; side < 2; ++side) {
          block[static_cast<std::size_t>(i) * 4 + side * 2] = static_cast<std::uint8_t>(sample);
          block[static_cast<std::size_t>(i) * 4 + side * 2 + 1] =
              static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8);
        }
      }
      phase = std::fmod(phase, 2 * M_PI);
      if (!settings.paused) Publish(link->audioChannel.get(), block);
    }
  });
  video.detach();
  audio.detach();

  // Like the renderer's main thread: poll the link until "close" clears `connected`.
  std::optional<Clock::time_point> readyAt;
  for (;;) {
    if (readyAt && Clock::now() >= *readyAt) settings.ready = true;
    if (!settings.connected) TerminateProcess(GetCurrentProcess(), 0);
    if (exitCode >= 0 && Clock::now() - begin >= std::chrono::milliseconds(exitAfterMs)) {
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    }
    if (settings.updatePending) {
      settings.updatePending = false;
      width = settings.viewportWidth.load();
      height = settings.viewportHeight.load();
      format = settings.imageFormat.load();
      if (paintOnce) {
        readyAt = Clock::now() + std::chrono::milliseconds(300);
      } else if (!neverReady) {
        settings.ready = true;
      }
      sending = true;
    }
    Sleep(10);
  }
}
