#include "host_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "host_exit_codes.h"
#include "host_link.h"
#include "install_paths.h"
#include "interactive_command.h"
#include "live_status.h"
#include "local_web_server.h"
#include "recording.h"
#include "stdin_lines.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// How long the renderer may take to make its command channel; each attempt of the link's
// connect waits about 4 s on its own.
constexpr auto kConnectTimeout = std::chrono::seconds(20);
constexpr DWORD kExitWaitMs = 5000;

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "tavrimon-host: %s\n", message.c_str());
  return code;
}

std::string Seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Dbfs(double value) {
  if (!std::isfinite(value)) return "silent";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dBFS", value);
  return text;
}

// Creates the folder and proves a file can be written in it.
bool PrepareOutputFolder(const std::string& dir, std::string* error) {
  std::error_code code;
  fs::create_directories(dir, code);
  if (code) {
    *error = "cannot create output folder " + dir + ": " + code.message();
    return false;
  }
  const fs::path probe = fs::path(dir) / ".tavrimon-write-test";
  {
    std::ofstream out(probe);
    out << "ok";
    if (!out.good()) {
      *error = "cannot write to output folder " + dir;
      return false;
    }
  }
  fs::remove(probe, code);
  return true;
}

std::optional<DWORD> ExitedWith(HostLink& host) {
  DWORD code = 0;
  if (host.process() == nullptr || !GetExitCodeProcess(host.process(), &code)) return std::nullopt;
  if (code == STILL_ACTIVE) return std::nullopt;
  return code;
}

std::string RendererEnded(DWORD code) {
  return "the renderer exited early with code " + std::to_string(code);
}

// Reads one channel until told to stop, handing every block to the recording.
class ChannelReader {
 public:
  ChannelReader(HostLink& host, Recording& recording, bool video)
      : thread_([this, &host, &recording, video] {
          while (!stop_) {
            auto block = video ? host.readVideo(100) : host.readAudio(100);
            if (!block || stop_) continue;
            if (video) {
              recording.addVideoBlock(std::move(*block));
            } else {
              recording.addAudioBlock(std::move(*block));
            }
          }
        }) {}
  ~ChannelReader() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void PrintSummary(const RecordingSummary& s, std::int64_t rendererExit) {
  std::printf("recorded %.2f s: %lld frames (%.1f fps), %lld dropped\n", s.seconds,
              static_cast<long long>(s.frames),
              s.seconds > 0 ? static_cast<double>(s.frames) / s.seconds : 0.0,
              static_cast<long long>(s.dropped));
  std::printf("audio: %.2f s, level %s, peak %s%s\n", s.audioSeconds, Dbfs(s.audioRmsDbfs).c_str(),
              Dbfs(s.audioPeakDbfs).c_str(),
              s.badAudioBlocks > 0
                  ? (", " + std::to_string(s.badAudioBlocks) + " malformed blocks").c_str()
                  : "");
  std::printf("video: %s %dx%d%s\n", s.videoCodec.c_str(), s.lastWidth, s.lastHeight,
              s.mp4HasAudio ? ", with AAC audio" : ", no audio track (the page made no sound)");
  std::printf("renderer exit code: %lld\n", static_cast<long long>(rendererExit));
  for (const auto& file : s.files) std::printf("  %s\n", file.c_str());
  std::fflush(stdout);
}

class Run {
 public:
  explicit Run(const HostOptions& options) : options_(options) {}
  int execute();

 private:
  int interact(LiveStatus& status);
  int recordFor(LiveStatus& status);
  bool waitForReady(int* failure);

  const HostOptions& options_;
  std::unique_ptr<HostLink> host_;
  std::unique_ptr<Recording> recording_;
  std::string url_;
  bool reported_ = false;  // the failure has been printed already; nothing was recorded
};

int Run::execute() {
  const std::string browser = options_.browser.empty() ? DefaultBrowserPath() : options_.browser;
  std::error_code code;
  if (!fs::is_regular_file(browser, code) || access(browser.c_str(), X_OK) != 0) {
    return Fail(kExitRendererMissing,
                "renderer not found or not executable: " + browser + " (use --browser PATH)");
  }
  std::string error;
  if (!PrepareOutputFolder(options_.outDir, &error)) return Fail(kExitOutputFolder, error);

  std::unique_ptr<LocalWebServer> web;
  url_ = options_.url;
  if (url_.empty()) {
    const std::string demo = FindDemoDir();
    if (demo.empty()) {
      return Fail(kExitFailure,
                  "the bundled demo page is missing (looked in " +
                      (fs::path(ExecutableDir()).parent_path() / "share/tavrimon/demo").string() +
                      "); pass --url");
    }
    web = std::make_unique<LocalWebServer>(demo);
    if (!web->start()) return Fail(kExitFailure, "cannot serve the demo page on 127.0.0.1");
    url_ = web->origin() + "/index.html";
  }

  Recording::Config config;
  config.outDir = options_.outDir;
  config.width = options_.width;
  config.height = options_.height;
  config.imageFormat = options_.imageFormat;
  config.expectedMs = options_.interactive ? 0 : static_cast<std::int64_t>(options_.seconds * 1000);
  recording_ = std::make_unique<Recording>(config);
  if (!recording_->open(&error)) return Fail(kExitFailure, error);

  const int id = options_.id != 0 ? options_.id : static_cast<int>(getpid());
  host_ = std::make_unique<HostLink>(id);
  if (!host_->holdInstanceMutex()) {
    return Fail(kExitNoLink, "cannot hold the host-instance mutex");
  }
  try {
    if (!host_->start()) {
      return Fail(kExitNoLink,
                  "cannot create the link objects for instance id " + std::to_string(id));
    }
  } catch (const std::exception& failure) {
    return Fail(kExitNoLink, "cannot create the link objects for instance id " +
                                 std::to_string(id) + ": " + failure.what());
  }
  if (!host_->launch(browser)) return Fail(kExitRendererMissing, "cannot start " + browser);

  const auto connectDeadline = Clock::now() + kConnectTimeout;
  while (!host_->settings.connect()) {
    if (auto exited = ExitedWith(*host_)) return Fail(kExitRendererEnded, RendererEnded(*exited));
    if (Clock::now() >= connectDeadline) {
      return Fail(kExitNoLink, "the renderer did not open its command channel within " +
                                   std::to_string(kConnectTimeout.count()) + " s");
    }
  }

  shr_avsource& settings = host_->settings;
  settings.setImageFormat(options_.imageFormat);
  settings.setViewport(options_.width, options_.height);
  if (!settings.setTarget(url_)) return Fail(kExitNoLink, "cannot send the URL to the renderer");
  settings.Update();

  int result = kExitOk;
  {
    ChannelReader video(*host_, *recording_, true);
    ChannelReader audio(*host_, *recording_, false);
    LiveStatus status(options_.fpsReport || isatty(2) != 0, isatty(2) != 0);
    result = options_.interactive ? interact(status) : recordFor(status);
    status.end();
    if (result == kExitOk) settings.close();
  }
  // Whatever arrived is kept, also when the renderer ended on its own during the recording.
  if (reported_ || (result != kExitOk && result != kExitRendererEnded)) return result;

  std::int64_t rendererExit = -1;
  if (auto exited = host_->waitExit(kExitWaitMs)) {
    rendererExit = *exited;
  } else if (result == kExitOk) {
    std::fprintf(stderr, "tavrimon-host: the renderer did not exit after \"close\"; ending it\n");
  }
  RecordingSummary summary;
  const bool written = recording_->finish(&summary, &error);
  if (result == kExitRendererEnded) {
    if (written) PrintSummary(summary, rendererExit);
    return Fail(kExitRendererEnded, RendererEnded(static_cast<DWORD>(rendererExit)));
  }
  if (!written) return Fail(kExitFailure, error);
  PrintSummary(summary, rendererExit);
  return kExitOk;
}

bool Run::waitForReady(int* failure) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(
                                           static_cast<std::int64_t>(options_.loadTimeout * 1000));
  for (;;) {
    if (auto exited = ExitedWith(*host_)) {
      *failure = Fail(kExitRendererEnded, RendererEnded(*exited));
      return false;
    }
    if (host_->settings.isReady()) return true;
    if (Clock::now() >= deadline) {
      *failure = Fail(kExitPageNotLoaded, "the page did not finish loading within " +
                                              Seconds(options_.loadTimeout) + " s: " + url_);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

int Run::recordFor(LiveStatus& status) {
  int failure = kExitOk;
  if (!waitForReady(&failure)) {
    reported_ = true;
    return failure;
  }
  recording_->arm();
  const auto length = static_cast<std::int64_t>(options_.seconds * 1000);
  while (recording_->elapsedMs() < length) {
    if (auto exited = ExitedWith(*host_)) return kExitRendererEnded;
    status.update(recording_->frames(), recording_->dropped(),
                  recording_->meter().takeRecentDbfs());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return kExitOk;
}

int Run::interact(LiveStatus& status) {
  recording_->arm();
  shr_avsource& settings = host_->settings;
  StdinLines input;
  // A size sent but not yet applied: width 0 when there is none.
  int pendingWidth = 0;
  int pendingHeight = 0;
  auto reply = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  for (;;) {
    if (ExitedWith(*host_)) return kExitRendererEnded;
    status.update(recording_->frames(), recording_->dropped(),
                  recording_->meter().takeRecentDbfs());
    auto line = input.next(50);
    if (!line) {
      if (input.ended()) return kExitOk;
      continue;
    }
    InteractiveCommand command;
    std::string error;
    if (!ParseInteractiveCommand(*line, options_.imageFormat, &command, &error)) {
      std::fprintf(stderr, "tavrimon-host: %s\n", error.c_str());
      continue;
    }
    using Kind = InteractiveCommand::Kind;
    switch (command.kind) {
      case Kind::Empty:
        continue;
      case Kind::Url:
        settings.setTarget(command.url);
        reply("ok url (takes effect on update)");
        break;
      case Kind::Size:
        settings.setViewport(command.a, command.b);
        pendingWidth = command.a;
        pendingHeight = command.b;
        reply("ok size (takes effect on update)");
        break;
      case Kind::Update:
        // The renderer makes frames of the new size once it has applied the update.
        if (pendingWidth != 0) recording_->expectSize(pendingWidth, pendingHeight);
        pendingWidth = 0;
        settings.Update();
        reply("ok update");
        break;
      case Kind::Pause:
        settings.pause();
        reply("ok pause");
        break;
      case Kind::Resume:
        settings.resume();
        reply("ok resume");
        break;
      case Kind::Scroll:
        settings.setScrollPosition(command.a, command.b);
        reply("ok scroll");
        break;
      case Kind::Ready:
        reply(std::string("ready ") + (settings.isReady() ? "1" : "0"));
        break;
      case Kind::Quit:
        return kExitOk;
    }
  }
}

}  // namespace

int RunHost(const HostOptions& options) {
  return Run(options).execute();
}
