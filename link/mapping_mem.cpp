#include "mapping_mem.h"

#include <stdexcept>

namespace {
constexpr int kOpenAttempts = 40;
constexpr DWORD kOpenRetryMs = 100;
}  // namespace

MappingMem::MappingMem(const char* mappingBase, const char* eventBase, int size, int instanceId)
    : mappingName(std::string(mappingBase) + std::to_string(instanceId)),
      eventName(std::string(eventBase) + std::to_string(instanceId)),
      responseEventName(kResponseEventBase + std::to_string(instanceId)),
      size(size),
      instanceId(instanceId) {}

bool MappingMem::create() {
  mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               static_cast<DWORD>(size), mappingName.c_str());
  event = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
  if (mapping == nullptr) {
    MessageBoxA(nullptr, "Error create file mapping", "ERROR", MB_OK);
    throw std::runtime_error("Error create file mapping");
  }
  view = static_cast<std::uint8_t*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(size)));
  return true;
}

bool MappingMem::open() {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mappingName.c_str());
    if (mapping != nullptr) break;
    Sleep(kOpenRetryMs);
  }
  if (mapping == nullptr) return false;
  event = OpenEventA(EVENT_ALL_ACCESS, FALSE, eventName.c_str());
  view = static_cast<std::uint8_t*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(size)));
  return true;
}

MappingMem::~MappingMem() {
  // Wake any thread waiting on an event before its handle goes.
  if (event != nullptr) {
    SetEvent(event);
    CloseHandle(event);
    event = nullptr;
  }
  if (responseEvent != nullptr) {
    SetEvent(responseEvent);
    CloseHandle(responseEvent);
    responseEvent = nullptr;
  }
  if (view != nullptr) {
    UnmapViewOfFile(view);
    view = nullptr;
  }
  if (mapping != nullptr) {
    CloseHandle(mapping);
    mapping = nullptr;
  }
}
