#include "audio_capture_sender.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "audio_wire.h"

namespace tavrimon::audio {

AudioCaptureSender::AudioCaptureSender(size_t maxPendingBytes)
    : maxPendingBytes_(maxPendingBytes) {}

AudioCaptureSender::~AudioCaptureSender() {
  if (fd_ >= 0) close(fd_);
}

void AudioCaptureSender::Attach(int fd) {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  broken_ = false;
  // A blocking socket paces the sender to the reader instead of failing with EAGAIN.
  const int flags = fcntl(fd_, F_GETFL);
  if (flags >= 0) fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  for (const std::vector<uint8_t>& message : pending_) {
    if (!broken_ && Write(message)) continue;
    if (message.size() > sizeof(WireHeader)) ++droppedPackets_;
  }
  pending_.clear();
  pendingBytes_ = 0;
}

void AudioCaptureSender::OnStreamStarted(int id, int channels, int sampleRate,
                                         int framesPerBuffer) {
  std::lock_guard lock(mutex_);
  channelsOf_[id] = channels;
  EncodeStarted(scratch_, id, channels, sampleRate, framesPerBuffer);
  Send(false);
}

void AudioCaptureSender::OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                                        int64_t captureTimeNs) {
  std::lock_guard lock(mutex_);
  const auto stream = channelsOf_.find(id);
  if (stream == channelsOf_.end() || frames < 1 || frames > kMaxWireFrames) {
    ++droppedPackets_;
    return;
  }
  EncodePacket(scratch_, id, stream->second, data, frames, pts, captureTimeNs);
  Send(true);
}

void AudioCaptureSender::OnStreamStopped(int id) {
  std::lock_guard lock(mutex_);
  channelsOf_.erase(id);
  EncodeStopped(scratch_, id);
  Send(false);
}

uint64_t AudioCaptureSender::droppedPackets() const {
  std::lock_guard lock(mutex_);
  return droppedPackets_;
}

void AudioCaptureSender::Send(bool isPacket) {
  if (broken_) {
    if (isPacket) ++droppedPackets_;
    return;
  }
  if (fd_ >= 0) {
    if (!Write(scratch_) && isPacket) ++droppedPackets_;
    return;
  }
  if (isPacket && pendingBytes_ + scratch_.size() > maxPendingBytes_) {
    ++droppedPackets_;
    return;
  }
  pendingBytes_ += scratch_.size();
  pending_.push_back(scratch_);
}

bool AudioCaptureSender::Write(const std::vector<uint8_t>& message) {
  for (;;) {
    const ssize_t n = send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(message.size())) return true;
    if (n < 0 && errno == EINTR) continue;
    broken_ = true;  // closed by the browser process, or a message the socket refuses
    return false;
  }
}

}  // namespace tavrimon::audio
