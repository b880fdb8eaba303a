// Message format of the audio transport between web process and browser process. One
// message per datagram: a fixed header, then for packets the planar samples, channel after
// channel. Both ends run on the same machine, so fields are in host byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tavrimon::audio {

inline constexpr int kMaxWireChannels = 8;
inline constexpr int kMaxWireFrames = 4096;
inline constexpr int kMaxWireSampleRate = 768000;

enum class WireKind : uint32_t { kStarted = 1, kPacket = 2, kStopped = 3 };

struct WireHeader {
  uint32_t magic;
  uint32_t kind;
  int32_t streamId;
  int32_t channels;
  int32_t sampleRate;  // started only
  int32_t frames;      // started: frames per buffer; packet: frames in this message
  int64_t pts;         // packet only, milliseconds
  int64_t captureTimeNs;
};
static_assert(sizeof(WireHeader) == 40);

inline constexpr uint32_t kWireMagic = 0x31554154;  // "TAU1"
inline constexpr size_t kMaxWireMessage =
    sizeof(WireHeader) + size_t{kMaxWireChannels} * kMaxWireFrames * sizeof(float);

// A decoded message; `samples` points into the datagram it was decoded from.
struct WireMessage {
  WireHeader header;
  const float* samples = nullptr;  // channels * frames floats, planar, for packets
};

void EncodeStarted(std::vector<uint8_t>& out, int id, int channels, int sampleRate,
                   int framesPerBuffer);
void EncodePacket(std::vector<uint8_t>& out, int id, int channels, const float* const* data,
                  int frames, int64_t pts, int64_t captureTimeNs);
void EncodeStopped(std::vector<uint8_t>& out, int id);

// Checks the header's magic, kind, ranges and the exact payload size; nullopt if anything is off.
// `datagram` must be suitably aligned for float (a vector or malloc'd buffer is).
std::optional<WireMessage> DecodeWireMessage(std::span<const uint8_t> datagram);

}  // namespace tavrimon::audio
