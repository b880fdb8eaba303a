#include "command_trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "command_packet.h"

namespace command_trace {
namespace {

// Opened on first use and kept for the life of the process.
std::FILE* File() {
  static std::FILE* file = []() -> std::FILE* {
    const char* path = std::getenv("TAVRIMON_COMMAND_TRACE");
    if (path == nullptr || *path == '\0') return nullptr;
    return std::fopen(path, "a");
  }();
  return file;
}

}  // namespace

void Record(const std::uint8_t* packet) {
  std::FILE* file = File();
  if (file == nullptr || ReadU32(packet) == 0) return;
  const std::string_view word = CommandWord(packet);
  std::string line(word);
  std::string text;
  if (word == "setTarget" || word == "select") {
    StringPayload(packet, &text);
    line += ' ';
    for (const char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  } else {
    std::int32_t size = ReadI32(packet + kPacketPayloadSizeOffset);
    if (size < 0 || static_cast<std::size_t>(size) > kMaxPayloadSize) size = 0;
    for (std::int32_t at = 0; at + 4 <= size && at < 12; at += 4) {
      line += ' ' + std::to_string(ReadI32(packet + kPacketPayloadOffset + at));
    }
  }
  // One call per line, pushed at once: a renderer ended abruptly loses nothing of the record.
  std::fprintf(file, "%s\n", line.c_str());
  std::fflush(file);
}

}  // namespace command_trace
