// Feeds arbitrary command-region contents to the command server's packet handling. The region
// is exactly as large as the real one, on the heap, so any read or write past it is caught by
// AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "i_server.h"
#include "mapping_mem.h"
#include "scroll_handler.h"

namespace {
void IgnoreScroll(int, int) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static i_server* server = [] {
    SetScrollHandler(IgnoreScroll);
    return new i_server();
  }();
  std::vector<std::uint8_t> region(kCommandRegionSize, 0);
  std::memcpy(region.data(), data, size < region.size() ? size : region.size());
  server->handlePacket(region.data());
  return 0;
}
