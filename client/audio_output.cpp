// The audio-handler side of BrowserClient: the page's sound converted to 44,100 Hz 16-bit
// stereo and written into the host's audio channel, one block per packet.
#include <chrono>
#include <thread>

#include "client/browser_client.h"
#include "client/channel_block_writer.h"
#include "globals.h"
#include "i_server.h"
#include "source/browser_source.h"

namespace {

ChannelBlockWriter& AudioWriter() {
  static ChannelBlockWriter writer(server->audioChannel);
  return writer;
}

}  // namespace

// The engine delivers the three calls one after another on one thread, so the source's audio
// members need no lock here.
void BrowserClient::OnAudioStreamStarted(CefRefPtr<CefBrowser>, int audio_stream_id, int channels,
                                         ChannelLayout, int sample_rate, int) {
  BrowserSource* current = source;
  if (current == nullptr) return;
  current->runningAudioStreams.push_back({audio_stream_id, sample_rate, channels});
  current->audioConverter = std::make_shared<conv_a>(sample_rate, channels);
  current->audioStreamId = audio_stream_id;
}

void BrowserClient::OnAudioStreamPacket(CefRefPtr<CefBrowser>, int audio_stream_id,
                                        const float** data, int frames, int64) {
  BrowserSource* current = source;
  if (current == nullptr) return;
  std::shared_ptr<conv_a> converter = current->audioConverter;
  // Packets of another stream would garble this stream's resampler: only one is converted.
  if (!converter || audio_stream_id != current->audioStreamId) return;
  // Paused or not, the packet is converted, so the resampler's state moves on with the page.
  if (!converter->Convert(data, frames)) return;
  if (current->settings == nullptr || current->settings->isPaused()) return;
  bool written = false;
  converter->ReadOutput([&written](const std::uint8_t* block, std::int32_t length) {
    written = length > 0 && AudioWriter().write(block, static_cast<std::size_t>(length));
  });
  if (written) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void BrowserClient::OnAudioStreamStopped(CefRefPtr<CefBrowser>, int audio_stream_id) {
  BrowserSource* current = source;
  if (current == nullptr) return;
  auto& running = current->runningAudioStreams;
  std::erase_if(running, [audio_stream_id](const auto& s) { return s.id == audio_stream_id; });
  if (audio_stream_id != current->audioStreamId) return;
  current->audioConverter.reset();
  current->audioStreamId = 0;
  // Another stream still playing takes over, from its next packet on.
  if (!running.empty()) {
    const auto& next = running.back();
    current->audioConverter = std::make_shared<conv_a>(next.sampleRate, next.channels);
    current->audioStreamId = next.id;
  }
}
