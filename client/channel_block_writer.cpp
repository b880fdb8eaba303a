#include "client/channel_block_writer.h"

#include <windows.h>

#include <cstring>
#include <thread>

#include "command_packet.h"

ChannelBlockWriter::ChannelBlockWriter(std::shared_ptr<MappingMem> channel)
    : channel_(std::move(channel)),
      openingFlag_(std::make_shared<std::atomic<bool>>(false)),
      opening_(*openingFlag_) {}

bool ChannelBlockWriter::write(const std::uint8_t* data, std::size_t count,
                               std::chrono::steady_clock::time_point* signalling) {
  if (!channel_ || opening_.load(std::memory_order_acquire)) return false;
  if (channel_->mapping == nullptr) {
    opening_.store(true, std::memory_order_release);
    // The thread keeps the channel and the flag alive; the writer may be gone before it ends.
    std::thread([channel = channel_, flag = openingFlag_] {
      channel->open();
      flag->store(false, std::memory_order_release);
    }).detach();
    return false;
  }
  if (channel_->event == nullptr) {
    // The host makes the event right after the region; an open that came in between found
    // the region alone. Look for the event again rather than stay unusable for good.
    channel_->event = OpenEventA(EVENT_ALL_ACCESS, FALSE, channel_->eventName.c_str());
  }
  if (!channel_->usable() || channel_->size < kBlockHeaderSize) return false;
  const std::size_t area = static_cast<std::size_t>(channel_->size) - kBlockHeaderSize;
  if (count > area) return false;  // never written in part, never past the region
  WriteU32(channel_->view, static_cast<std::uint32_t>(count));
  if (count > 0) std::memcpy(channel_->view + kBlockHeaderSize, data, count);
  if (signalling != nullptr) *signalling = std::chrono::steady_clock::now();
  SetEvent(channel_->event);
  return true;
}

bool ChannelBlockWriter::awaitReader(std::chrono::steady_clock::time_point until) {
  if (!channel_ || opening_.load(std::memory_order_acquire) || !channel_->usable()) return true;
  // The event stays signalled until the host's wait takes it. Taking it here tells whether it
  // was still there; if so it belongs to the host's unread block and is given straight back.
  while (WaitForSingleObject(channel_->event, 0) == WAIT_OBJECT_0) {
    SetEvent(channel_->event);
    if (std::chrono::steady_clock::now() >= until) return false;
    Sleep(1);
  }
  return true;
}
