#include "audio_capture_view_link.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstring>

#include "audio_channel_message.h"

namespace tavrimon::audio {

AudioCaptureViewLink::AudioCaptureViewLink(WebKitWebView* view, AudioCaptureReceiver& receiver,
                                           AudioCaptureListener* listener)
    : view_(view),
      handler_(g_signal_connect(view, "user-message-received",
                                reinterpret_cast<GCallback>(OnUserMessage), this)),
      receiver_(receiver),
      listener_(listener) {
  g_object_ref(view_);
}

AudioCaptureViewLink::~AudioCaptureViewLink() {
  g_signal_handler_disconnect(view_, handler_);
  g_object_unref(view_);
  for (int handle : channels_) receiver_.CloseChannel(handle);
}

int AudioCaptureViewLink::OnUserMessage(WebKitWebView*, WebKitUserMessage* message, void* self) {
  if (std::strcmp(webkit_user_message_get_name(message), kAudioChannelMessage) != 0) return FALSE;
  static_cast<AudioCaptureViewLink*>(self)->Answer(message);
  return TRUE;
}

void AudioCaptureViewLink::Answer(WebKitUserMessage* message) {
  // A new page (a new web process after a cross-site navigation) replaces the previous one:
  // streams the old page left open end here rather than whenever its process exits.
  for (int handle : channels_) receiver_.CloseChannel(handle);
  channels_.clear();
  const auto channel = receiver_.OpenChannel(listener_);
  if (!channel) {
    // An empty reply: the page keeps its sound pending and plays nothing locally.
    webkit_user_message_send_reply(message, webkit_user_message_new(kAudioChannelMessage, nullptr));
    return;
  }
  channels_.push_back(channel->handle);
  ++channelsOpened_;
  GUnixFDList* fds = g_unix_fd_list_new_from_array(&channel->remoteFd, 1);  // takes the fd
  webkit_user_message_send_reply(
      message, webkit_user_message_new_with_fd_list(kAudioChannelMessage, nullptr, fds));
  g_object_unref(fds);
}

}  // namespace tavrimon::audio
