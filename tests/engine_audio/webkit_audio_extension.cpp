// Web-process extension of the WebKit capture check, wired as a capturing renderer wires it: the
// initialisation data says whether this browser captures; only then is the capture started.
#include <webkit2/webkit-web-extension.h>

#include "audio_capture_web_process.h"

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* data) {
  GVariant* capture = const_cast<GVariant*>(data);
  if (capture && g_variant_is_of_type(capture, G_VARIANT_TYPE_BOOLEAN) &&
      g_variant_get_boolean(capture)) {
    tavrimon::audio::StartAudioCaptureInWebProcess(extension);
  }
}
