#include "recording.h"

#include <algorithm>
#include <filesystem>

#include "mp4_assembler.h"
#include "png_writer.h"

namespace {
// Frames waiting for the encoder; past this the newest frame is dropped.
constexpr std::size_t kQueueLimit = 16;
}  // namespace

Recording::Recording(Config config)
    : config_(std::move(config)),
      expectedWidth_(config_.width),
      expectedHeight_(config_.height),
      contact_(config_.expectedMs) {}

Recording::~Recording() {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    closing_ = true;
  }
  queueChanged_.notify_all();
  if (encoder_.joinable()) encoder_.join();
  // A run that ended before finish() recorded nothing worth keeping: leave no files behind.
  if (!finished_) {
    wav_.finish();
    std::error_code ignored;
    std::filesystem::remove(path(".recording.spool"), ignored);
    std::filesystem::remove(path("audio.wav"), ignored);
  }
}

std::string Recording::path(const char* name) const {
  return (std::filesystem::path(config_.outDir) / name).string();
}

bool Recording::open(std::string* error) {
  if (!wav_.open(path("audio.wav"))) {
    *error = "cannot write " + path("audio.wav");
    return false;
  }
  if (!video_.open(config_.width, config_.height, path(".recording.spool"), error)) return false;
  encoder_ = std::thread(&Recording::encodeLoop, this);
  return true;
}

void Recording::arm() {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    start_ = std::chrono::steady_clock::now();
    armed_ = true;
    // A page that painted before it reported ready may never paint again.
    if (beforeArm_ && !closing_) {
      beforeArm_->ms = 0;
      queue_.push_back(std::move(*beforeArm_));
      ++frames_;
    }
    beforeArm_.reset();
  }
  queueChanged_.notify_one();
}

std::int64_t Recording::elapsedMs() const {
  if (!armed_) return 0;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start_)
      .count();
}

void Recording::expectSize(int width, int height) {
  expectedWidth_ = width;
  expectedHeight_ = height;
}

void Recording::addVideoBlock(std::vector<std::uint8_t> pixels) {
  CapturedFrame frame;
  frame.ms = elapsedMs();
  frame.width = expectedWidth_;
  frame.height = expectedHeight_;
  frame.imageFormat = config_.imageFormat;
  const std::size_t expected =
      static_cast<std::size_t>(frame.width) * frame.height * (config_.imageFormat == 0 ? 3 : 4);
  if (pixels.size() != expected) {
    if (armed_) ++dropped_;
    return;
  }
  frame.pixels = std::move(pixels);
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    if (!armed_) {
      beforeArm_ = std::move(frame);
      return;
    }
    if (closing_ || queue_.size() >= kQueueLimit) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(frame));
  }
  ++frames_;
  queueChanged_.notify_one();
}

void Recording::addAudioBlock(std::vector<std::uint8_t> pcm) {
  if (!armed_) return;
  if (pcm.size() % WavWriter::kBytesPerFrame != 0) {
    ++badAudioBlocks_;
    return;
  }
  const std::int64_t now = elapsedMs();
  std::lock_guard<std::mutex> guard(audioLock_);
  if (finished_) return;
  if (!audioStartMs_) {
    // The block's samples were made before it arrived.
    const auto lengthMs = static_cast<std::int64_t>(pcm.size() / WavWriter::kBytesPerFrame) * 1000 /
                          WavWriter::kSampleRate;
    audioStartMs_ = std::max<std::int64_t>(0, now - lengthMs);
  }
  wav_.append(pcm.data(), pcm.size());
  meter_.add(pcm.data(), pcm.size());
}

void Recording::encodeLoop() {
  for (;;) {
    CapturedFrame frame;
    {
      std::unique_lock<std::mutex> guard(queueLock_);
      queueChanged_.wait(guard, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;  // closing, and everything is encoded
      frame = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!video_.encode(frame)) encodeFailed_ = true;
    contact_.offer(frame);
    last_ = std::move(frame);
  }
}

bool Recording::finish(RecordingSummary* summary, std::string* error) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    closing_ = true;
  }
  queueChanged_.notify_all();
  if (encoder_.joinable()) encoder_.join();
  // The last frame stays on screen until the recording's end, also when the page stopped
  // painting long before.
  if (last_ && !encodeFailed_) {
    const std::int64_t endMs =
        config_.expectedMs > 0 ? std::min(elapsedMs(), config_.expectedMs) : elapsedMs();
    if (!video_.holdUntil(*last_, endMs)) encodeFailed_ = true;
  }
  std::optional<std::int64_t> audioStart;
  {
    std::lock_guard<std::mutex> guard(audioLock_);
    finished_ = true;
    audioStart = audioStartMs_;
  }
  const bool wavOk = wav_.finish();
  const bool videoOk = video_.finish() && !encodeFailed_;

  summary->seconds = static_cast<double>(video_.durationMs()) / 1000.0;
  summary->frames = frames_;
  summary->dropped = dropped_;
  summary->badAudioBlocks = badAudioBlocks_;
  summary->audioSeconds =
      static_cast<double>(wav_.dataBytes()) / (WavWriter::kBytesPerFrame * WavWriter::kSampleRate);
  summary->audioRmsDbfs = meter_.overallDbfs();
  summary->audioPeakDbfs = meter_.peakDbfs();
  summary->videoCodec = video_.codecName();

  bool ok = true;
  if (!wavOk) {
    *error = "cannot write " + path("audio.wav");
    ok = false;
  } else {
    summary->files.push_back(path("audio.wav"));
  }
  if (!last_) {
    if (ok) *error = "no video frame arrived from the renderer";
    ok = false;
  } else {
    summary->lastWidth = last_->width;
    summary->lastHeight = last_->height;
    if (WritePngRgba(path("last.png"), last_->width, last_->height, ToRgba(*last_))) {
      summary->files.push_back(path("last.png"));
    } else if (ok) {
      *error = "cannot write " + path("last.png");
      ok = false;
    }
    if (contact_.write(path("contact.png"))) {
      summary->files.push_back(path("contact.png"));
    } else if (ok) {
      *error = "cannot write " + path("contact.png");
      ok = false;
    }
  }
  if (!videoOk) {
    if (ok) *error = "the video encoder failed";
    ok = false;
  } else if (last_) {
    Mp4Audio audio;
    // The track carries sound only when the page made some.
    if (meter_.heardSound() && audioStart) {
      audio.wavPath = path("audio.wav");
      audio.startMs = *audioStart;
    }
    std::string mp4Error;
    if (AssembleMp4(path("recording.mp4"), video_, path(".recording.spool"), audio, &mp4Error)) {
      summary->mp4HasAudio = !audio.wavPath.empty();
      summary->files.insert(summary->files.begin(), path("recording.mp4"));
    } else if (ok) {
      *error = mp4Error;
      ok = false;
    }
  }
  std::error_code ignored;
  std::filesystem::remove(path(".recording.spool"), ignored);
  return ok;
}
