// Streams 16-bit stereo PCM at 44,100 Hz into a RIFF WAVE file; the sizes in the header are
// filled in by finish().
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class WavWriter {
 public:
  static constexpr int kSampleRate = 44100;
  static constexpr int kChannels = 2;
  static constexpr int kBytesPerFrame = 4;

  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path);
  // Appends interleaved little-endian s16 sample frames (left, right).
  bool append(const std::uint8_t* pcm, std::size_t bytes);
  // Writes the final header sizes and closes the file.
  bool finish();
  std::uint64_t dataBytes() const { return dataBytes_; }

 private:
  bool writeHeader();
  std::FILE* file_ = nullptr;
  std::uint64_t dataBytes_ = 0;
  bool failed_ = false;
};
