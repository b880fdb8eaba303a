// Runs a test helper program as a child process holding a channel fd, as a web process would.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace tavrimon::audio::testing {

inline constexpr int kChildChannelFd = 3;

// Starts `program` with `args` and with `fd` as its descriptor kChildChannelFd; returns the pid
// or -1.
inline pid_t SpawnWithChannel(const std::string& program, int fd,
                              const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fd, kChildChannelFd);  // dup2 clears close-on-exec
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// The child's exit status, or -1 if it did not exit normally.
inline int WaitForExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace tavrimon::audio::testing
