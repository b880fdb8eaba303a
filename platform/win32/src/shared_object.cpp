#include "shared_object.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>

namespace win32 {
namespace {

constexpr int kAttempts = 8;  // a name can be removed and re-made under us only so often

bool Lock(int fd, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // the whole object, whatever its size
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Whether a lock of another open file description covers the object: a write lock asked for
// on our own description conflicts only with the locks of others.
std::optional<bool> HeldByOthers(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return std::nullopt;
  return probe.l_type != F_UNLCK;
}

// True when the name still refers to the object open on fd (a last holder may have removed
// the name between our shm_open and our lock).
bool NameRefersTo(const std::string& path, int fd) {
  int other = shm_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (other < 0) return false;
  struct stat a {
  }, b{};
  bool same =
      fstat(fd, &a) == 0 && fstat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  close(other);
  return same;
}

bool ValidName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  const std::size_t length = std::strlen(name);
  return length < NAME_MAX && std::strchr(name, '/') == nullptr;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOSPC:
    case EFBIG:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace

std::unique_ptr<SharedObject> SharedObject::Create(const char* name, std::size_t size,
                                                   bool* existed) {
  if (!ValidName(name) || size == 0 || static_cast<off_t>(size) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = std::string("/") + name;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    if (Lock(fd, F_WRLCK, false)) {
      // Nobody holds it: whatever it holds is stale. Reset it to `size` zero bytes.
      if (!NameRefersTo(path, fd)) {
        close(fd);
        continue;
      }
      if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        close(fd);
        SetLastError(ErrorFromErrno(error));
        return nullptr;
      }
      Lock(fd, F_RDLCK, false);  // downgrading our own lock cannot conflict
      *existed = false;
      return std::unique_ptr<SharedObject>(new SharedObject(path, fd));
    }
    // Somebody holds it: share it, once any reset in progress is over.
    if (!Lock(fd, F_RDLCK, true) || !NameRefersTo(path, fd)) {
      close(fd);
      continue;
    }
    *existed = true;
    return std::unique_ptr<SharedObject>(new SharedObject(path, fd));
  }
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

std::unique_ptr<SharedObject> SharedObject::Open(const char* name) {
  if (!ValidName(name)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = std::string("/") + name;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    int fd = shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    if (!Lock(fd, F_RDLCK, true)) {
      close(fd);
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (!NameRefersTo(path, fd)) {
      close(fd);
      continue;
    }
    if (!HeldByOthers(fd).value_or(true)) {  // when it cannot be told, do not call it stale
      close(fd);                             // left behind by a holder that is gone
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return std::unique_ptr<SharedObject>(new SharedObject(path, fd));
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

std::size_t SharedObject::size() const {
  struct stat info {};
  if (fstat(fd_, &info) != 0 || info.st_size < 0) return 0;
  return static_cast<std::size_t>(info.st_size);
}

std::optional<bool> SharedObject::heldByOthers() const {
  return HeldByOthers(fd_);
}

SharedObject::~SharedObject() {
  // The last holder removes the name, so objects do not pile up in shared memory. A holder
  // killed before this point leaves the name behind; the next create resets it.
  if (Lock(fd_, F_WRLCK, false) && NameRefersTo(path_, fd_)) shm_unlink(path_.c_str());
  close(fd_);
}

}  // namespace win32
