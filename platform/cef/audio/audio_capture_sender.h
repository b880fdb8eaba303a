// Web-process end of the audio transport: a listener that writes every capture event as one
// datagram into the channel socket the browser process handed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "audio_capture_listener.h"

namespace tavrimon::audio {

class AudioCaptureSender final : public AudioCaptureListener {
 public:
  // Events that arrive before Attach are kept, up to `maxPendingBytes`, and sent first on attach,
  // so a sound that starts while the channel is still being set up loses nothing. Packets beyond
  // the bound are dropped (counted); starts and stops are always kept.
  explicit AudioCaptureSender(size_t maxPendingBytes = size_t{16} << 20);
  ~AudioCaptureSender() override;
  AudioCaptureSender(const AudioCaptureSender&) = delete;
  AudioCaptureSender& operator=(const AudioCaptureSender&) = delete;

  // Takes ownership of `fd`, the web-process end of a channel made by AudioCaptureReceiver
  // (a connected SOCK_SEQPACKET socket). A previously attached socket is closed.
  void Attach(int fd);

  void OnStreamStarted(int id, int channels, int sampleRate, int framesPerBuffer) override;
  void OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                      int64_t captureTimeNs) override;
  void OnStreamStopped(int id) override;

  // Packets lost because the pending bound was reached or the browser process closed the channel.
  uint64_t droppedPackets() const;

 private:
  void Send(bool isPacket);  // sends or keeps `scratch_`; caller holds `mutex_`
  bool Write(const std::vector<uint8_t>& message);

  const size_t maxPendingBytes_;
  mutable std::mutex mutex_;
  int fd_ = -1;
  bool broken_ = false;                      // the browser process closed its end
  std::unordered_map<int, int> channelsOf_;  // channel count of each open stream
  std::vector<uint8_t> scratch_;
  std::deque<std::vector<uint8_t>> pending_;
  size_t pendingBytes_ = 0;
  uint64_t droppedPackets_ = 0;
};

}  // namespace tavrimon::audio
