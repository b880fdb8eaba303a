#include "handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace win32 {
namespace {

std::mutex tableMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>>& Table() {
  static auto* table = new std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>>;
  return *table;
}
// Handle values are never reused, so a stale handle cannot reach a newer object.
std::uintptr_t nextHandle = 0x1000;

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> guard(tableMutex);
  const std::uintptr_t value = nextHandle;
  nextHandle += 4;
  Table().emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupAnyHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(tableMutex);
  auto found = Table().find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == Table().end()) return nullptr;
  return found->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> released;
  {
    std::lock_guard<std::mutex> guard(tableMutex);
    auto found = Table().find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == Table().end()) return false;
    released = std::move(found->second);
    Table().erase(found);
  }
  // The object is destroyed here, outside the lock, unless a waiter still holds it.
  return true;
}

}  // namespace win32
