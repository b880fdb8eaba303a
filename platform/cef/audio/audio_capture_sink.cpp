#include "audio_capture_sink.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "audio_capture_dispatcher.h"

namespace tavrimon::audio {
namespace {

constexpr int kMaxPendingChannels = 8;

// One element instance carries one stream at a time. Plain C members only: GObject allocates
// and zero-fills the instance, no constructor runs.
struct CaptureSink {
  GstBaseSink parent;
  GstAudioInfo info;
  gboolean haveInfo;
  gboolean streaming;  // a start has been posted and its stop has not
  gint streamId;
  gint framesPerPacket;
  GstClockTime nextRunningTime;  // where the next buffer starts if it carries no timestamp
  // Samples gathered into whole 10 ms packets: small buffers (WebAudio renders 128 frames) are
  // joined, so packets come at a sound card's pace and a reader has 10 ms for each.
  float* pending[kMaxPendingChannels];
  gint pendingFrames;
  GstClockTime pendingStart;
};

struct CaptureSinkClass {
  GstBaseSinkClass parent;
};

static_assert(kCaptureSinkRank == GST_RANK_PRIMARY + 100);
constexpr int kMaxChannels = AudioCaptureDispatcher::kMaxChannels;
constexpr char kSinkCaps[] =
    "audio/x-raw, format=(string)F32LE, layout=(string)non-interleaved, "
    "rate=(int)[ 1, 192000 ], channels=(int)[ 1, 8 ]";

GstBaseSinkClass* parentClass = nullptr;
std::atomic<int> nextStreamId{1};

AudioCaptureDispatcher& Dispatcher() {
  // Lives as long as the process: sinks may still post from streaming threads at exit.
  static AudioCaptureDispatcher* dispatcher = new AudioCaptureDispatcher();
  return *dispatcher;
}

CaptureSink* Self(void* instance) {
  return static_cast<CaptureSink*>(instance);
}

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

void PostPending(CaptureSink* self) {
  if (self->pendingFrames == 0) return;
  Dispatcher().PostPacket(self->streamId, GST_AUDIO_INFO_CHANNELS(&self->info), self->pending,
                          self->pendingFrames,
                          static_cast<int64_t>(self->pendingStart / GST_MSECOND), MonotonicNs());
  self->pendingFrames = 0;
}

void FreePending(CaptureSink* self) {
  for (float*& plane : self->pending) {
    g_free(plane);
    plane = nullptr;
  }
  self->pendingFrames = 0;
}

void StopStream(CaptureSink* self) {
  if (!self->streaming) return;
  PostPending(self);  // the stream's last samples, however few
  FreePending(self);
  self->streaming = FALSE;
  Dispatcher().PostStopped(self->streamId);
}

gboolean SetCaps(GstBaseSink* base, GstCaps* caps) {
  CaptureSink* self = Self(base);
  GstAudioInfo info;
  if (!gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_CHANNELS(&info) > kMaxChannels ||
      GST_AUDIO_INFO_LAYOUT(&info) != GST_AUDIO_LAYOUT_NON_INTERLEAVED) {
    return FALSE;
  }
  // A stream keeps one format: a new rate or channel count starts a new stream.
  if (self->streaming && (GST_AUDIO_INFO_RATE(&info) != GST_AUDIO_INFO_RATE(&self->info) ||
                          GST_AUDIO_INFO_CHANNELS(&info) != GST_AUDIO_INFO_CHANNELS(&self->info))) {
    StopStream(self);
  }
  self->info = info;
  self->haveInfo = TRUE;
  return TRUE;
}

gboolean ProposeAllocation(GstBaseSink*, GstQuery* query) {
  gst_query_add_allocation_meta(query, GST_AUDIO_META_API_TYPE, nullptr);
  return TRUE;
}

GstFlowReturn Render(GstBaseSink* base, GstBuffer* buffer) {
  CaptureSink* self = Self(base);
  if (!self->haveInfo) return GST_FLOW_NOT_NEGOTIATED;
  GstAudioBuffer audio;
  if (!gst_audio_buffer_map(&audio, &self->info, buffer, GST_MAP_READ)) return GST_FLOW_ERROR;
  const int channels = GST_AUDIO_INFO_CHANNELS(&self->info);
  const int rate = GST_AUDIO_INFO_RATE(&self->info);
  const int frames = static_cast<int>(audio.n_samples);

  if (!self->streaming) {
    self->streaming = TRUE;
    self->streamId = nextStreamId.fetch_add(1);
    self->framesPerPacket = std::max(1, (rate + 99) / 100);  // 10 ms packets, like a sound card
    for (int c = 0; c < channels; ++c) self->pending[c] = g_new0(float, self->framesPerPacket);
    self->pendingFrames = 0;
    Dispatcher().PostStarted(self->streamId, channels, rate, self->framesPerPacket);
  }

  GstClockTime start = GST_CLOCK_TIME_NONE;
  if (GST_BUFFER_PTS_IS_VALID(buffer)) {
    start = gst_segment_to_running_time(&base->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
  }
  if (!GST_CLOCK_TIME_IS_VALID(start)) {
    start = GST_CLOCK_TIME_IS_VALID(self->nextRunningTime) ? self->nextRunningTime : 0;
  }
  for (int offset = 0; offset < frames;) {
    if (self->pendingFrames == 0) {
      self->pendingStart =
          start + gst_util_uint64_scale_int(static_cast<guint64>(offset), GST_SECOND, rate);
    }
    const int count = std::min(self->framesPerPacket - self->pendingFrames, frames - offset);
    for (int c = 0; c < channels; ++c) {
      std::copy_n(static_cast<const float*>(audio.planes[c]) + offset, count,
                  self->pending[c] + self->pendingFrames);
    }
    self->pendingFrames += count;
    offset += count;
    if (self->pendingFrames == self->framesPerPacket) PostPending(self);
  }
  self->nextRunningTime =
      start + gst_util_uint64_scale_int(static_cast<guint64>(frames), GST_SECOND, rate);
  gst_audio_buffer_unmap(&audio);
  return GST_FLOW_OK;
}

gboolean Event(GstBaseSink* base, GstEvent* event) {
  // EOS reaches this point only once the sink has waited for the stream's end.
  if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) StopStream(Self(base));
  return parentClass->event(base, event);
}

gboolean Start(GstBaseSink* base) {
  Self(base)->nextRunningTime = GST_CLOCK_TIME_NONE;
  return TRUE;
}

gboolean Stop(GstBaseSink* base) {
  CaptureSink* self = Self(base);
  StopStream(self);
  self->haveInfo = FALSE;
  return TRUE;
}

void Dispose(GObject* object) {
  StopStream(Self(object));
  G_OBJECT_CLASS(parentClass)->dispose(object);
}

void InstanceInit(GTypeInstance* instance, gpointer) {
  GstBaseSink* base = reinterpret_cast<GstBaseSink*>(instance);
  gst_base_sink_set_sync(base, TRUE);
  gst_base_sink_set_max_lateness(base, -1);  // never drop late samples
  gst_base_sink_set_qos_enabled(base, FALSE);
  gst_base_sink_set_last_sample_enabled(base, FALSE);  // hold no buffer after rendering it
  Self(instance)->nextRunningTime = GST_CLOCK_TIME_NONE;
}

void ClassInit(gpointer klass, gpointer) {
  parentClass = static_cast<GstBaseSinkClass*>(g_type_class_peek_parent(klass));
  auto* objectClass = static_cast<GObjectClass*>(klass);
  objectClass->dispose = Dispose;
  auto* elementClass = static_cast<GstElementClass*>(klass);
  gst_element_class_set_static_metadata(elementClass, "Tavrimon capture sink", "Sink/Audio",
                                        "Hands page sound to the capture transport", "Tavrimon");
  gst_element_class_add_pad_template(
      elementClass,
      gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, gst_caps_from_string(kSinkCaps)));
  auto* sinkClass = static_cast<GstBaseSinkClass*>(klass);
  sinkClass->set_caps = SetCaps;
  sinkClass->propose_allocation = ProposeAllocation;
  sinkClass->render = Render;
  sinkClass->event = Event;
  sinkClass->start = Start;
  sinkClass->stop = Stop;
}

GType CaptureSinkType() {
  static const GType type = g_type_register_static_simple(
      gst_base_sink_get_type(), "TavrimonCaptureSink", sizeof(CaptureSinkClass), ClassInit,
      sizeof(CaptureSink), InstanceInit, GTypeFlags{});
  return type;
}

}  // namespace

bool RegisterAudioCaptureSink(AudioCaptureListener* listener, int rank) {
  if (!gst_is_initialized()) gst_init(nullptr, nullptr);
  Dispatcher().SetListener(listener);
  static std::mutex registration;
  std::lock_guard lock(registration);
  static bool registered = false;
  if (!registered) {
    registered = gst_element_register(nullptr, kCaptureSinkFactoryName, static_cast<guint>(rank),
                                      CaptureSinkType());
  }
  return registered;
}

void WaitAudioCaptureIdle() {
  Dispatcher().WaitIdle();
}

uint64_t AudioCaptureDroppedPackets() {
  return Dispatcher().droppedPackets();
}

}  // namespace tavrimon::audio
