// A process that terminates itself ends with the status it gave, and takes the processes it
// started along at once.
#include <windows.h>

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// A process that lives on unless ended: the pid, or -1 when it could not be started.
pid_t StartSleeper() {
  char line[] = "/bin/sleep 30";
  STARTUPINFOA startup{};
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return -1;
  }
  return static_cast<pid_t>(info.dwProcessId);
}

TEST(TerminateSelf, EndsTheProcessesItStarted) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t parent = fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    close(pipeFds[0]);
    const pid_t started = StartSleeper();
    if (started < 0) _exit(2);
    if (write(pipeFds[1], &started, sizeof started) != static_cast<ssize_t>(sizeof started)) {
      _exit(3);
    }
    TerminateProcess(GetCurrentProcess(), 7);
    _exit(4);
  }
  close(pipeFds[1]);
  pid_t sleeper = -1;
  ASSERT_EQ(read(pipeFds[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(parent, &status, 0), parent);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);

  // The sleeper, now an orphan, must already be dead or dying (a zombie until reaped).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  bool alive = true;
  while (alive && std::chrono::steady_clock::now() < deadline) {
    FILE* stat = std::fopen(("/proc/" + std::to_string(sleeper) + "/stat").c_str(), "r");
    char state = 'X';
    if (stat != nullptr) {
      if (std::fscanf(stat, "%*d (%*[^)]) %c", &state) != 1) state = 'X';
      std::fclose(stat);
    }
    alive = state != 'X' && state != 'Z';
    if (alive) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(alive) << "the started process outlived its parent's TerminateProcess";
  if (alive) kill(sleeper, SIGKILL);
}

// Like a UI thread that ends the process when its X server dies: a thread that watches a
// child and exits with 1 the moment it ends. The idle threads make the process slow to walk
// through, as a browser process is; a process that killed its children before its own end
// lost to the watcher.
TEST(TerminateSelf, EndsWithItsOwnStatusWhileAThreadReactsToItsChildrenEnding) {
  constexpr int kRuns = 10;
  for (int run = 0; run < kRuns; ++run) {
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
      const pid_t sleeper = StartSleeper();
      if (sleeper < 0) _exit(2);
      const int watched = static_cast<int>(syscall(SYS_pidfd_open, sleeper, 0));
      if (watched < 0) _exit(3);
      std::thread([watched] {
        pollfd ended{watched, POLLIN, 0};
        while (poll(&ended, 1, -1) != 1) {
        }
        _exit(1);
      }).detach();
      std::vector<std::thread> idle;
      for (int i = 0; i < 64; ++i) idle.emplace_back([] { pause(); });
      TerminateProcess(GetCurrentProcess(), 7);
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(parent, &status, 0), parent);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7) << "run " << run;
  }
}

}  // namespace
