// Reading back what tavrimon-host wrote, with FFmpeg's own demuxers and decoders (not with the
// code that wrote it): MP4 stream facts, PNG pixels, WAV samples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct StreamFacts {
  std::string codec;  // FFmpeg's codec name, e.g. "h264", "aac"
  bool video = false;
  int width = 0;
  int height = 0;
  double seconds = 0;  // the stream's duration
};

struct MediaFacts {
  double seconds = 0;  // the container's duration
  std::vector<StreamFacts> streams;
};

std::optional<MediaFacts> ProbeMedia(const std::string& path);

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
  const std::uint8_t* at(int x, int y) const {
    return &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  }
};

// Decodes an image file (PNG) to RGBA.
std::optional<RgbaImage> DecodeImage(const std::string& path);

struct WavFacts {
  int sampleRate = 0;
  int channels = 0;
  int bits = 0;
  std::vector<std::int16_t> left;  // first channel
};

std::optional<WavFacts> ReadWav(const std::string& path);

// Frequency of a steady tone from its rising zero crossings.
double ToneFrequency(const std::vector<std::int16_t>& samples, int sampleRate);
