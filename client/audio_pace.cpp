#include "client/audio_pace.h"

#include <algorithm>

AudioPace::Clock::time_point AudioPace::Deadline(Clock::time_point now) {
  if (!due_ || now - *due_ > grace_) due_ = now;
  // Blocks that come faster than they play (a burst after the engine was held up) are not
  // given more than the grace from now.
  return std::min(*due_, now) + grace_;
}

void AudioPace::Written(Clock::duration duration) {
  if (due_) *due_ += duration;
}
