// This process's end of the host link: makes the command channel, opens the host's video and
// audio channels and response event, and runs the command server thread that applies each
// command packet to the settings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "i_access.h"

class i_server : public i_access {
 public:
  i_server() = default;
  ~i_server() override;

  // Prepares the three channel objects (names only; no kernel object is touched).
  void createChannels(int id);

  // Brings the link up. Throws "Error load server!" or "Error open event" (as C strings) or
  // std::runtime_error("Error start server").
  bool start() override;

  // Applies the command packet held in `packet`, kMaxPacketSize bytes, and writes a reply
  // ("isReady") into the command region `replyRegion` of the same size. Never reads or writes
  // outside those bytes, whatever they hold. True when the packet was "Update", after which the
  // server thread pauses 10 ms.
  bool handlePacket(const std::uint8_t* packet, std::uint8_t* replyRegion);
  // The same for a packet read in place in the region.
  bool handlePacket(std::uint8_t* region) { return handlePacket(region, region); }

  // This process's handles on the objects the host made for it and holds while it serves this
  // renderer: the video and audio channels and the response event, those that are open.
  std::vector<HANDLE> hostObjects() const;

  std::int32_t instanceId = 0;

 private:
  void serve();
};
