#include "i_server.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "command_packet.h"
#include "command_trace.h"
#include "scroll_handler.h"

namespace {

bool SameWord(std::string_view word, std::string_view command) {
  if (word.size() != command.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(word[i]) != fold(command[i])) return false;
  }
  return true;
}

}  // namespace

i_server::~i_server() {
  stop();
}

void i_server::createChannels(int id) {
  makeChannels(id);
}

bool i_server::start() {
  bool ok = false;
  try {
    commandChannel->create();
    serverThread = std::make_shared<std::thread>(&i_server::serve, this);
  } catch (...) {
    stop();
    MessageBoxA(nullptr, "Error load server!", "Error", MB_OK);
    throw "Error load server!";
  }
  ok = videoChannel->open();
  if (ok) ok = audioChannel->open();
  settings.owner = this;
  // The server thread already runs and may answer "isReady" meanwhile: publish the handle
  // atomically, so it sees either no event yet or the opened one.
  HANDLE response = OpenEventA(EVENT_ALL_ACCESS, FALSE, commandChannel->responseEventName.c_str());
  std::atomic_ref<HANDLE>(commandChannel->responseEvent).store(response, std::memory_order_release);
  if (response == nullptr) throw "Error open event";
  if (!ok) {
    stop();
    throw std::runtime_error("Error start server");
  }
  return true;
}

std::vector<HANDLE> i_server::hostObjects() const {
  std::vector<HANDLE> handles;
  for (HANDLE handle : {videoChannel ? videoChannel->mapping : nullptr,
                        videoChannel ? videoChannel->event : nullptr,
                        audioChannel ? audioChannel->mapping : nullptr,
                        audioChannel ? audioChannel->event : nullptr,
                        commandChannel ? commandChannel->responseEvent : nullptr}) {
    if (handle != nullptr) handles.push_back(handle);
  }
  return handles;
}

void i_server::serve() {
  std::uint8_t* region = commandChannel->view;
  if (stopping) return;
  // The packet is copied out the moment the signal is taken: a host that writes its next
  // packet once it sees the signal taken must not find this one still being read.
  std::uint8_t packet[kMaxPacketSize];
  for (;;) {
    HANDLE event = commandChannel->event;
    if (WaitForMultipleObjects(1, &event, FALSE, INFINITE) == WAIT_FAILED) {
      Sleep(5);
      return;
    }
    if (region != nullptr) {
      std::memcpy(packet, region, sizeof packet);
      command_trace::Record(packet);
      // After "Update" the server gives the browser source a moment before the next packet.
      if (handlePacket(packet, region)) Sleep(10);
    }
    if (stopping) return;
  }
}

bool i_server::handlePacket(const std::uint8_t* packet, std::uint8_t* replyRegion) {
  if (ReadU32(packet) == 0) return false;  // no packet yet
  const std::string_view word = CommandWord(packet);
  const std::uint8_t* payload = packet + kPacketPayloadOffset;
  std::string text;

  if (SameWord(word, "setTarget")) {
    if (StringPayload(packet, &text)) settings.storeTarget(std::move(text));
  } else if (SameWord(word, "setViewport")) {
    settings.viewportWidth = ReadI32(payload);
    settings.viewportHeight = ReadI32(payload + 4);
  } else if (SameWord(word, "setImageFormat")) {
    settings.imageFormat = ReadI32(payload);
  } else if (SameWord(word, "setAudioFormat")) {
    settings.sampleRate = ReadI32(payload);
    settings.bitsPerSample = ReadI32(payload + 4);
    settings.channels = ReadI32(payload + 8);
  } else if (SameWord(word, "select")) {
    if (StringPayload(packet, &text)) settings.storeCss(std::move(text));
  } else if (SameWord(word, "Update")) {
    settings.updatePending = true;
    return true;
  } else if (SameWord(word, "close")) {
    settings.connected = false;
  } else if (SameWord(word, "pause")) {
    settings.paused = true;
  } else if (SameWord(word, "resume")) {
    settings.paused = false;
  } else if (SameWord(word, "isReady")) {
    std::uint8_t answer[4];
    WriteU32(answer, settings.ready ? 1 : 0);
    const auto reply = BuildCommandPacket("isReady", answer, sizeof answer);
    std::memcpy(replyRegion, reply.data(), reply.size());
    if (commandChannel) {
      // Written by start() on another thread while this one already serves.
      HANDLE response =
          std::atomic_ref<HANDLE>(commandChannel->responseEvent).load(std::memory_order_acquire);
      if (response != nullptr) SetEvent(response);
    }
  } else if (SameWord(word, "setScrollPosition")) {
    if (ScrollHandler handler = GetScrollHandler()) {
      handler(ReadI32(payload + 4), ReadI32(payload));
    }
  }
  return false;
}
