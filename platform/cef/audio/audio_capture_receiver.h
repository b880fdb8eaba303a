// Browser-process end of the audio transport. Each channel is a socket pair: the receiver keeps
// one end, the other goes to the web process (through a WebKitUserMessage's fd list) where an
// AudioCaptureSender writes into it. One thread reads every channel and calls the channel's
// listener, so all listener calls come from that thread, one after another, in the order the
// web process produced them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio_capture_listener.h"

namespace tavrimon::audio {

class AudioCaptureReceiver {
 public:
  struct Channel {
    int handle;    // for CloseChannel
    int remoteFd;  // web-process end; the caller passes it on and closes its own copy
  };

  struct Stats {
    uint64_t packets = 0;
    uint64_t frames = 0;
    uint64_t rejectedMessages = 0;  // malformed, or for a stream that is not open
    int64_t latencyMinNs = 0;       // capture in the web process to the listener call
    int64_t latencyMaxNs = 0;
    int64_t latencyMeanNs = 0;
  };

  AudioCaptureReceiver();
  // Ends every open stream (OnStreamStopped) and the thread.
  ~AudioCaptureReceiver();
  AudioCaptureReceiver(const AudioCaptureReceiver&) = delete;
  AudioCaptureReceiver& operator=(const AudioCaptureReceiver&) = delete;

  // `listener` gets the channel's streams under ids unique within this receiver. If the web
  // process goes away with streams open, each of them still gets OnStreamStopped.
  std::optional<Channel> OpenChannel(AudioCaptureListener* listener);

  // Ends the channel's open streams with OnStreamStopped; once it returns the listener gets no
  // further call. From another thread it waits for the receiver thread; inside a listener call
  // it takes effect as soon as that call returns.
  void CloseChannel(int handle);

  Stats GetStats() const;

 private:
  struct ChannelState {
    int fd;
    AudioCaptureListener* listener;
    std::map<int, std::pair<int, int>> streams;  // remote id -> (local id, channels)
    bool eof = false;
    std::atomic<bool> closing = false;
  };

  void Run();
  void DrainChannel(ChannelState& channel);
  void Handle(ChannelState& channel, const uint8_t* data, size_t size);
  void StopAll(ChannelState& channel);
  void Wake();

  int wakeFd_ = -1;
  std::vector<uint8_t> buffer_;
  int nextLocalId_ = 1;  // receiver thread only

  mutable std::mutex mutex_;
  std::condition_variable closed_;
  std::map<int, std::unique_ptr<ChannelState>> channels_;
  int nextHandle_ = 1;
  bool stopping_ = false;
  Stats stats_;
  double latencySumNs_ = 0;
  std::thread::id threadId_;
  std::thread thread_;
};

}  // namespace tavrimon::audio
