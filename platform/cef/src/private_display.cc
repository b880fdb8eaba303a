#include "private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace cef_internal {
namespace {

std::string FindInPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string_view rest(path);
  while (true) {
    size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + std::string(program);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void KillAndReap(pid_t pid) {
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::optional<PrivateDisplay> StartPrivateDisplay(int width, int height, int timeoutMs,
                                                  bool withGl) {
  std::string xvfb = FindInPath("Xvfb");
  if (xvfb.empty()) return std::nullopt;

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;

  // Everything the child needs is built before fork: after fork only async-signal-safe calls.
  std::string fdText = std::to_string(fds[1]);
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<std::string> words = {xvfb,      "-displayfd", fdText, "-nolisten", "tcp",
                                    "-screen", "0",          screen, "-noreset",  "-nocursor"};
  if (!withGl) words.insert(words.end(), {"-extension", "GLX"});
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    // The server must not outlive us, whatever way we end (kill -9 included).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    int flags = fcntl(fds[1], F_GETFD);
    fcntl(fds[1], F_SETFD, flags & ~FD_CLOEXEC);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);

  // Xvfb writes the display number followed by a newline once it accepts clients.
  std::string number;
  int64_t deadline = NowMs() + timeoutMs;
  bool complete = false;
  while (!complete) {
    int64_t left = deadline - NowMs();
    if (left <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char buf[32];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // Xvfb ended without a display
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        complete = true;
        break;
      }
      if (buf[i] >= '0' && buf[i] <= '9' && number.size() < 9) number += buf[i];
    }
  }
  close(fds[0]);
  if (!complete || number.empty()) {
    KillAndReap(pid);
    return std::nullopt;
  }
  return PrivateDisplay{pid, ":" + number};
}

void StopPrivateDisplay(PrivateDisplay& display) {
  if (display.pid > 0) KillAndReap(display.pid);
  display.pid = -1;
}

}  // namespace cef_internal
