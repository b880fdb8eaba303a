#include "instance_id.h"

#include <cstdlib>

std::int32_t ParseInstanceId(int argc, const char* const* argv) {
  if (argc != 2 || argv[1] == nullptr) return 0;
  // atoi is strtol narrowed to int; strtol is used directly because atoi's overflow is
  // undefined, strtol's is not.
  return static_cast<std::int32_t>(std::strtol(argv[1], nullptr, 10));
}
