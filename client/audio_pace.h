// How long an audio block may wait for the host to take the block before it. The audio channel
// holds one block, so a block written before the host woke for the last one loses that one.
// Waiting a little keeps a host that is held up for a moment from losing sound; keeping the
// waits to the pace the sound plays means a host that stops reading holds the sound back by at
// most the grace, never more and more, and the engine's packets never pile up behind it.
#pragma once

#include <chrono>
#include <optional>

class AudioPace {
 public:
  using Clock = std::chrono::steady_clock;

  explicit AudioPace(Clock::duration grace) : grace_(grace) {}

  // The latest time the block about to be written may wait until, at `now`.
  Clock::time_point Deadline(Clock::time_point now);
  // Counts a written block that plays for `duration`.
  void Written(Clock::duration duration);

 private:
  Clock::duration grace_;
  // When the next block is due if blocks are written as fast as they play; unset before the
  // first block. Set again from now when the writes fell behind by more than the grace (the
  // host stopped reading, or the sound paused).
  std::optional<Clock::time_point> due_;
};
