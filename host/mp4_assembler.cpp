#include "mp4_assembler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr int kAudioRate = 44100;
constexpr long kWavHeaderSize = 44;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// AAC packets made from the 16-bit stereo WAV file, one encoder frame at a time.
class AacSource {
 public:
  ~AacSource() {
    if (wav_ != nullptr) std::fclose(wav_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
  }

  bool open(const Mp4Audio& audio, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    codec_ = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    frame_ = av_frame_alloc();
    if (codec_ == nullptr || frame_ == nullptr) {
      *error = "this FFmpeg has no AAC encoder";
      return false;
    }
    codec_->sample_rate = kAudioRate;
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&codec_->ch_layout, 2);
    codec_->bit_rate = 160000;
    codec_->time_base = AVRational{1, kAudioRate};
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec_, codec, nullptr) < 0) {
      *error = "cannot open the AAC encoder";
      return false;
    }
    frame_->format = codec_->sample_fmt;
    frame_->nb_samples = codec_->frame_size > 0 ? codec_->frame_size : 1024;
    frame_->sample_rate = kAudioRate;
    if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0) {
      *error = "out of memory for the audio encoder";
      return false;
    }
    wav_ = std::fopen(audio.wavPath.c_str(), "rb");
    if (wav_ == nullptr || std::fseek(wav_, kWavHeaderSize, SEEK_SET) != 0) {
      *error = "cannot read " + audio.wavPath;
      return false;
    }
    nextPts_ = av_rescale(audio.startMs, kAudioRate, 1000);
    return true;
  }

  AVCodecContext* context() { return codec_; }

  // The next AAC packet in the encoder's time base; false when all are out.
  bool next(AVPacket* packet) {
    for (;;) {
      const int result = avcodec_receive_packet(codec_, packet);
      if (result == 0) return true;
      if (result != AVERROR(EAGAIN) || drained_) return false;
      if (!feed()) return false;
    }
  }

 private:
  bool feed() {
    const int samples = frame_->nb_samples;
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(samples) * 2, 0);
    const std::size_t got = std::fread(pcm.data(), 4, static_cast<std::size_t>(samples), wav_);
    if (got == 0) {
      drained_ = true;
      return avcodec_send_frame(codec_, nullptr) >= 0;
    }
    if (av_frame_make_writable(frame_) < 0) return false;
    auto* left = reinterpret_cast<float*>(frame_->data[0]);
    auto* right = reinterpret_cast<float*>(frame_->data[1]);
    // The last frame is padded with silence: the encoder takes whole frames only.
    for (int i = 0; i < samples; ++i) {
      left[i] = static_cast<float>(pcm[2 * static_cast<std::size_t>(i)]) / 32768.0f;
      right[i] = static_cast<float>(pcm[2 * static_cast<std::size_t>(i) + 1]) / 32768.0f;
    }
    frame_->pts = nextPts_;
    nextPts_ += samples;
    return avcodec_send_frame(codec_, frame_) >= 0;
  }

  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  std::FILE* wav_ = nullptr;
  std::int64_t nextPts_ = 0;
  bool drained_ = false;
};

struct OutputCloser {
  void operator()(AVFormatContext* output) const {
    if (output == nullptr) return;
    if (output->pb != nullptr) avio_closep(&output->pb);
    avformat_free_context(output);
  }
};

}  // namespace

bool AssembleMp4(const std::string& mp4Path, const VideoEncoder& video,
                 const std::string& spoolPath, const Mp4Audio& audio, std::string* error) {
  const AVCodecContext* videoCodec = video.context();
  if (videoCodec == nullptr) {
    *error = "no video was encoded";
    return false;
  }
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, "mp4", mp4Path.c_str()) < 0) {
    *error = "this FFmpeg cannot write MP4";
    return false;
  }
  std::unique_ptr<AVFormatContext, OutputCloser> output(raw);

  AVStream* videoStream = avformat_new_stream(output.get(), nullptr);
  if (videoStream == nullptr ||
      avcodec_parameters_from_context(videoStream->codecpar, videoCodec) < 0) {
    *error = "cannot add the video track";
    return false;
  }
  videoStream->time_base = videoCodec->time_base;
  videoStream->avg_frame_rate = videoCodec->framerate;

  std::unique_ptr<AacSource> aac;
  AVStream* audioStream = nullptr;
  if (!audio.wavPath.empty()) {
    aac = std::make_unique<AacSource>();
    if (!aac->open(audio, error)) return false;
    audioStream = avformat_new_stream(output.get(), nullptr);
    if (audioStream == nullptr ||
        avcodec_parameters_from_context(audioStream->codecpar, aac->context()) < 0) {
      *error = "cannot add the audio track";
      return false;
    }
    audioStream->time_base = aac->context()->time_base;
  }

  int result = avio_open(&output->pb, mp4Path.c_str(), AVIO_FLAG_WRITE);
  if (result < 0) {
    *error = "cannot write " + mp4Path + ": " + AvError(result);
    return false;
  }
  result = avformat_write_header(output.get(), nullptr);
  if (result < 0) {
    *error = "cannot start " + mp4Path + ": " + AvError(result);
    return false;
  }

  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                        [](AVPacket* p) { av_packet_free(&p); });
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> audioPacket(
      av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  PacketSpoolReader spool(spoolPath);
  SpooledPacket spooled;
  bool haveVideo = spool.next(&spooled);
  bool haveAudio = aac && aac->next(audioPacket.get());
  const AVRational millis{1, 1000};

  // Whichever track is behind in time goes next.
  while (haveVideo || haveAudio) {
    const bool videoFirst =
        haveVideo && (!haveAudio || av_compare_ts(spooled.dts, millis, audioPacket->dts,
                                                  aac->context()->time_base) <= 0);
    if (videoFirst) {
      av_packet_unref(packet.get());
      if (av_new_packet(packet.get(), static_cast<int>(spooled.data.size())) < 0) {
        *error = "out of memory while writing " + mp4Path;
        return false;
      }
      std::memcpy(packet->data, spooled.data.data(), spooled.data.size());
      packet->pts = spooled.pts;
      packet->dts = spooled.dts;
      packet->flags = spooled.flags;
      packet->stream_index = videoStream->index;
      av_packet_rescale_ts(packet.get(), millis, videoStream->time_base);
      result = av_interleaved_write_frame(output.get(), packet.get());
      haveVideo = spool.next(&spooled);
    } else {
      audioPacket->stream_index = audioStream->index;
      av_packet_rescale_ts(audioPacket.get(), aac->context()->time_base, audioStream->time_base);
      result = av_interleaved_write_frame(output.get(), audioPacket.get());
      haveAudio = aac->next(audioPacket.get());
    }
    if (result < 0) {
      *error = "cannot write " + mp4Path + ": " + AvError(result);
      return false;
    }
  }
  result = av_write_trailer(output.get());
  if (result < 0) {
    *error = "cannot finish " + mp4Path + ": " + AvError(result);
    return false;
  }
  return true;
}
