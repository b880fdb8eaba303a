#include "video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace {

bool WriteAll(std::FILE* file, const void* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

}  // namespace

VideoEncoder::~VideoEncoder() {
  if (spool_ != nullptr) std::fclose(spool_);
  sws_freeContext(scaler_);
  av_packet_free(&packet_);
  av_frame_free(&picture_);
  avcodec_free_context(&codec_);
}

bool VideoEncoder::open(int width, int height, const std::string& spoolPath, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (codec == nullptr) {
    *error = "this FFmpeg has neither an H.264 (libx264) nor an MPEG-4 encoder";
    return false;
  }
  codec_ = avcodec_alloc_context3(codec);
  picture_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (codec_ == nullptr || picture_ == nullptr || packet_ == nullptr) {
    *error = "out of memory for the video encoder";
    return false;
  }
  codec_->width = std::max(2, width & ~1);
  codec_->height = std::max(2, height & ~1);
  codec_->pix_fmt = AV_PIX_FMT_YUV420P;
  // Frames are stamped by their arrival, in milliseconds.
  codec_->time_base = AVRational{1, 1000};
  codec_->framerate = AVRational{30, 1};
  codec_->gop_size = 60;
  codec_->max_b_frames = 0;
  codec_->thread_count = 2;
  codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MP4 keeps the parameter sets in its header
  if (codec->id == AV_CODEC_ID_H264) {
    av_opt_set(codec_->priv_data, "preset", "veryfast", 0);
  } else {
    codec_->bit_rate = std::max<std::int64_t>(1000000, std::int64_t{width} * height * 4);
  }
  if (avcodec_open2(codec_, codec, nullptr) < 0) {
    *error = std::string("cannot open the ") + codec->name + " encoder";
    return false;
  }
  picture_->format = codec_->pix_fmt;
  picture_->width = codec_->width;
  picture_->height = codec_->height;
  if (av_frame_get_buffer(picture_, 0) < 0) {
    *error = "out of memory for the video encoder";
    return false;
  }
  spool_ = std::fopen(spoolPath.c_str(), "w+b");
  if (spool_ == nullptr) {
    *error = "cannot write " + spoolPath;
    return false;
  }
  return true;
}

std::string VideoEncoder::codecName() const {
  return codec_ != nullptr && codec_->codec != nullptr ? codec_->codec->name : "";
}

bool VideoEncoder::encode(const CapturedFrame& frame) {
  return encodeAt(frame, frame.ms);
}

bool VideoEncoder::holdUntil(const CapturedFrame& last, std::int64_t ms) {
  if (lastPts_ < 0 || ms <= lastPts_ + lastFrameMs_) return true;
  if (!encodeAt(last, ms)) return false;
  lastFrameMs_ = 0;  // the repeated frame marks the end, it adds no time of its own
  return true;
}

bool VideoEncoder::encodeAt(const CapturedFrame& frame, std::int64_t ms) {
  if (codec_ == nullptr || failed_) return false;
  const AVPixelFormat source = frame.imageFormat == 0 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
  scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, source, codec_->width,
                                 codec_->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr);
  if (scaler_ == nullptr || av_frame_make_writable(picture_) < 0) return false;
  const std::uint8_t* planes[1] = {frame.pixels.data()};
  const int strides[1] = {frame.width * (frame.imageFormat == 0 ? 3 : 4)};
  sws_scale(scaler_, planes, strides, 0, frame.height, picture_->data, picture_->linesize);
  // Two frames in the same millisecond still need rising timestamps.
  const std::int64_t pts = std::max(ms, lastPts_ + 1);
  if (lastPts_ >= 0) lastFrameMs_ = std::clamp<std::int64_t>(pts - lastPts_, 1, 1000);
  lastPts_ = pts;
  picture_->pts = pts;
  ++frames_;
  return send(picture_);
}

bool VideoEncoder::send(AVFrame* frame) {
  if (avcodec_send_frame(codec_, frame) < 0) {
    failed_ = true;
    return false;
  }
  for (;;) {
    const int result = avcodec_receive_packet(codec_, packet_);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) {
      failed_ = true;
      return false;
    }
    const std::int64_t header[2] = {packet_->pts, packet_->dts};
    const std::int32_t fields[2] = {packet_->flags, packet_->size};
    if (!WriteAll(spool_, header, sizeof header) || !WriteAll(spool_, fields, sizeof fields) ||
        !WriteAll(spool_, packet_->data, static_cast<std::size_t>(packet_->size))) {
      failed_ = true;
    }
    av_packet_unref(packet_);
    if (failed_) return false;
  }
}

bool VideoEncoder::finish() {
  if (codec_ == nullptr || spool_ == nullptr) return false;
  if (!failed_) send(nullptr);
  const bool ok = !failed_ && std::fflush(spool_) == 0;
  std::fclose(spool_);
  spool_ = nullptr;
  return ok;
}

PacketSpoolReader::PacketSpoolReader(const std::string& path)
    : file_(std::fopen(path.c_str(), "rb")) {}

PacketSpoolReader::~PacketSpoolReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool PacketSpoolReader::next(SpooledPacket* packet) {
  if (file_ == nullptr) return false;
  std::int64_t header[2];
  std::int32_t fields[2];
  if (std::fread(header, sizeof header, 1, file_) != 1 ||
      std::fread(fields, sizeof fields, 1, file_) != 1 || fields[1] < 0) {
    return false;
  }
  packet->pts = header[0];
  packet->dts = header[1];
  packet->flags = fields[0];
  packet->data.resize(static_cast<std::size_t>(fields[1]));
  return packet->data.empty() ||
         std::fread(packet->data.data(), packet->data.size(), 1, file_) == 1;
}
