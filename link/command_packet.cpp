#include "command_packet.h"

#include <cstring>

std::uint32_t ReadU32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

std::int32_t ReadI32(const std::uint8_t* at) {
  return static_cast<std::int32_t>(ReadU32(at));
}

void WriteU32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 16);
  at[3] = static_cast<std::uint8_t>(value >> 24);
}

std::string_view CommandWord(const std::uint8_t* packet) {
  const char* word = reinterpret_cast<const char*>(packet + kPacketNameOffset);
  return std::string_view(word, strnlen(word, kPacketNameSize));
}

bool StringPayload(const std::uint8_t* packet, std::string* out) {
  const std::int32_t size = ReadI32(packet + kPacketPayloadSizeOffset);
  if (size < 0 || static_cast<std::size_t>(size) > kMaxPayloadSize) return false;
  out->assign(reinterpret_cast<const char*>(packet + kPacketPayloadOffset),
              static_cast<std::size_t>(size));
  return true;
}

std::vector<std::uint8_t> BuildCommandPacket(std::string_view name, const void* payload,
                                             std::size_t payloadSize) {
  if (payloadSize > kMaxPayloadSize || name.size() >= kPacketNameSize) return {};
  const std::size_t totalSize = kPacketHeaderSize + payloadSize;
  std::vector<std::uint8_t> packet(totalSize, 0);
  WriteU32(packet.data(), static_cast<std::uint32_t>(totalSize));
  std::memcpy(packet.data() + kPacketNameOffset, name.data(), name.size());
  WriteU32(packet.data() + kPacketPayloadSizeOffset, static_cast<std::uint32_t>(payloadSize));
  if (payloadSize > 0) std::memcpy(packet.data() + kPacketPayloadOffset, payload, payloadSize);
  return packet;
}
