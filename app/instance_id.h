#pragma once

#include <cstdint>

// The instance id from the command line, read as atoi reads it: leading white space, an
// optional sign, then decimal digits up to the first other character; no digits give 0.
// Any argument count other than exactly one gives 0.
std::int32_t ParseInstanceId(int argc, const char* const* argv);
