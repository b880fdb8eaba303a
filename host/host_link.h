// The host application's end of the link, for hosts and tests on this machine: holds the
// host-instance mutex, creates the video and audio channels and the response event, starts
// tavrimon-browser, sends commands through `settings` and reads what arrives.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "i_access.h"

class HostLink : public i_access {
 public:
  explicit HostLink(int instanceId);
  // Ends a renderer this object started and still running, and releases the mutex.
  ~HostLink() override;

  // Takes the host-instance mutex, beside any other host that holds it already. True when
  // this object now holds it.
  bool holdInstanceMutex();
  void releaseInstanceMutex();

  // Creates the video and audio channels and the response event the renderer opens.
  bool start() override;
  bool createResponseEvent();
  bool createVideoChannel();
  bool createAudioChannel();

  // Starts the renderer executable with this link's instance id. The command channel is not
  // opened here: call connect().
  bool launch(const std::string& executable);
  // Opens the renderer's command channel, retrying until `timeoutMs` has passed.
  bool connect(DWORD timeoutMs);

  // Waits for the next block on a channel and copies it; empty when none came in time.
  // The byte count is taken from the block but never beyond the channel's data area.
  // `signalSeen`, when given, gets the time the wait returned, before the copy.
  using SignalTime = std::chrono::steady_clock::time_point;
  std::optional<std::vector<std::uint8_t>> readVideo(DWORD timeoutMs,
                                                     SignalTime* signalSeen = nullptr);
  std::optional<std::vector<std::uint8_t>> readAudio(DWORD timeoutMs,
                                                     SignalTime* signalSeen = nullptr);

  // Waits for the launched renderer to end; its exit code, or empty on timeout.
  std::optional<DWORD> waitExit(DWORD timeoutMs);
  HANDLE process() const { return process_; }
  int id() const { return id_; }

 private:
  std::optional<std::vector<std::uint8_t>> readBlock(MappingMem* channel, DWORD timeoutMs,
                                                     SignalTime* signalSeen);

  int id_;
  HANDLE mutex_ = nullptr;
  HANDLE process_ = nullptr;
};
