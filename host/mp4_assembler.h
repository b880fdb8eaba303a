// Writes the final MP4: the spooled video packets and, when the page made sound, the recorded
// audio encoded as AAC, interleaved by time.
#pragma once

#include <cstdint>
#include <string>

#include "video_encoder.h"

struct Mp4Audio {
  std::string wavPath;       // empty: no audio track
  std::int64_t startMs = 0;  // where the first sample sits on the video's time line
};

bool AssembleMp4(const std::string& mp4Path, const VideoEncoder& video,
                 const std::string& spoolPath, const Mp4Audio& audio, std::string* error);
