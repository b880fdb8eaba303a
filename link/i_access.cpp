#include "i_access.h"

#include <windows.h>

i_access::i_access() : settings(this) {}

i_access::~i_access() {
  stop();
  serverThread.reset();
  audioChannel.reset();
  videoChannel.reset();
  commandChannel.reset();
}

void i_access::makeChannels(int id) {
  commandChannel =
      std::make_shared<MappingMem>(kCommandMappingBase, kCommandEventBase, kCommandRegionSize, id);
  videoChannel =
      std::make_shared<MappingMem>(kVideoMappingBase, kVideoEventBase, kVideoRegionSize, id);
  audioChannel =
      std::make_shared<MappingMem>(kAudioMappingBase, kAudioEventBase, kAudioRegionSize, id);
}

void i_access::stop() {
  stopping = true;
  if (commandChannel && commandChannel->event != nullptr) SetEvent(commandChannel->event);
  if (commandChannel && commandChannel->responseEvent != nullptr) {
    SetEvent(commandChannel->responseEvent);
  }
  if (videoChannel && videoChannel->event != nullptr) SetEvent(videoChannel->event);
  if (audioChannel && audioChannel->event != nullptr) SetEvent(audioChannel->event);
  if (serverThread && serverThread->joinable() &&
      serverThread->get_id() != std::this_thread::get_id()) {
    serverThread->join();
  }
  serverThread.reset();
}
