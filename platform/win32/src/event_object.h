#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "handle_table.h"
#include "shared_object.h"

namespace win32 {

class EventObject : public KernelObject {
 public:
  EventObject(std::unique_ptr<SharedObject> object, std::uint32_t* word);
  ~EventObject() override;
  const SharedObject* sharedObject() const override { return object_.get(); }

  void Signal();
  // WAIT_OBJECT_0 after consuming one signal, WAIT_TIMEOUT, or WAIT_FAILED.
  DWORD Wait(DWORD milliseconds);

 private:
  std::unique_ptr<SharedObject> object_;
  std::uint32_t* word_;
};

}  // namespace win32
