// One handle's hold on a named POSIX shared-memory object.
//
// A holder keeps an open-file-description read lock on the whole object for as long as it
// holds it, so the lock tells whether anybody holds the object: a process that dies drops its
// lock with it. An object nobody holds is stale, whatever it contains: creating it again resets
// it to zero, opening it reports it absent.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace win32 {

class SharedObject {
 public:
  ~SharedObject();
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  // Creates the object with `size` zero bytes, or shares it when somebody holds it already
  // (then `existed` is set and the size is the existing one). Null with GetLastError set on
  // failure.
  static std::unique_ptr<SharedObject> Create(const char* name, std::size_t size, bool* existed);
  // Opens an object somebody holds; null (ERROR_FILE_NOT_FOUND) when it is absent or stale.
  static std::unique_ptr<SharedObject> Open(const char* name);

  int fd() const { return fd_; }
  // The object's current size in bytes.
  std::size_t size() const;
  // Whether another open file description (another handle, in this process or another one)
  // holds the object; empty when the kernel cannot tell.
  std::optional<bool> heldByOthers() const;

 private:
  SharedObject(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

  std::string path_;  // "/" + name, as shm_open takes it
  int fd_;
};

}  // namespace win32
