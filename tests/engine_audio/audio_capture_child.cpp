// Stands in for a capturing web process: registers the capture sink with a sender on the channel
// fd it inherited, plays sine tones through autoaudiosink (or the sink directly) to the end and
// exits once everything has been handed to the transport.
//
// usage: audio_capture_child FD STREAMS CHANNELS RATE FORMAT BUFFERS FRAMES_PER_BUFFER
//                            SINK(auto|direct) ATTACH_DELAY_MS
// Stream k (from 1) plays a sine of 440 * k Hz at volume 0.5.
#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio_capture_sender.h"
#include "audio_capture_sink.h"

int main(int argc, char** argv) {
  if (argc != 10) {
    std::fprintf(stderr, "usage: %s FD STREAMS CHANNELS RATE FORMAT BUFFERS FRAMES SINK DELAY\n",
                 argv[0]);
    return 2;
  }
  const int fd = std::atoi(argv[1]);
  const int streams = std::atoi(argv[2]);
  const std::string channels = argv[3], rate = argv[4], format = argv[5], buffers = argv[6],
                    frames = argv[7], sink = argv[8];
  const int attachDelayMs = std::atoi(argv[9]);

  gst_init(&argc, &argv);
  tavrimon::audio::AudioCaptureSender sender;
  if (!tavrimon::audio::RegisterAudioCaptureSink(&sender)) return 3;

  std::string description;
  for (int k = 1; k <= streams; ++k) {
    description += "audiotestsrc wave=sine volume=0.5 freq=" + std::to_string(440 * k) +
                   " num-buffers=" + buffers + " samplesperbuffer=" + frames +
                   " ! audio/x-raw,format=" + format + ",rate=" + rate + ",channels=" + channels +
                   " ! audioconvert ! " +
                   (sink == "direct" ? tavrimon::audio::kCaptureSinkFactoryName : "autoaudiosink") +
                   " ";
  }
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline) {
    std::fprintf(stderr, "pipeline: %s\n", error ? error->message : "?");
    return 4;
  }

  // The channel may reach a web process after its page started playing.
  std::thread attach([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(attachDelayMs));
    sender.Attach(fd);
  });

  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  int status = 0;
  if (!message || GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS) {
    std::fprintf(stderr, "pipeline did not reach its end\n");
    status = 5;
  }
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  attach.join();
  tavrimon::audio::WaitAudioCaptureIdle();
  if (sender.droppedPackets() || tavrimon::audio::AudioCaptureDroppedPackets()) status = 6;
  return status;
}
