// An optional record of the blocks written into the host's channels, for measuring the delay
// from a paint to the host's wake-up and for telling blocks lost between the two ends from
// blocks never written. Off unless the environment variable TAVRIMON_LINK_TRACE names a file;
// then one line "KIND ENTERED_NS SIGNALLED_NS" is appended for every block written: KIND is V
// for a frame (ENTERED_NS when OnPaint began) or A for an audio block (ENTERED_NS when the
// packet arrived); SIGNALLED_NS is when the block was complete, just before its signal. Times are
// steady-clock nanoseconds, the clock a host on the same machine reads with
// std::chrono::steady_clock.
#pragma once

#include <chrono>

namespace link_trace {

using Clock = std::chrono::steady_clock;

// True when the environment asks for the record and its file could be opened.
bool On();

// Appends one line and pushes it to the file at once, so a renderer that is ended abruptly
// loses nothing of the record. Does nothing when the record is off. Safe from any thread.
void Record(char kind, Clock::time_point entered, Clock::time_point signalled);

}  // namespace link_trace
