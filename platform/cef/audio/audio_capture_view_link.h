// Browser-process side of the capture wiring for one web view: answers the view's web pages'
// requests for an audio channel with a channel of the receiver, delivering to the browser's
// listener. Use on the GTK main thread.
#pragma once

#include <vector>

#include "audio_capture_listener.h"
#include "audio_capture_receiver.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitUserMessage WebKitUserMessage;

namespace tavrimon::audio {

class AudioCaptureViewLink {
 public:
  // `receiver` and `listener` must outlive the link; `listener` is called on the receiver's thread.
  AudioCaptureViewLink(WebKitWebView* view, AudioCaptureReceiver& receiver,
                       AudioCaptureListener* listener);
  // Ends the view's open streams (OnStreamStopped) and its channels.
  ~AudioCaptureViewLink();
  AudioCaptureViewLink(const AudioCaptureViewLink&) = delete;
  AudioCaptureViewLink& operator=(const AudioCaptureViewLink&) = delete;

  // Channels handed out so far (one per web page the view has had).
  int channelsOpened() const { return channelsOpened_; }

 private:
  static int OnUserMessage(WebKitWebView* view, WebKitUserMessage* message, void* self);
  void Answer(WebKitUserMessage* message);

  WebKitWebView* view_;
  unsigned long handler_;
  AudioCaptureReceiver& receiver_;
  AudioCaptureListener* listener_;
  std::vector<int> channels_;  // open channel handles; only the newest page still plays
  int channelsOpened_ = 0;
};

}  // namespace tavrimon::audio
