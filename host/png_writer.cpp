#include "png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

namespace {

void PutU32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out->push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

// One chunk: length, type, data, CRC over type and data.
void PutChunk(std::vector<std::uint8_t>* out, const char* type,
              const std::vector<std::uint8_t>& data) {
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out->data() + typeAt, static_cast<uInt>(4 + data.size()));
  PutU32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

bool WritePngRgba(const std::string& path, int width, int height,
                  const std::vector<std::uint8_t>& rgba) {
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  if (width <= 0 || height <= 0 || rgba.size() != stride * static_cast<std::size_t>(height)) {
    return false;
  }
  // Each row is preceded by its filter type, 0 (none).
  std::vector<std::uint8_t> raw;
  raw.reserve((stride + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row =
        rgba.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
      Z_OK) {
    return false;
  }
  packed.resize(packedSize);

  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutU32(&header, static_cast<std::uint32_t>(width));
  PutU32(&header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  PutChunk(&file, "IHDR", header);
  PutChunk(&file, "IDAT", packed);
  PutChunk(&file, "IEND", {});

  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!out) return false;
  if (std::fwrite(file.data(), 1, file.size(), out.get()) != file.size()) return false;
  return std::fclose(out.release()) == 0;
}
