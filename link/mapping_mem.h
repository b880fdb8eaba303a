// One named channel of the host link: a shared region, its signal event and, on the command
// channel, the response event that carries "isReady" replies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class MappingMem {
 public:
  MappingMem(const char* mappingBase, const char* eventBase, int size, int instanceId);
  virtual ~MappingMem();
  MappingMem(const MappingMem&) = delete;
  MappingMem& operator=(const MappingMem&) = delete;

  // Creates (or shares) the region and its event and maps the region. Throws
  // std::runtime_error("Error create file mapping") when the region cannot be made.
  bool create();
  // Opens a region and event another process created, retrying for about 4 seconds; false
  // when the region never appears.
  bool open();

  // Writers touch the region only when this holds.
  bool usable() const { return mapping != nullptr && view != nullptr && event != nullptr; }

  HANDLE event = nullptr;
  HANDLE responseEvent = nullptr;
  HANDLE mapping = nullptr;
  std::uint8_t* view = nullptr;
  std::string mappingName;
  std::string eventName;
  std::string responseEventName;
  std::int32_t size;
  std::int32_t instanceId;
};

// Base names of the link's kernel objects; the decimal instance id is appended to each.
inline constexpr const char* kCommandMappingBase = "ZOLMA_FileMappingObject_COMMAND";
inline constexpr const char* kCommandEventBase = "ZOLMA_Event_COMMAND";
inline constexpr const char* kVideoMappingBase = "ZOLMA_FileMappingObject_VIDEO";
inline constexpr const char* kVideoEventBase = "ZOLMA_Event_VIDEO";
inline constexpr const char* kAudioMappingBase = "ZOLMA_FileMappingObject_AUDIO";
inline constexpr const char* kAudioEventBase = "ZOLMA_Event_AUDIO";
inline constexpr const char* kResponseEventBase = "ZOLMA_Event_COMMAND_Response";

inline constexpr int kCommandRegionSize = 1028;
inline constexpr int kVideoRegionSize = 9437188;  // length field + 9,437,184 data bytes
inline constexpr int kAudioRegionSize = 16388;    // length field + 16,384 data bytes
// Bytes after the length field that a video or audio block may fill.
inline constexpr int kBlockHeaderSize = 4;
