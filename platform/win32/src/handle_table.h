// Process-wide table of open handles. A HANDLE is a number that indexes this table, never a
// pointer to the object itself: a closed or made-up handle is simply not found.
#pragma once

#include <windows.h>

#include <memory>

namespace win32 {

class SharedObject;

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // The named shared-memory object behind a region, event or mutex handle; null otherwise.
  virtual const SharedObject* sharedObject() const { return nullptr; }
};

HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// Returns the object behind the handle, or null (with ERROR_INVALID_HANDLE) for a handle that
// is not open or is of another kind. The returned reference keeps the object alive while it is
// used, even if another thread closes the handle meanwhile.
template <class T>
std::shared_ptr<T> LookupHandle(HANDLE handle);

std::shared_ptr<KernelObject> LookupAnyHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandle(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupAnyHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

}  // namespace win32
