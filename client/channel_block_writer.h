// Writes blocks (a 32-bit byte count, then the bytes) into one of the host's media channels
// and signals them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "mapping_mem.h"

class ChannelBlockWriter {
 public:
  explicit ChannelBlockWriter(std::shared_ptr<MappingMem> channel);

  // Writes and signals one block. False, with the block dropped whole, when the channel is not
  // open yet, not usable, or the block is larger than the channel's data area. A channel that
  // is not open is opened on a thread of its own (its retries take about 4 seconds), so the
  // caller, a paint or an audio callback, never waits for the host; blocks are dropped until it
  // is open.
  // `signalling`, when given, gets the time the block was complete, just before the signal (a
  // host woken by it sees it after that time).
  bool write(const std::uint8_t* data, std::size_t count,
             std::chrono::steady_clock::time_point* signalling = nullptr);

  // Waits until the host has woken for the last block signalled, or until `until`. True when it
  // has (or nothing is waiting to be taken); false when the time ran out. A block written over
  // one the host has not woken for is lost to the host, which for sound is a gap: the audio
  // writer waits here first, bounded, so a host held up for a moment still gets every block.
  bool awaitReader(std::chrono::steady_clock::time_point until);

  // True while an open attempt is running.
  bool opening() const { return opening_.load(std::memory_order_acquire); }

 private:
  std::shared_ptr<MappingMem> channel_;
  // Set while the opener thread owns the channel's handles; they are read only when clear.
  std::shared_ptr<std::atomic<bool>> openingFlag_;
  std::atomic<bool>& opening_;
};
