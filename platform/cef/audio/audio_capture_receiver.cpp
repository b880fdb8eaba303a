#include "audio_capture_receiver.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "audio_wire.h"

namespace tavrimon::audio {
namespace {

// Room for the largest message a sender may write (AF_UNIX datagrams must fit the send buffer).
constexpr int kSocketBufferBytes = 4 * static_cast<int>(kMaxWireMessage);

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

}  // namespace

AudioCaptureReceiver::AudioCaptureReceiver()
    : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), buffer_(kMaxWireMessage + 1) {
  thread_ = std::thread([this] { Run(); });
  std::lock_guard lock(mutex_);
  threadId_ = thread_.get_id();
}

AudioCaptureReceiver::~AudioCaptureReceiver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  for (auto& [handle, channel] : channels_) {
    StopAll(*channel);
    close(channel->fd);
  }
  if (wakeFd_ >= 0) close(wakeFd_);
}

std::optional<AudioCaptureReceiver::Channel> AudioCaptureReceiver::OpenChannel(
    AudioCaptureListener* listener) {
  int fds[2];
  if (wakeFd_ < 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
    return std::nullopt;
  }
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &kSocketBufferBytes, sizeof kSocketBufferBytes);
  setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &kSocketBufferBytes, sizeof kSocketBufferBytes);
  // Only the sender writes: shut the reverse direction so neither end can be fed the other's way.
  shutdown(fds[0], SHUT_WR);
  int handle;
  {
    std::lock_guard lock(mutex_);
    handle = nextHandle_++;
    auto state = std::make_unique<ChannelState>();
    state->fd = fds[0];
    state->listener = listener;
    channels_.emplace(handle, std::move(state));
  }
  Wake();
  return Channel{handle, fds[1]};
}

void AudioCaptureReceiver::CloseChannel(int handle) {
  std::unique_lock lock(mutex_);
  const auto it = channels_.find(handle);
  if (it == channels_.end()) return;
  it->second->closing = true;
  if (std::this_thread::get_id() == threadId_) return;  // the thread removes it after this call
  Wake();
  closed_.wait(lock, [&] { return stopping_ || !channels_.contains(handle); });
}

AudioCaptureReceiver::Stats AudioCaptureReceiver::GetStats() const {
  std::lock_guard lock(mutex_);
  Stats stats = stats_;
  if (stats.packets) stats.latencyMeanNs = static_cast<int64_t>(latencySumNs_ / stats.packets);
  return stats;
}

void AudioCaptureReceiver::Wake() {
  const uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    // The counter is already non-zero: the thread wakes anyway.
  }
}

void AudioCaptureReceiver::Run() {
  std::vector<pollfd> fds;
  std::vector<ChannelState*> polled;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      // Closed channels leave here, on this thread, so no call can reach their listener later.
      for (auto it = channels_.begin(); it != channels_.end();) {
        if (it->second->closing) {
          StopAll(*it->second);
          close(it->second->fd);
          it = channels_.erase(it);
        } else {
          ++it;
        }
      }
      closed_.notify_all();
      fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
      polled.clear();
      for (auto& [handle, channel] : channels_) {
        if (channel->eof) continue;
        fds.push_back(pollfd{channel->fd, POLLIN, 0});
        polled.push_back(channel.get());
      }
    }
    if (poll(fds.data(), fds.size(), -1) < 0) continue;  // EINTR
    if (fds[0].revents) {
      uint64_t count;
      if (read(wakeFd_, &count, sizeof count) < 0) {
        // Nothing to read: woken by a channel.
      }
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents) DrainChannel(*polled[i - 1]);
    }
  }
}

void AudioCaptureReceiver::DrainChannel(ChannelState& channel) {
  while (!channel.closing) {
    const ssize_t n = recv(channel.fd, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n > 0) {
      Handle(channel, buffer_.data(), static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // End of stream (web process gone or sender closed) or a socket error.
    channel.eof = true;
    StopAll(channel);
    return;
  }
}

void AudioCaptureReceiver::Handle(ChannelState& channel, const uint8_t* data, size_t size) {
  // MSG_TRUNC reports a datagram's real length: a longer one than the buffer is rejected.
  const std::optional<WireMessage> message =
      size <= buffer_.size() - 1 ? DecodeWireMessage({data, size}) : std::nullopt;
  const auto reject = [this] {
    std::lock_guard lock(mutex_);
    ++stats_.rejectedMessages;
  };
  if (!message) return reject();
  const WireHeader& h = message->header;
  const auto stream = channel.streams.find(h.streamId);
  switch (static_cast<WireKind>(h.kind)) {
    case WireKind::kStarted: {
      if (stream != channel.streams.end()) return reject();
      const int localId = nextLocalId_++;
      channel.streams.emplace(h.streamId, std::pair{localId, h.channels});
      channel.listener->OnStreamStarted(localId, h.channels, h.sampleRate, h.frames);
      return;
    }
    case WireKind::kPacket: {
      if (stream == channel.streams.end() || stream->second.second != h.channels) return reject();
      const float* planes[kMaxWireChannels] = {};  // null beyond the stream's channels
      for (int c = 0; c < h.channels; ++c) planes[c] = message->samples + ptrdiff_t{c} * h.frames;
      const int64_t latency = MonotonicNs() - h.captureTimeNs;
      {
        std::lock_guard lock(mutex_);
        if (stats_.packets == 0 || latency < stats_.latencyMinNs) stats_.latencyMinNs = latency;
        if (stats_.packets == 0 || latency > stats_.latencyMaxNs) stats_.latencyMaxNs = latency;
        latencySumNs_ += static_cast<double>(latency);
        ++stats_.packets;
        stats_.frames += static_cast<uint64_t>(h.frames);
      }
      channel.listener->OnStreamPacket(stream->second.first, planes, h.frames, h.pts,
                                       h.captureTimeNs);
      return;
    }
    case WireKind::kStopped: {
      if (stream == channel.streams.end()) return reject();
      const int localId = stream->second.first;
      channel.streams.erase(stream);
      channel.listener->OnStreamStopped(localId);
      return;
    }
  }
}

void AudioCaptureReceiver::StopAll(ChannelState& channel) {
  for (const auto& [remoteId, local] : channel.streams)
    channel.listener->OnStreamStopped(local.first);
  channel.streams.clear();
}

}  // namespace tavrimon::audio
