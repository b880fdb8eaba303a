#include "shr_avsource.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "command_packet.h"
#include "i_access.h"
#include "mapping_mem.h"

namespace {

void IgnoreData(const std::uint8_t*, int, void*) {}

void PauseAfterPacket() {
  std::this_thread::sleep_for(std::chrono::microseconds(100));
}

struct Int32Pair {
  std::int32_t first;
  std::int32_t second;
};

}  // namespace

shr_avsource::shr_avsource(i_access* owner)
    : dataCallback2(IgnoreData), dataCallback1(IgnoreData), owner(owner) {}

shr_avsource::~shr_avsource() {
  connected = false;
}

void shr_avsource::awaitPreviousTaken(MappingMem& channel) {
  if (!packetOutstanding) return;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTakenWaitMs);
  HANDLE event = channel.event;
  // A zero wait that finds the signal still set takes it; it is given straight back, so the
  // renderer wakes for it all the same.
  while (WaitForMultipleObjects(1, &event, FALSE, 0) == WAIT_OBJECT_0) {
    SetEvent(event);
    if (Clock::now() >= deadline) return;  // the renderer is not reading: send regardless
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  // Taken: the renderer copies the packet the moment it wakes; give it that moment.
  std::this_thread::sleep_for(std::chrono::microseconds(kReadMarginUs));
  packetOutstanding = false;
}

bool shr_avsource::send(const char* name, const void* payload, std::size_t payloadSize,
                        PauseAt pauseAt) {
  MappingMem* channel = owner != nullptr ? owner->commandChannel.get() : nullptr;
  if (channel == nullptr || !channel->usable() || channel->size < 0 ||
      static_cast<std::size_t>(channel->size) < kMaxPacketSize) {
    return false;
  }
  const auto packet = BuildCommandPacket(name, payload, payloadSize);
  if (packet.empty()) return false;
  std::lock_guard<std::recursive_mutex> guard(sendLock);
  if (sendPacing == SendPacing::AwaitTaken) awaitPreviousTaken(*channel);
  std::memcpy(channel->view, packet.data(), packet.size());
  if (pauseAt == PauseAt::BeforeSignal) PauseAfterPacket();
  SetEvent(channel->event);
  packetOutstanding = true;
  return true;
}

bool shr_avsource::setTarget(const std::string& url) {
  if (!send("setTarget", url.data(), url.size(), PauseAt::AfterSignal)) return false;
  storeTarget(url);
  PauseAfterPacket();
  return true;
}

void shr_avsource::setViewport(int width, int height) {
  const Int32Pair payload{width, height};
  if (!send("setViewport", &payload, sizeof payload, PauseAt::AfterSignal)) return;
  viewportWidth = width;
  viewportHeight = height;
  PauseAfterPacket();
}

void shr_avsource::setRect(int x, int y, int width, int height) {
  rectX = x;
  rectY = y;
  rectWidth = width;
  rectHeight = height;
}

void shr_avsource::getScrollPosition(int* x, int* y) {
  *x = 0;
  *y = 0;
}

void shr_avsource::setScrollPosition(int a, int b) {
  if (!connected) return;
  // On the wire the second argument comes first; the server swaps them back.
  const Int32Pair payload{b, a};
  if (send("setScrollPosition", &payload, sizeof payload, PauseAt::AfterSignal)) {
    PauseAfterPacket();
  }
}

bool shr_avsource::select(const std::string& newCss) {
  if (send("select", newCss.data(), newCss.size(), PauseAt::AfterSignal)) {
    storeCss(newCss);
    PauseAfterPacket();
  }
  return true;
}

void shr_avsource::setImageFormat(int format) {
  const std::int32_t payload = format;
  if (!send("setImageFormat", &payload, sizeof payload, PauseAt::AfterSignal)) return;
  imageFormat = format;
  PauseAfterPacket();
}

void shr_avsource::setAudioFormat(const audio_format& format) {
  const audio_format payload = format;
  if (!send("setAudioFormat", &payload, sizeof payload, PauseAt::AfterSignal)) return;
  sampleRate = format.sampleRate;
  bitsPerSample = format.bitsPerSample;
  channels = format.channels;
  PauseAfterPacket();
}

bool shr_avsource::launch() {
  if (childPath.empty()) return true;
  // Path, one space, the decimal id: the child takes the id as its only argument.
  std::string commandLine = childPath + " " + std::to_string(instanceId.load());
  STARTUPINFOA startup{};
  // The structure's size on 64-bit Windows, set as the link's Windows hosts set it; the Linux
  // CreateProcessA does not read it.
  startup.cb = 104;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return false;
  }
  childProcess = process.hProcess;
  return true;
}

bool shr_avsource::connect() {
  if (connected) return true;
  if (childProcess != nullptr) {
    connected = true;
  } else {
    connected = launch();
    if (!connected) return false;
  }
  if (owner == nullptr) return connected;
  if (owner->mode == 1) {
    connected = owner->videoChannel && owner->videoChannel->open() && owner->audioChannel &&
                owner->audioChannel->open();
  } else if (owner->mode == 2) {
    connected = owner->commandChannel && owner->commandChannel->open();
  }
  return connected;
}

void shr_avsource::close() {
  if (!connected) return;
  if (owner != nullptr) owner->stopping = true;
  Sleep(50);
  if (childProcess != nullptr) {
    TerminateProcess(childProcess, 0);
  } else {
    send("close", nullptr, 0, PauseAt::BeforeSignal);
  }
  connected = false;
}

void shr_avsource::pause() {
  if (!connected) return;
  if (send("pause", nullptr, 0, PauseAt::BeforeSignal)) paused = true;
}

void shr_avsource::resume() {
  if (!connected) return;
  if (send("resume", nullptr, 0, PauseAt::BeforeSignal)) paused = false;
}

void shr_avsource::setDataCallback1(DataCallback fn, void* user) {
  dataCallback1 = std::move(fn);
  dataCallbackUser1 = user;
}

void shr_avsource::setDataCallback2(DataCallback fn, void* user) {
  dataCallback2 = std::move(fn);
  dataCallbackUser2 = user;
}

int shr_avsource::getIndex() {
  return -1;
}

const std::string& shr_avsource::getTarget() {
  return target;
}

const std::string& shr_avsource::getCss() {
  return css;
}

void shr_avsource::getViewport(int* width, int* height) {
  *width = viewportWidth;
  *height = viewportHeight;
}

void shr_avsource::getRect(int* x, int* y, int* width, int* height) {
  *x = rectX;
  *y = rectY;
  *width = rectWidth;
  *height = rectHeight;
}

int shr_avsource::getImageFormat() {
  return imageFormat;
}

void shr_avsource::getAudioFormat(audio_format* out) {
  out->sampleRate = sampleRate;
  out->bitsPerSample = bitsPerSample;
  out->channels = channels;
}

bool shr_avsource::isConnected() {
  return connected;
}

const std::string& shr_avsource::getLabel() {
  return label;
}

bool shr_avsource::isReady() {
  if (!connected || owner == nullptr || !owner->commandChannel) return false;
  std::lock_guard<std::recursive_mutex> guard(sendLock);
  MappingMem* channel = owner->commandChannel.get();
  HANDLE response = channel->responseEvent;
  // A reply signal left over from an earlier, abandoned wait must not pass for this reply.
  if (response != nullptr) WaitForMultipleObjects(1, &response, FALSE, 0);
  if (!send("isReady", nullptr, 0, PauseAt::AfterSignal)) return false;
  PauseAfterPacket();
  // Bounded, so a host does not hang on a renderer that died before answering.
  if (WaitForMultipleObjects(1, &response, FALSE, kReadyReplyTimeoutMs) != WAIT_OBJECT_0) {
    return false;
  }
  ready = ReadU32(channel->view + kPacketPayloadOffset) != 0;
  return ready;
}

void shr_avsource::setLabel(const std::string& newLabel) {
  if (&newLabel != &label) label = newLabel;
}

void shr_avsource::Update() {
  if (!connected) return;
  if (send("Update", nullptr, 0, PauseAt::AfterSignal)) PauseAfterPacket();
}

bool shr_avsource::isPaused() {
  return paused;
}

std::string shr_avsource::copyTarget() const {
  std::lock_guard<std::mutex> guard(textLock);
  return target;
}

std::string shr_avsource::copyCss() const {
  std::lock_guard<std::mutex> guard(textLock);
  return css;
}

void shr_avsource::storeTarget(std::string url) {
  std::lock_guard<std::mutex> guard(textLock);
  target = std::move(url);
}

void shr_avsource::storeCss(std::string newCss) {
  std::lock_guard<std::mutex> guard(textLock);
  css = std::move(newCss);
}
