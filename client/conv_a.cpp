#include "client/conv_a.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <cstdlib>

conv_a::conv_a(int sampleRate, int channels) : inputRate(sampleRate), inputChannels(channels) {
  if (sampleRate <= 0 || channels <= 0) {
    return;
  }
  // Both sides are described as stereo: a mono stream is fed as two equal planes.
  AVChannelLayout stereo{};
  av_channel_layout_from_mask(&stereo, AV_CH_LAYOUT_STEREO);
  if (swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &stereo,
                          AV_SAMPLE_FMT_FLTP, sampleRate, 0, nullptr) < 0 ||
      swr_init(resampler) < 0) {
    swr_free(&resampler);
    return;
  }
  outBuffer = static_cast<uint8_t*>(std::malloc(kBufferBytes));
  if (outBuffer == nullptr) {
    swr_free(&resampler);
  }
}

conv_a::~conv_a() {
  std::lock_guard<std::mutex> guard(lock);
  swr_free(&resampler);
  std::free(outBuffer);
  outBuffer = nullptr;
}

bool conv_a::Convert(const float** data, int frames) {
  std::lock_guard<std::mutex> guard(lock);
  outLength = 0;
  if (!IsUsable() || data == nullptr || frames <= 0) {
    return false;
  }
  const float* const left = data[0];
  const float* const right = inputChannels >= 2 ? data[1] : data[0];
  if (left == nullptr || right == nullptr) {
    return false;
  }

  // Everything the resampler can give for its held samples plus this packet, at 44,100 Hz,
  // rounded up; the packet is refused unless all of it fits the block.
  const int64_t predicted = av_rescale_rnd(swr_get_delay(resampler, inputRate) + frames,
                                           kOutputRate, inputRate, AV_ROUND_UP);
  if (predicted <= 0 || predicted * kBytesPerFrame > kBufferBytes) {
    return false;
  }

  // The resampler is not flushed after the packet: a flush pads the stream with mirrored
  // samples and closes it, which puts a click and a phase jump into the sound at the packet
  // boundary. The few samples it holds back come out at the head of the next block.
  const uint8_t* in[2] = {reinterpret_cast<const uint8_t*>(left),
                          reinterpret_cast<const uint8_t*>(right)};
  uint8_t* out[1] = {outBuffer};
  const int converted = swr_convert(resampler, out, static_cast<int>(predicted), in, frames);
  if (converted <= 0) {
    return false;
  }
  outLength = converted * kBytesPerFrame;
  return true;
}
