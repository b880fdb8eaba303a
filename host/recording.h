// Everything recorded from one renderer: video frames go through a queue to the encoder
// thread (so a slow encoder drops frames instead of stalling the channel reader), audio goes
// straight to audio.wav. finish() writes recording.mp4, last.png and contact.png.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio_meter.h"
#include "captured_frame.h"
#include "contact_sheet.h"
#include "video_encoder.h"
#include "wav_writer.h"

struct RecordingSummary {
  double seconds = 0;
  std::int64_t frames = 0;
  std::int64_t dropped = 0;
  std::int64_t badAudioBlocks = 0;
  double audioSeconds = 0;
  double audioRmsDbfs = 0;
  double audioPeakDbfs = 0;
  std::string videoCodec;
  bool mp4HasAudio = false;
  int lastWidth = 0;
  int lastHeight = 0;
  std::vector<std::string> files;
};

class Recording {
 public:
  struct Config {
    std::string outDir;
    int width = 0;
    int height = 0;
    int imageFormat = 1;
    std::int64_t expectedMs = 0;  // 0 when the run has no set length
  };

  explicit Recording(Config config);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Opens audio.wav, the encoder and its spool.
  bool open(std::string* error);
  // From now on blocks are recorded, stamped relative to this moment. The last frame that
  // arrived before is recorded too, at the start: it is the page as it stands.
  void arm();
  bool armed() const { return armed_; }
  std::int64_t elapsedMs() const;

  // A video frame block's pixel data (after the count). Frames of the wrong byte count for the
  // size and format the renderer was asked for are counted as dropped.
  void addVideoBlock(std::vector<std::uint8_t> pixels);
  // An audio block's PCM data (after the count).
  void addAudioBlock(std::vector<std::uint8_t> pcm);
  // The size frames are expected in from now on (after a resize took effect).
  void expectSize(int width, int height);

  std::int64_t frames() const { return frames_; }
  std::int64_t dropped() const { return dropped_; }
  AudioMeter& meter() { return meter_; }

  // Stops recording and writes every output file.
  bool finish(RecordingSummary* summary, std::string* error);

 private:
  void encodeLoop();
  std::string path(const char* name) const;

  Config config_;
  std::atomic<bool> armed_{false};
  std::chrono::steady_clock::time_point start_;
  std::atomic<int> expectedWidth_;
  std::atomic<int> expectedHeight_;
  std::atomic<std::int64_t> frames_{0};
  std::atomic<std::int64_t> dropped_{0};
  std::atomic<std::int64_t> badAudioBlocks_{0};

  std::mutex queueLock_;
  std::condition_variable queueChanged_;
  std::deque<CapturedFrame> queue_;
  std::optional<CapturedFrame> beforeArm_;  // the newest frame that came before arm()
  bool closing_ = false;
  std::thread encoder_;

  // Touched by the encoder thread only, until it has ended.
  VideoEncoder video_;
  ContactSheet contact_;
  std::optional<CapturedFrame> last_;
  bool encodeFailed_ = false;

  std::mutex audioLock_;
  WavWriter wav_;
  std::optional<std::int64_t> audioStartMs_;
  AudioMeter meter_;
  bool finished_ = false;
};
