// The named mutex: a mutex named M is the POSIX shared-memory object "/" + M, 4 bytes, held
// like a region or an event (an open-file-description read lock for the life of each handle).
// It exists while at least one holder keeps its handle; a process that dies stops holding at
// once. Taking it when nobody holds it resets it and reports a new mutex; taking it while
// somebody holds it shares it and reports ERROR_ALREADY_EXISTS. The last holder to close its
// handle removes the name.
#include <windows.h>

#include "handle_table.h"
#include "shared_object.h"

namespace {

constexpr std::size_t kMutexSize = 4;

class MutexObject : public win32::KernelObject {
 public:
  explicit MutexObject(std::unique_ptr<win32::SharedObject> object) : object_(std::move(object)) {}
  const win32::SharedObject* sharedObject() const override { return object_.get(); }

 private:
  std::unique_ptr<win32::SharedObject> object_;
};

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  bool existed = false;
  auto object = win32::SharedObject::Create(name, kMutexSize, &existed);
  if (!object) return nullptr;
  HANDLE handle = win32::AddHandle(std::make_shared<MutexObject>(std::move(object)));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}
