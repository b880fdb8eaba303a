#include "media_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct InputCloser {
  void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};

std::unique_ptr<AVFormatContext, InputCloser> OpenInput(const std::string& path) {
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return nullptr;
  std::unique_ptr<AVFormatContext, InputCloser> owned(input);
  if (avformat_find_stream_info(input, nullptr) < 0) return nullptr;
  return owned;
}

}  // namespace

std::optional<MediaFacts> ProbeMedia(const std::string& path) {
  auto input = OpenInput(path);
  if (!input) return std::nullopt;
  MediaFacts facts;
  facts.seconds = input->duration > 0 ? static_cast<double>(input->duration) / AV_TIME_BASE : 0;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* stream = input->streams[i];
    StreamFacts s;
    s.codec = avcodec_get_name(stream->codecpar->codec_id);
    s.video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    s.width = stream->codecpar->width;
    s.height = stream->codecpar->height;
    if (stream->duration > 0)
      s.seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    facts.streams.push_back(s);
  }
  return facts;
}

std::optional<RgbaImage> DecodeImage(const std::string& path) {
  auto input = OpenInput(path);
  if (!input || input->nb_streams < 1) return std::nullopt;
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (codec == nullptr) return std::nullopt;
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
      avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                        [](AVPacket* p) { av_packet_free(&p); });
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                     [](AVFrame* f) { av_frame_free(&f); });
  if (avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0 ||
      av_read_frame(input.get(), packet.get()) < 0 ||
      avcodec_send_packet(decoder.get(), packet.get()) < 0 ||
      avcodec_receive_frame(decoder.get(), frame.get()) < 0) {
    return std::nullopt;
  }
  RgbaImage image;
  image.width = frame->width;
  image.height = frame->height;
  image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
  SwsContext* scaler = sws_getContext(
      frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
      frame->height, AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
  if (scaler == nullptr) return std::nullopt;
  std::uint8_t* planes[1] = {image.rgba.data()};
  const int strides[1] = {image.width * 4};
  sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
  sws_freeContext(scaler);
  return image;
}

std::optional<WavFacts> ReadWav(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return std::nullopt;
  std::uint8_t header[44];
  if (std::fread(header, 1, 44, file.get()) != 44 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVEfmt ", 8) != 0 || std::memcmp(header + 36, "data", 4) != 0) {
    return std::nullopt;
  }
  auto u16 = [&](int at) { return header[at] | (header[at + 1] << 8); };
  auto u32 = [&](int at) {
    return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
  };
  WavFacts facts;
  facts.channels = u16(22);
  facts.sampleRate = static_cast<int>(u32(24));
  facts.bits = u16(34);
  const std::uint32_t bytes = u32(40);
  if (facts.channels != 2 || facts.bits != 16) return facts;
  std::vector<std::int16_t> all(bytes / 2);
  if (std::fread(all.data(), 2, all.size(), file.get()) != all.size()) return std::nullopt;
  for (std::size_t i = 0; i + 1 < all.size(); i += 2) facts.left.push_back(all[i]);
  return facts;
}

double ToneFrequency(const std::vector<std::int16_t>& samples, int sampleRate) {
  std::size_t first = 0;
  std::size_t last = 0;
  int crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0 && samples[i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * static_cast<double>(sampleRate) / static_cast<double>(last - first);
}
