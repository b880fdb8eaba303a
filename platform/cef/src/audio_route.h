// Where captured page sound enters the CEF layer: one route per browser that has an audio
// handler. The capture transport looks the route up by the page's identifier (the browser
// identifier) and feeds it; the route turns the stream events into CefAudioHandler calls.
#pragma once

#include "audio_capture_listener.h"
#include "audio_capture_receiver.h"
#include "include/cef_audio_handler.h"

namespace cef_internal {

void AttachAudioCapture(CefRefPtr<CefBrowser> browser, int pageId,
                        CefRefPtr<CefAudioHandler> handler);
void DetachAudioCapture(int pageId);

// The receiving end of every capturing web process's sound, one per browser process.
tavrimon::audio::AudioCaptureReceiver& SharedAudioReceiver();

// True when the browser with this page identifier captures its sound.
bool CapturesAudio(int pageId);

// Delivers stream events of one page to its handler; does nothing when the page captures
// nothing. The caller keeps the one-thread, one-call-after-another order.
class AudioRoute : public tavrimon::audio::AudioCaptureListener {
 public:
  explicit AudioRoute(int pageId) : pageId_(pageId) {}
  void OnStreamStarted(int id, int channels, int sampleRate, int framesPerBuffer) override;
  void OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                      int64_t captureTimeNs) override;
  void OnStreamStopped(int id) override;

 private:
  const int pageId_;
};

}  // namespace cef_internal
