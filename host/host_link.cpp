#include "host_link.h"

#include <chrono>
#include <cstring>

#include "command_packet.h"

namespace {
constexpr const char* kHostInstanceMutexName = "__TAVRIMON_APP_RUNNING_INSTANCE__";
}

HostLink::HostLink(int instanceId) : id_(instanceId) {
  mode = 2;
  settings.instanceId = instanceId;
  makeChannels(instanceId);
}

HostLink::~HostLink() {
  if (process_ != nullptr) {
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE) TerminateProcess(process_, 0);
    CloseHandle(process_);
  }
  releaseInstanceMutex();
}

bool HostLink::holdInstanceMutex() {
  if (mutex_ != nullptr) return true;
  mutex_ = CreateMutexA(nullptr, TRUE, kHostInstanceMutexName);
  return mutex_ != nullptr;
}

void HostLink::releaseInstanceMutex() {
  if (mutex_ != nullptr) CloseHandle(mutex_);
  mutex_ = nullptr;
}

bool HostLink::createResponseEvent() {
  if (commandChannel->responseEvent == nullptr) {
    commandChannel->responseEvent =
        CreateEventA(nullptr, FALSE, FALSE, commandChannel->responseEventName.c_str());
  }
  return commandChannel->responseEvent != nullptr;
}

bool HostLink::createVideoChannel() {
  return videoChannel->create() && videoChannel->usable();
}

bool HostLink::createAudioChannel() {
  return audioChannel->create() && audioChannel->usable();
}

bool HostLink::start() {
  return createVideoChannel() && createAudioChannel() && createResponseEvent();
}

bool HostLink::launch(const std::string& executable) {
  std::string commandLine = executable + " " + std::to_string(id_);
  STARTUPINFOA startup{};
  // The structure's size on 64-bit Windows, set as the link's Windows hosts set it; the Linux
  // CreateProcessA does not read it.
  startup.cb = 104;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &info)) {
    return false;
  }
  process_ = info.hProcess;
  return true;
}

bool HostLink::connect(DWORD timeoutMs) {
  // Each attempt of the settings' connect waits up to about 4 s for the command channel.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!settings.connect()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
  return commandChannel->usable();
}

std::optional<std::vector<std::uint8_t>> HostLink::readBlock(MappingMem* channel, DWORD timeoutMs,
                                                             SignalTime* signalSeen) {
  if (channel == nullptr || !channel->usable()) return std::nullopt;
  HANDLE event = channel->event;
  if (WaitForMultipleObjects(1, &event, FALSE, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  if (signalSeen != nullptr) *signalSeen = std::chrono::steady_clock::now();
  std::size_t count = ReadU32(channel->view);
  const std::size_t area = static_cast<std::size_t>(channel->size) - kBlockHeaderSize;
  if (count > area) count = area;
  return std::vector<std::uint8_t>(channel->view + kBlockHeaderSize,
                                   channel->view + kBlockHeaderSize + count);
}

std::optional<std::vector<std::uint8_t>> HostLink::readVideo(DWORD timeoutMs,
                                                             SignalTime* signalSeen) {
  return readBlock(videoChannel.get(), timeoutMs, signalSeen);
}

std::optional<std::vector<std::uint8_t>> HostLink::readAudio(DWORD timeoutMs,
                                                             SignalTime* signalSeen) {
  return readBlock(audioChannel.get(), timeoutMs, signalSeen);
}

std::optional<DWORD> HostLink::waitExit(DWORD timeoutMs) {
  if (process_ == nullptr) return std::nullopt;
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}
