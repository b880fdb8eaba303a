// The named mutex probe: a mutex named M exists while some process keeps a socket bound to
// the abstract UNIX address "\0" + M. The holder is whoever bound it; the address is freed
// when that process closes the handle or dies.
#include <windows.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "handle_table.h"

namespace {

class MutexObject : public win32::KernelObject {
 public:
  explicit MutexObject(int socket) : socket_(socket) {}
  ~MutexObject() override {
    if (socket_ >= 0) close(socket_);
  }

 private:
  int socket_;  // -1 for a handle to a mutex another process holds
};

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = name != nullptr ? std::strlen(name) : 0;
  if (length == 0 || length >= sizeof(address.sun_path)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::memcpy(address.sun_path + 1, name, length);  // sun_path[0] stays 0: abstract address
  const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), addressLength) == 0) {
    HANDLE handle = win32::AddHandle(std::make_shared<MutexObject>(fd));
    SetLastError(ERROR_SUCCESS);
    return handle;
  }
  const int error = errno;
  close(fd);
  if (error == EADDRINUSE) {
    HANDLE handle = win32::AddHandle(std::make_shared<MutexObject>(-1));
    SetLastError(ERROR_ALREADY_EXISTS);
    return handle;
  }
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}
