#include "audio_route.h"

#include <map>
#include <mutex>

namespace cef_internal {
namespace {

struct Route {
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefAudioHandler> handler;
};

std::mutex g_mutex;
// Never destroyed: the audio receiver and the UI thread may still look routes up while the
// process exits.
std::map<int, Route>& g_routes = *new std::map<int, Route>;

bool Find(int pageId, Route& route) {
  std::lock_guard lock(g_mutex);
  auto it = g_routes.find(pageId);
  if (it == g_routes.end()) return false;
  route = it->second;
  return true;
}

ChannelLayout LayoutFor(int channels) {
  switch (channels) {
    case 1:
      return CEF_CHANNEL_LAYOUT_MONO;
    case 2:
      return CEF_CHANNEL_LAYOUT_STEREO;
    default:
      return CEF_CHANNEL_LAYOUT_UNSUPPORTED;
  }
}

}  // namespace

void AttachAudioCapture(CefRefPtr<CefBrowser> browser, int pageId,
                        CefRefPtr<CefAudioHandler> handler) {
  std::lock_guard lock(g_mutex);
  g_routes[pageId] = Route{std::move(browser), std::move(handler)};
}

void DetachAudioCapture(int pageId) {
  Route dropped;
  std::lock_guard lock(g_mutex);
  auto it = g_routes.find(pageId);
  if (it == g_routes.end()) return;
  dropped = std::move(it->second);
  g_routes.erase(it);
}

tavrimon::audio::AudioCaptureReceiver& SharedAudioReceiver() {
  // Never destroyed: its thread may still be delivering when the process ends.
  static auto* receiver = new tavrimon::audio::AudioCaptureReceiver();
  return *receiver;
}

bool CapturesAudio(int pageId) {
  std::lock_guard lock(g_mutex);
  return g_routes.count(pageId) != 0;
}

void AudioRoute::OnStreamStarted(int id, int channels, int sampleRate, int framesPerBuffer) {
  Route r;
  if (Find(pageId_, r)) {
    r.handler->OnAudioStreamStarted(r.browser, id, channels, LayoutFor(channels), sampleRate,
                                    framesPerBuffer);
  }
}

void AudioRoute::OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                                int64_t /*captureTimeNs*/) {
  Route r;
  if (Find(pageId_, r)) {
    r.handler->OnAudioStreamPacket(r.browser, id, const_cast<const float**>(data), frames, pts);
  }
}

void AudioRoute::OnStreamStopped(int id) {
  Route r;
  if (Find(pageId_, r)) r.handler->OnAudioStreamStopped(r.browser, id);
}

}  // namespace cef_internal
