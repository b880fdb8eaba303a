// Captured page sound. Calls come from one thread, one after another: per stream
// OnAudioStreamStarted, any number of OnAudioStreamPacket, then OnAudioStreamStopped.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

class CefAudioHandler : public virtual CefBaseRefCounted {
 public:
  virtual void OnAudioStreamStarted(CefRefPtr<CefBrowser> browser, int audio_stream_id,
                                    int channels, ChannelLayout channel_layout, int sample_rate,
                                    int frames_per_buffer) = 0;
  // `data` holds one array of `frames` 32-bit float samples per channel (planar); `pts` is the
  // stream time of the first sample in milliseconds.
  virtual void OnAudioStreamPacket(CefRefPtr<CefBrowser> browser, int audio_stream_id,
                                   const float** data, int frames, int64 pts) = 0;
  virtual void OnAudioStreamStopped(CefRefPtr<CefBrowser> browser, int audio_stream_id) = 0;
};
