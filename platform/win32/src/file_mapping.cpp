// Named regions: CreateFileMappingA, OpenFileMappingA, MapViewOfFile, UnmapViewOfFile.
#include <windows.h>

#include <sys/mman.h>
#include <cstdint>
#include <map>
#include <mutex>

#include "handle_table.h"
#include "shared_object.h"

namespace win32 {
namespace {

class FileMapping : public KernelObject {
 public:
  explicit FileMapping(std::unique_ptr<SharedObject> object) : object_(std::move(object)) {}
  const SharedObject& object() const { return *object_; }
  const SharedObject* sharedObject() const override { return object_.get(); }

 private:
  std::unique_ptr<SharedObject> object_;
};

// Views by address, so UnmapViewOfFile knows their length. A view keeps its region's name
// held after the mapping handle is closed, as on Windows.
struct View {
  std::size_t length;
  std::shared_ptr<FileMapping> mapping;
};
std::mutex viewsMutex;
std::map<std::uintptr_t, View>& Views() {
  static auto* views = new std::map<std::uintptr_t, View>;
  return *views;
}

}  // namespace
}  // namespace win32

using win32::FileMapping;

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name) {
  // Only named regions backed by memory are provided.
  if (file != INVALID_HANDLE_VALUE || protect != PAGE_READWRITE || name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::uint64_t size = (std::uint64_t{maximumSizeHigh} << 32) | maximumSizeLow;
  bool existed = false;
  auto object = win32::SharedObject::Create(name, size, &existed);
  if (!object) return nullptr;
  HANDLE handle = win32::AddHandle(std::make_shared<FileMapping>(std::move(object)));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenFileMappingA(DWORD, BOOL, LPCSTR name) {
  auto object = win32::SharedObject::Open(name);
  if (!object) return nullptr;
  return win32::AddHandle(std::make_shared<FileMapping>(std::move(object)));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  auto region = win32::LookupHandle<FileMapping>(mapping);
  if (!region) return nullptr;
  const std::size_t available = region->object().size();
  if (offsetHigh != 0 || offsetLow != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes == 0) bytes = available;
  // Mapping past the object's end would fault on first touch: refuse it here instead.
  if (bytes == 0 || bytes > available) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  void* view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, region->object().fd(), 0);
  if (view == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(win32::viewsMutex);
  win32::Views()[reinterpret_cast<std::uintptr_t>(view)] = {bytes, std::move(region)};
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  win32::View released;
  {
    std::lock_guard<std::mutex> guard(win32::viewsMutex);
    auto found = win32::Views().find(reinterpret_cast<std::uintptr_t>(view));
    if (found == win32::Views().end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    released = std::move(found->second);
    win32::Views().erase(found);
  }
  munmap(const_cast<void*>(view), released.length);
  return TRUE;
}
