#include "audio_wire.h"

#include <cstring>

namespace tavrimon::audio {
namespace {

void PutHeader(std::vector<uint8_t>& out, const WireHeader& header, size_t payloadBytes) {
  out.resize(sizeof(WireHeader) + payloadBytes);
  std::memcpy(out.data(), &header, sizeof header);
}

}  // namespace

void EncodeStarted(std::vector<uint8_t>& out, int id, int channels, int sampleRate,
                   int framesPerBuffer) {
  const WireHeader header{kWireMagic, static_cast<uint32_t>(WireKind::kStarted),
                          id,         channels,
                          sampleRate, framesPerBuffer,
                          0,          0};
  PutHeader(out, header, 0);
}

void EncodePacket(std::vector<uint8_t>& out, int id, int channels, const float* const* data,
                  int frames, int64_t pts, int64_t captureTimeNs) {
  const WireHeader header{
      kWireMagic,   static_cast<uint32_t>(WireKind::kPacket), id, channels, 0, frames, pts,
      captureTimeNs};
  const size_t planeBytes = static_cast<size_t>(frames) * sizeof(float);
  PutHeader(out, header, planeBytes * static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    std::memcpy(out.data() + sizeof(WireHeader) + planeBytes * static_cast<size_t>(c), data[c],
                planeBytes);
  }
}

void EncodeStopped(std::vector<uint8_t>& out, int id) {
  const WireHeader header{kWireMagic, static_cast<uint32_t>(WireKind::kStopped), id, 0, 0, 0, 0, 0};
  PutHeader(out, header, 0);
}

std::optional<WireMessage> DecodeWireMessage(std::span<const uint8_t> datagram) {
  if (datagram.size() < sizeof(WireHeader)) return std::nullopt;
  WireMessage message;
  std::memcpy(&message.header, datagram.data(), sizeof(WireHeader));
  const WireHeader& h = message.header;
  if (h.magic != kWireMagic) return std::nullopt;
  const size_t payload = datagram.size() - sizeof(WireHeader);
  switch (static_cast<WireKind>(h.kind)) {
    case WireKind::kStarted:
      if (h.channels < 1 || h.channels > kMaxWireChannels || h.sampleRate < 1 ||
          h.sampleRate > kMaxWireSampleRate || h.frames < 1 || h.frames > kMaxWireFrames ||
          payload != 0) {
        return std::nullopt;
      }
      return message;
    case WireKind::kPacket:
      if (h.channels < 1 || h.channels > kMaxWireChannels || h.frames < 1 ||
          h.frames > kMaxWireFrames ||
          payload !=
              static_cast<size_t>(h.channels) * static_cast<size_t>(h.frames) * sizeof(float)) {
        return std::nullopt;
      }
      message.samples = reinterpret_cast<const float*>(datagram.data() + sizeof(WireHeader));
      return message;
    case WireKind::kStopped:
      if (payload != 0) return std::nullopt;
      return message;
  }
  return std::nullopt;
}

}  // namespace tavrimon::audio
