// The audio-handler side of BrowserClient: the page's sound converted to 44,100 Hz 16-bit
// stereo and written into the host's audio channel, one block per packet.
#include <chrono>
#include <thread>

#include "client/audio_pace.h"
#include "client/browser_client.h"
#include "client/channel_block_writer.h"
#include "client/link_trace.h"
#include "globals.h"
#include "i_server.h"
#include "source/browser_source.h"

namespace {

ChannelBlockWriter& AudioWriter() {
  static ChannelBlockWriter writer(server->audioChannel);
  return writer;
}

// The longest the sound is held back for a host that does not take its blocks in time.
AudioPace& Pace() {
  static AudioPace pace(std::chrono::milliseconds(200));
  return pace;
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
  const auto entered = link_trace::Clock::now();
  BrowserSource* current = source;
  if (current == nullptr) return;
  std::shared_ptr<conv_a> converter = current->audioConverter;
  // Packets of another stream would garble this stream's resampler: only one is converted.
  if (!converter || audio_stream_id != current->audioStreamId) return;
  // Paused or not, the packet is converted, so the resampler's state moves on with the page.
  if (!converter->Convert(data, frames)) return;
  if (current->settings == nullptr || current->settings->isPaused()) return;
  bool written = false;
  link_trace::Clock::time_point signalling;
  converter->ReadOutput(
      [&written, &signalling, entered](const std::uint8_t* block, std::int32_t length) {
        if (length <= 0) return;
        // The host gets a moment to take the last block before it is overwritten; packets that
        // come meanwhile wait in the engine.
        AudioWriter().awaitReader(Pace().Deadline(entered));
        written = AudioWriter().write(block, static_cast<std::size_t>(length), &signalling);
        // 44,100 frames of 4 bytes a second.
        if (written) Pace().Written(std::chrono::microseconds(length * 10000LL / 1764));
      });
  if (!written) return;
  if (link_trace::On()) link_trace::Record('A', entered, signalling);
  std::this_thread::sleep_for(std::chrono::microseconds(100));
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
