// The holder of a named mutex is the socket bound to the abstract address "\0" + name (see
// mutex.cpp). The kernel lists it in /proc/net/unix as "@name" at the end of a line, after its
// inode; and the socket diagnostics interface answers for one inode whether that socket still
// exists, without listing every socket of the machine.
#include "named_mutex_holding.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

std::string ReadAll(const char* path) {
  std::string text;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char chunk[16384];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

enum class Presence { Present, Absent, Unknown };

constexpr std::size_t kHeaderLength = (sizeof(nlmsghdr) + 3) & ~std::size_t{3};  // NLMSG_HDRLEN

// Asks the kernel for the UNIX socket with inode `inode`. "Absent" is also what a kernel
// without UNIX socket diagnostics answers, so callers confirm it another way.
Presence UnixSocketPresence(std::uint64_t inode) {
  const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return Presence::Unknown;
  struct {
    nlmsghdr header;
    unix_diag_req request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = AF_UNIX;
  message.request.udiag_states = ~0u;
  message.request.udiag_ino = static_cast<__u32>(inode);
  message.request.udiag_cookie[0] = message.request.udiag_cookie[1] = ~0u;  // no cookie check
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  Presence presence = Presence::Unknown;
  if (sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) == static_cast<ssize_t>(sizeof message)) {
    alignas(nlmsghdr) char reply[4096];
    const ssize_t n = recv(fd, reply, sizeof reply, 0);
    if (n >= static_cast<ssize_t>(sizeof(nlmsghdr))) {
      const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
      if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY) {
        presence = Presence::Present;
      } else if (header->nlmsg_type == NLMSG_ERROR &&
                 n >= static_cast<ssize_t>(kHeaderLength + sizeof(nlmsgerr)) &&
                 reinterpret_cast<const nlmsgerr*>(reply + kHeaderLength)->error == -ENOENT) {
        presence = Presence::Absent;
      }
    }
  }
  close(fd);
  return presence;
}

}  // namespace

std::uint64_t NamedMutexHolding(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  const std::string table = ReadAll("/proc/net/unix");
  // Columns: Num RefCount Protocol Flags Type St Inode Path
  const std::string tail = std::string(" @") + name + "\n";
  const std::size_t at = table.find(tail);
  if (at == std::string::npos) return 0;
  const std::size_t lineStart = table.rfind('\n', at);
  const char* field = table.c_str() + (lineStart == std::string::npos ? 0 : lineStart + 1);
  const char* end = table.c_str() + at;
  for (int column = 0; column < 6 && field < end; ++column) {
    while (field < end && *field != ' ') ++field;  // this column
    while (field < end && *field == ' ') ++field;  // the spaces after it
  }
  if (field >= end) return 0;
  return std::strtoull(field, nullptr, 10);
}

bool NamedMutexHeldBy(const char* name, std::uint64_t holding) {
  if (holding == 0) return false;
  if (UnixSocketPresence(holding) == Presence::Present) return true;
  return NamedMutexHolding(name) == holding;  // the table tells for certain
}
