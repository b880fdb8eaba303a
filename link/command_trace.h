// An optional record of the command packets the command server applies, for counting the
// commands a host sent that never arrived. Off unless the environment variable
// TAVRIMON_COMMAND_TRACE names a file; then one line is appended for every packet the server
// woke for: the command word, then the payload, as text for "setTarget" and "select" and as
// its 32-bit integers (at most three) for the others.
#pragma once

#include <cstdint>

namespace command_trace {

// Appends the line of the packet (kMaxPacketSize bytes) and pushes it to the file at once.
// Does nothing when the record is off or there is no packet.
void Record(const std::uint8_t* packet);

}  // namespace command_trace
