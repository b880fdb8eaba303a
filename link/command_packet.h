// The command packet that travels in the command channel, both from the host and back as
// the "isReady" reply:
//   0  u32       totalSize   40 + payloadSize
//   4  char[32]  name        NUL-padded command word
//   36 u32       payloadSize (read back as signed)
//   40 ...       payload
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kPacketHeaderSize = 40;
inline constexpr std::size_t kPacketNameSize = 32;
inline constexpr std::size_t kPacketNameOffset = 4;
inline constexpr std::size_t kPacketPayloadSizeOffset = 36;
inline constexpr std::size_t kPacketPayloadOffset = 40;
// The command region is 1028 bytes; no packet may be larger.
inline constexpr std::size_t kMaxPacketSize = 1028;
inline constexpr std::size_t kMaxPayloadSize = kMaxPacketSize - kPacketHeaderSize;  // 988

inline constexpr std::size_t kReadyReplySize = 44;

// Builds a packet in a zero-filled buffer of exactly totalSize bytes. Returns an empty buffer
// when the payload does not fit the region or the word does not fit its field.
std::vector<std::uint8_t> BuildCommandPacket(std::string_view name, const void* payload,
                                             std::size_t payloadSize);

// The command word of a packet (kMaxPacketSize bytes), without reading past its 32-byte field.
std::string_view CommandWord(const std::uint8_t* packet);

// The string payload of a packet; false, with nothing stored, when its declared size is
// negative or runs past the region.
bool StringPayload(const std::uint8_t* packet, std::string* out);

// Little-endian integer fields inside a region.
std::uint32_t ReadU32(const std::uint8_t* at);
std::int32_t ReadI32(const std::uint8_t* at);
void WriteU32(std::uint8_t* at, std::uint32_t value);
