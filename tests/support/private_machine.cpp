#include "private_machine.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

bool BringLoopbackUp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  close(fd);
  return up;
}

// Named objects live in /dev/shm: a fresh tmpfs there, seen by this process only.
bool PrivateSharedMemory() {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tavrimon-test-shm", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
}

}  // namespace

bool EnterPrivateMachine() {
  constexpr int kSpaces = CLONE_NEWNET | CLONE_NEWNS;
  if (unshare(kSpaces) != 0 && unshare(CLONE_NEWUSER | kSpaces) != 0) return false;
  return BringLoopbackUp() && PrivateSharedMemory();
}
