// Name of the user message by which a capturing web page asks its view for an audio channel;
// the view's reply carries the channel's socket in its fd list.
#pragma once

namespace tavrimon::audio {

inline constexpr char kAudioChannelMessage[] = "tavrimon-audio-channel";

}  // namespace tavrimon::audio
