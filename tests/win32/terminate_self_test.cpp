// A process that terminates itself takes the processes it started along at once.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

TEST(TerminateSelf, EndsTheProcessesItStarted) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t parent = fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    close(pipeFds[0]);
    char line[] = "/bin/sleep 30";
    STARTUPINFOA startup{};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      _exit(2);
    }
    const pid_t started = static_cast<pid_t>(info.dwProcessId);
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

}  // namespace
