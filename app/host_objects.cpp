#include "host_objects.h"

#include <mutex>

#include "named_object_holders.h"

namespace {

std::mutex watchedLock;
std::vector<HANDLE>& Watched() {
  static auto* handles = new std::vector<HANDLE>;  // lives until the process ends
  return *handles;
}

}  // namespace

void WatchHostObjects(std::vector<HANDLE> handles) {
  std::lock_guard<std::mutex> guard(watchedLock);
  Watched() = std::move(handles);
}

bool HostLetGoOfItsObjects() {
  std::lock_guard<std::mutex> guard(watchedLock);
  if (Watched().empty()) return false;
  for (HANDLE handle : Watched()) {
    if (OtherHoldersOf(handle) != OtherHolders::None) return false;
  }
  return true;
}
