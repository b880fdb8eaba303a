// The capture sink: a GStreamer audio sink element that takes the place of the sound card in a
// capturing web process. Registered with a rank above every real audio sink, it is the element
// WebKit's autoaudiosink picks for media elements and WebAudio alike; nothing then reaches the
// local sound device. It consumes at real-time pace (sync on, paced by the pipeline clock) and
// hands every sample, planar 32-bit float at the stream's own rate, to the registered listener.
#pragma once

#include <cstdint>

#include "audio_capture_listener.h"

namespace tavrimon::audio {

inline constexpr char kCaptureSinkFactoryName[] = "tavrimoncapturesink";
// GST_RANK_PRIMARY + 100: above pulsesink, alsasink and the other primary sinks.
inline constexpr int kCaptureSinkRank = 256 + 100;

// Initialises GStreamer if nobody has yet, registers the element (once per process) and makes
// `listener` the receiver of all streams' events. Listener calls come from one dispatch thread,
// one after another. Call it only in web processes that capture: without it the page's sound
// plays on the local device as usual. Returns false if the element cannot be registered.
bool RegisterAudioCaptureSink(AudioCaptureListener* listener, int rank = kCaptureSinkRank);

// Returns once every event the sinks produced so far has been handed to the listener.
void WaitAudioCaptureIdle();

// Packets dropped because the listener fell more than 16 MB of samples behind.
uint64_t AudioCaptureDroppedPackets();

}  // namespace tavrimon::audio
