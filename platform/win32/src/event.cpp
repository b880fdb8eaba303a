// Named auto-reset events: a 32-bit word at the start of a shared-memory object (0 not
// signalled, any other value signalled) with shared futex wake-ups.
#include <windows.h>

#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "event_object.h"
#include "handle_table.h"
#include "process_object.h"
#include "shared_object.h"

namespace win32 {

constexpr std::size_t kEventSize = sizeof(std::uint32_t);

EventObject::EventObject(std::unique_ptr<SharedObject> object, std::uint32_t* word)
    : object_(std::move(object)), word_(word) {}

EventObject::~EventObject() {
  munmap(word_, kEventSize);
}

void EventObject::Signal() {
  std::atomic_ref<std::uint32_t>(*word_).store(1);
  syscall(SYS_futex, word_, FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

DWORD EventObject::Wait(DWORD milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::atomic_ref<std::uint32_t> word(*word_);
  for (;;) {
    std::uint32_t value = word.load();
    if (value != 0) {
      // Consume the signal; a racing waiter may take it first.
      if (word.compare_exchange_strong(value, 0)) return WAIT_OBJECT_0;
      continue;
    }
    timespec timeout{};
    timespec* timeoutArgument = nullptr;
    if (milliseconds != INFINITE) {
      const auto left = deadline - Clock::now();
      if (left <= Clock::duration::zero()) return WAIT_TIMEOUT;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
      timeout.tv_nsec = static_cast<long>(ns % 1000000000);
      timeoutArgument = &timeout;
    }
    if (syscall(SYS_futex, word_, FUTEX_WAIT, 0, timeoutArgument, nullptr, 0) != 0 &&
        errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
}

namespace {

HANDLE AddEvent(std::unique_ptr<SharedObject> object) {
  void* word = mmap(nullptr, kEventSize, PROT_READ | PROT_WRITE, MAP_SHARED, object->fd(), 0);
  if (word == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return AddHandle(
      std::make_shared<EventObject>(std::move(object), static_cast<std::uint32_t*>(word)));
}

}  // namespace
}  // namespace win32

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (manualReset || name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool existed = false;
  auto object = win32::SharedObject::Create(name, win32::kEventSize, &existed);
  if (!object) return nullptr;
  if (object->size() < win32::kEventSize) {
    SetLastError(ERROR_INVALID_HANDLE);  // a region of that name, not an event
    return nullptr;
  }
  HANDLE handle = win32::AddEvent(std::move(object));
  if (handle == nullptr) return nullptr;
  if (!existed && initialState) SetEvent(handle);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
  auto object = win32::SharedObject::Open(name);
  if (!object) return nullptr;
  if (object->size() < win32::kEventSize) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return win32::AddEvent(std::move(object));
}

BOOL SetEvent(HANDLE event) {
  auto object = win32::LookupHandle<win32::EventObject>(event);
  if (!object) return FALSE;
  object->Signal();
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL, DWORD milliseconds) {
  if (count != 1 || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return WaitForSingleObject(handles[0], milliseconds);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto object = win32::LookupAnyHandle(handle);
  if (auto event = std::dynamic_pointer_cast<win32::EventObject>(object)) {
    return event->Wait(milliseconds);
  }
  if (auto process = std::dynamic_pointer_cast<win32::ProcessObject>(object)) {
    return process->Wait(milliseconds);
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}
