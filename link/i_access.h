// The link object: the settings of the source together with the three channels and the
// command-server thread. The browser process derives its server from it; a host derives its
// own end.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "mapping_mem.h"
#include "shr_avsource.h"

class i_access {
 public:
  i_access();
  virtual ~i_access();
  i_access(const i_access&) = delete;
  i_access& operator=(const i_access&) = delete;

  virtual bool start() = 0;

  // Ends the command server: sets `stopping`, wakes every waiter and joins the thread.
  // Must not run on the server thread itself.
  void stop();

  // Makes the three channel objects for an instance id, replacing any earlier ones. Only names
  // are built; no kernel object is touched.
  void makeChannels(int id);

  shr_avsource settings;
  std::shared_ptr<MappingMem> commandChannel;
  std::shared_ptr<MappingMem> videoChannel;
  std::shared_ptr<MappingMem> audioChannel;
  std::shared_ptr<std::thread> serverThread;
  std::atomic<bool> stopping{false};
  std::int32_t mode = 0;  // 1: connect opens video and audio; 2: connect opens the command channel
};
