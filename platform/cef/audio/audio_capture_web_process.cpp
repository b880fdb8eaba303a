#include "audio_capture_web_process.h"

#include <gio/gunixfdlist.h>
#include <webkit2/webkit-web-extension.h>

#include "audio_capture_sender.h"
#include "audio_capture_sink.h"
#include "audio_channel_message.h"

namespace tavrimon::audio {
namespace {

// Lives as long as the process: the capture sink may send until the very end.
AudioCaptureSender* sender = nullptr;

void OnChannelReply(GObject* page, GAsyncResult* result, gpointer) {
  WebKitUserMessage* reply = webkit_web_page_send_message_to_view_finish(
      reinterpret_cast<WebKitWebPage*>(page), result, nullptr);
  if (!reply) return;
  GUnixFDList* fds = webkit_user_message_get_fd_list(reply);
  if (fds && g_unix_fd_list_get_length(fds) > 0) {
    const int fd = g_unix_fd_list_get(fds, 0, nullptr);  // a duplicate of our own
    if (fd >= 0) sender->Attach(fd);
  }
  g_object_unref(reply);
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  webkit_web_page_send_message_to_view(page, webkit_user_message_new(kAudioChannelMessage, nullptr),
                                       nullptr, OnChannelReply, nullptr);
}

}  // namespace

bool StartAudioCaptureInWebProcess(WebKitWebExtension* extension) {
  if (sender) return true;
  sender = new AudioCaptureSender();
  if (!RegisterAudioCaptureSink(sender)) return false;
  g_signal_connect(extension, "page-created", reinterpret_cast<GCallback>(OnPageCreated), nullptr);
  return true;
}

uint64_t WebProcessDroppedAudioPackets() {
  return AudioCaptureDroppedPackets() + (sender ? sender->droppedPackets() : 0);
}

}  // namespace tavrimon::audio
