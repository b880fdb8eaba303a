#include "wav_writer.h"

#include <cstring>
#include <limits>

namespace {

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

WavWriter::~WavWriter() {
  finish();
}

bool WavWriter::open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  dataBytes_ = 0;
  failed_ = false;
  return file_ != nullptr && writeHeader();
}

bool WavWriter::writeHeader() {
  // RIFF sizes are 32-bit; a longer recording keeps the largest size the format can say.
  const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max() - 36;
  const auto data = static_cast<std::uint32_t>(dataBytes_ < limit ? dataBytes_ : limit);
  std::uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  PutU32(header + 4, 36 + data);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutU32(header + 16, 16);
  PutU16(header + 20, 1);  // PCM
  PutU16(header + 22, kChannels);
  PutU32(header + 24, kSampleRate);
  PutU32(header + 28, kSampleRate * kBytesPerFrame);
  PutU16(header + 32, kBytesPerFrame);
  PutU16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  PutU32(header + 40, data);
  return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(header, 1, 44, file_) == 44;
}

bool WavWriter::append(const std::uint8_t* pcm, std::size_t bytes) {
  if (file_ == nullptr) return false;
  if (std::fwrite(pcm, 1, bytes, file_) != bytes) failed_ = true;
  dataBytes_ += bytes;
  return !failed_;
}

bool WavWriter::finish() {
  if (file_ == nullptr) return !failed_;
  bool ok = !failed_ && writeHeader();
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}
