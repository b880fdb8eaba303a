#include "named_object_holders.h"

#include "handle_table.h"
#include "shared_object.h"

OtherHolders OtherHoldersOf(HANDLE handle) {
  const auto object = win32::LookupAnyHandle(handle);
  const win32::SharedObject* shared = object ? object->sharedObject() : nullptr;
  if (shared == nullptr) return OtherHolders::Unknown;
  const auto held = shared->heldByOthers();
  if (!held) return OtherHolders::Unknown;
  return *held ? OtherHolders::Some : OtherHolders::None;
}
