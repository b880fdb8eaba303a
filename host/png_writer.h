// Writes 8-bit RGBA images as PNG files (zlib-compressed, no filtering).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `rgba` holds width * height * 4 bytes, top row first. False when the file cannot be written.
bool WritePngRgba(const std::string& path, int width, int height,
                  const std::vector<std::uint8_t>& rgba);
