// Encodes the recorded frames as they arrive (H.264 through libx264 when this FFmpeg has it,
// otherwise MPEG-4 Part 2) and spools the packets to a file, so that the MP4 can be assembled
// at the end with or without an audio track and without holding the video in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "captured_frame.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// One encoded packet as the spool holds it; timestamps in milliseconds.
struct SpooledPacket {
  std::int64_t pts = 0;
  std::int64_t dts = 0;
  std::int32_t flags = 0;
  std::string data;
};

class VideoEncoder {
 public:
  VideoEncoder() = default;
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Opens the encoder for frames of width x height (odd sizes are encoded one pixel smaller,
  // as 4:2:0 video needs even sizes) and the spool file.
  bool open(int width, int height, const std::string& spoolPath, std::string* error);
  // Frames of another size are scaled to the encoder's size.
  bool encode(const CapturedFrame& frame);
  // Shows `last` (the frame encoded last) until `ms`: when the video would end before then, the
  // frame is encoded once more at `ms` and the video ends there. A page that stopped painting
  // still fills the whole recording.
  bool holdUntil(const CapturedFrame& last, std::int64_t ms);
  // Drains the encoder and closes the spool for reading.
  bool finish();

  const AVCodecContext* context() const { return codec_; }
  std::string codecName() const;
  std::int64_t frames() const { return frames_; }
  // Milliseconds from the start to the end of the last frame.
  std::int64_t durationMs() const { return lastPts_ < 0 ? 0 : lastPts_ + lastFrameMs_; }

 private:
  bool encodeAt(const CapturedFrame& frame, std::int64_t ms);
  bool send(AVFrame* frame);

  AVCodecContext* codec_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  std::FILE* spool_ = nullptr;
  std::int64_t lastPts_ = -1;
  std::int64_t lastFrameMs_ = 33;
  std::int64_t frames_ = 0;
  bool failed_ = false;
};

// Reads back a spool written by VideoEncoder.
class PacketSpoolReader {
 public:
  explicit PacketSpoolReader(const std::string& path);
  ~PacketSpoolReader();
  PacketSpoolReader(const PacketSpoolReader&) = delete;
  PacketSpoolReader& operator=(const PacketSpoolReader&) = delete;
  bool next(SpooledPacket* packet);

 private:
  std::FILE* file_ = nullptr;
};
