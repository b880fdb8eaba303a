// Capture wiring of a web process: the capture sink takes the place of the sound card, and each
// page of the process fetches an audio channel from its view to send the sound through.
#pragma once

#include <cstdint>

typedef struct _WebKitWebExtension WebKitWebExtension;

namespace tavrimon::audio {

// Call once from webkit_web_extension_initialize_with_user_data, only in a web process whose
// browser captures audio; a process that never calls it plays sound on the local device. Sound
// made before a channel arrives is kept (up to 16 MB of samples) and sent first.
// Returns false if the capture sink could not be registered.
bool StartAudioCaptureInWebProcess(WebKitWebExtension* extension);

// Packets this process has dropped so far (listener or channel too far behind, channel closed).
uint64_t WebProcessDroppedAudioPackets();

}  // namespace tavrimon::audio
