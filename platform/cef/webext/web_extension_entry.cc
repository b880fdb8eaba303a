// Entry of the renderer-side module that WebKit loads into each of its web processes. The
// browser process passes the child's command line and whether its sound is captured as the
// initialization data.
#include <webkit2/webkit-web-extension.h>

#include <vector>

#include "audio_capture_web_process.h"
#include "include/cef_application_factory.h"
#include "src/process_state.h"
#include "src/renderer_side.h"

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* userData) {
  std::vector<const char*> argv;
  GVariant* data = const_cast<GVariant*>(userData);
  gchar** words = nullptr;
  gboolean captureAudio = FALSE;
  if (data && g_variant_is_of_type(data, G_VARIANT_TYPE("(asb)"))) {
    g_variant_get(data, "(^asb)", &words, &captureAudio);
  }
  for (gchar** w = words; w && *w; ++w) argv.push_back(*w);
  CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
  commandLine->InitFromArgv(static_cast<int>(argv.size()), argv.data());
  if (!commandLine->HasSwitch("type")) commandLine->AppendSwitchWithValue("type", "renderer");
  g_strfreev(words);

  // The pages of a capturing browser play into the capture sink instead of the sound device.
  if (captureAudio) tavrimon::audio::StartAudioCaptureInWebProcess(extension);

  cef_internal::PrepareProcess(CreateApplication(), commandLine);
  cef_internal::StartRendererSide(extension);
}
