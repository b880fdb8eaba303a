// The render-handler side of BrowserClient: the view size, and every painted frame written
// into the host's video channel as BGRA, or as BGR24 for image format 0.
#include <cstdint>

#include "client/browser_client.h"
#include "client/channel_block_writer.h"
#include "client/link_trace.h"
#include "globals.h"
#include "i_server.h"
#include "source/browser_source.h"

namespace {

ChannelBlockWriter& VideoWriter() {
  static ChannelBlockWriter writer(server->videoChannel);
  return writer;
}

// Writes one frame into the video channel, and records it when the link record is on.
void WriteFrame(const std::uint8_t* pixels, std::size_t count,
                link_trace::Clock::time_point entered) {
  if (!link_trace::On()) {
    VideoWriter().write(pixels, count);
    return;
  }
  link_trace::Clock::time_point signalling;
  if (VideoWriter().write(pixels, count, &signalling)) {
    link_trace::Record('V', entered, signalling);
  }
}

}  // namespace

void BrowserClient::GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) {
  BrowserSource* current = source;
  if (current == nullptr) {
    rect = CefRect(0, 0, 16, 16);
    return;
  }
  int viewWidth = 0;
  int viewHeight = 0;
  current->viewSize(&viewWidth, &viewHeight);
  rect = CefRect(0, 0, viewWidth, viewHeight);
}

void BrowserClient::OnPaint(CefRefPtr<CefBrowser>, PaintElementType type, const RectList&,
                            const void* buffer, int width, int height) {
  if (type != PET_VIEW) return;
  const auto entered = link_trace::Clock::now();
  BrowserSource* current = source;
  if (current == nullptr || current->settings == nullptr) return;
  const int format = current->settings->getImageFormat();
  if (current->settings->isPaused()) return;

  if (format != 0) {
    if (width <= 0 || height <= 0) return;
    // A frame larger than the channel is dropped whole by the writer.
    const std::uint64_t count = static_cast<std::uint64_t>(width) * height * 4;
    WriteFrame(static_cast<const std::uint8_t*>(buffer), count, entered);
    return;
  }

  conv_v& converter = current->videoConverter;
  // The painted size is not made the source's view size: a paint of the browser being replaced
  // can come after an update set a new size, and would put the old size back for good.
  if (!converter.initialized && width != 0 && height != 0) converter.Build(width, height);
  if (!converter.initialized || width == 0 || height == 0) return;
  // The host may have switched to BGRA while the converter was being built.
  if (current->settings->getImageFormat() != 0) return;
  if (!converter.Convert(buffer, width, height)) return;
  converter.ReadOutput([entered](const std::uint8_t* pixels, std::int64_t size) {
    if (pixels != nullptr && size > 0) WriteFrame(pixels, static_cast<std::size_t>(size), entered);
  });
}
