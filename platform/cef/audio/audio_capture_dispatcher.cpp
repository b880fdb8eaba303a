#include "audio_capture_dispatcher.h"

#include <algorithm>

namespace tavrimon::audio {

AudioCaptureDispatcher::AudioCaptureDispatcher(size_t maxQueuedBytes)
    : maxQueuedBytes_(maxQueuedBytes), thread_([this] { Run(); }) {}

AudioCaptureDispatcher::~AudioCaptureDispatcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void AudioCaptureDispatcher::SetListener(AudioCaptureListener* listener) {
  std::lock_guard lock(mutex_);
  listener_ = listener;
}

void AudioCaptureDispatcher::PostStarted(int id, int channels, int sampleRate,
                                         int framesPerBuffer) {
  Push(Event{Kind::kStarted, id, channels, sampleRate, framesPerBuffer, 0, 0, {}});
}

void AudioCaptureDispatcher::PostPacket(int id, int channels, const float* const* data, int frames,
                                        int64_t pts, int64_t captureTimeNs) {
  if (channels < 1 || channels > kMaxChannels || frames < 1) return;
  const size_t bytes = static_cast<size_t>(channels) * static_cast<size_t>(frames) * sizeof(float);
  {
    std::lock_guard lock(mutex_);
    if (queuedBytes_ + bytes > maxQueuedBytes_) {
      ++droppedPackets_;
      return;
    }
  }
  Event event{Kind::kPacket, id, channels, 0, frames, pts, captureTimeNs, {}};
  event.samples.resize(static_cast<size_t>(channels) * static_cast<size_t>(frames));
  for (int c = 0; c < channels; ++c) {
    std::copy_n(data[c], frames, event.samples.begin() + static_cast<ptrdiff_t>(c) * frames);
  }
  Push(std::move(event));
}

void AudioCaptureDispatcher::PostStopped(int id) {
  Push(Event{Kind::kStopped, id, 0, 0, 0, 0, 0, {}});
}

void AudioCaptureDispatcher::Push(Event event) {
  {
    std::lock_guard lock(mutex_);
    queuedBytes_ += event.samples.size() * sizeof(float);
    queue_.push_back(std::move(event));
  }
  wake_.notify_one();
}

void AudioCaptureDispatcher::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && !delivering_; });
}

uint64_t AudioCaptureDispatcher::droppedPackets() const {
  std::lock_guard lock(mutex_);
  return droppedPackets_;
}

void AudioCaptureDispatcher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping with nothing left to deliver
    Event event = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= event.samples.size() * sizeof(float);
    AudioCaptureListener* listener = listener_;
    delivering_ = true;
    lock.unlock();
    if (listener) Deliver(listener, event);
    lock.lock();
    delivering_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

void AudioCaptureDispatcher::Deliver(AudioCaptureListener* listener, const Event& event) {
  switch (event.kind) {
    case Kind::kStarted:
      listener->OnStreamStarted(event.id, event.channels, event.sampleRate, event.frames);
      break;
    case Kind::kPacket: {
      const float* planes[kMaxChannels] = {};
      for (int c = 0; c < event.channels; ++c) {
        planes[c] = event.samples.data() + static_cast<ptrdiff_t>(c) * event.frames;
      }
      listener->OnStreamPacket(event.id, planes, event.frames, event.pts, event.captureTimeNs);
      break;
    }
    case Kind::kStopped:
      listener->OnStreamStopped(event.id);
      break;
  }
}

}  // namespace tavrimon::audio
