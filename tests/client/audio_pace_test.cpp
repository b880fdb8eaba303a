#include "client/audio_pace.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = AudioPace::Clock;

constexpr Clock::duration kGrace = 200ms;
constexpr Clock::duration kBlock = 10ms;

// A host that takes every block at once: blocks are written as they come, and each may wait
// the whole grace from its own arrival.
TEST(AudioPace, AHostThatKeepsUpGivesEveryBlockTheWholeGrace) {
  AudioPace pace(kGrace);
  const Clock::time_point t0{};
  for (int i = 0; i < 50; ++i) {
    const auto now = t0 + i * kBlock;
    EXPECT_EQ(pace.Deadline(now), now + kGrace) << "block " << i;
    pace.Written(kBlock);
  }
}

// A host that never reads: every block waits until its deadline. The sound falls behind by the
// grace once and then keeps pace: deadlines one block apart, never further and further away.
TEST(AudioPace, AHostThatStopsReadingHoldsTheSoundBackByTheGraceOnly) {
  AudioPace pace(kGrace);
  auto now = Clock::time_point{};
  std::vector<Clock::time_point> deadlines;
  for (int i = 0; i < 100; ++i) {
    now = pace.Deadline(now);  // the wait runs out
    deadlines.push_back(now);
    pace.Written(kBlock);
  }
  EXPECT_EQ(deadlines[0], Clock::time_point{} + kGrace);
  for (std::size_t i = 1; i < deadlines.size(); ++i) {
    EXPECT_EQ(deadlines[i] - deadlines[i - 1], kBlock) << "block " << i;
  }
}

// After the sound paused, or the host was away for longer than the grace, waits are counted
// from now again; blocks that come faster than they play get no more than the grace from now.
TEST(AudioPace, StartsAgainAfterAPauseAndNeverGivesMoreThanTheGrace) {
  AudioPace pace(kGrace);
  const Clock::time_point t0{};
  EXPECT_EQ(pace.Deadline(t0), t0 + kGrace);
  pace.Written(kBlock);

  const auto afterPause = t0 + 5s;
  EXPECT_EQ(pace.Deadline(afterPause), afterPause + kGrace);
  pace.Written(kBlock);

  // A burst: twenty blocks at the same moment.
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(pace.Deadline(afterPause + 1ms), afterPause + 1ms + kGrace) << "block " << i;
    pace.Written(kBlock);
  }
}

}  // namespace
