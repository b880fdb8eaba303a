// The engine's helper processes (private X server, WebKit's web and network processes) end
// with the browser process, however it ends; a start-up that cannot work fails cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "local_http_server.h"

namespace {

using namespace std::chrono_literals;

struct Probe {
  pid_t pid = -1;
  FILE* out = nullptr;
};

Probe Launch(std::vector<std::string> args, const char* path = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::string exe = BinDir() + "/engine_probe";
  args.insert(args.begin(), exe);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (path) setenv("PATH", path, 1);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  return Probe{pid, fdopen(fds[0], "r")};
}

std::string ReadLine(FILE* f) {
  char buf[4096];
  if (!fgets(buf, sizeof buf, f)) return {};
  return buf;
}

// Gone, or a zombie nobody has reaped yet (it holds no resources any more).
bool Gone(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  size_t close = line.rfind(')');
  return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

std::string WebExtDir() {
  return BinDir() + "/../lib/tavrimon-webext-test";
}

TEST(EngineProcessLifetime, NoHelperOutlivesABrowserProcessKilledHard) {
  LocalHttpServer server;
  server.Serve("/", "<!doctype html>alive");
  Probe probe = Launch({"tree", server.Url("/"), WebExtDir()});
  ASSERT_GT(probe.pid, 0);
  std::string line = ReadLine(probe.out);
  ASSERT_EQ(line.rfind("ready", 0), 0u) << line;
  std::istringstream in(line.substr(5));
  std::vector<int> helpers;
  for (int pid; in >> pid;) helpers.push_back(pid);
  // Xvfb, the web process and the network process at least.
  EXPECT_GE(helpers.size(), 3u);

  kill(probe.pid, SIGKILL);
  waitpid(probe.pid, nullptr, 0);
  fclose(probe.out);
  auto deadline = std::chrono::steady_clock::now() + 5s;  // about 1 s expected; slack for load
  std::vector<int> left = helpers;
  while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
    std::erase_if(left, Gone);
    std::this_thread::sleep_for(50ms);
  }
  for (int pid : left) {
    ADD_FAILURE() << "helper " << pid << " outlived the browser process";
    kill(pid, SIGKILL);
  }
}

TEST(EngineProcessLifetime, InitializeFailsCleanlyWithoutAnXServer) {
  Probe probe = Launch({"init", WebExtDir()}, "/nonexistent");
  ASSERT_GT(probe.pid, 0);
  std::string line = ReadLine(probe.out);
  int status = 0;
  waitpid(probe.pid, &status, 0);
  fclose(probe.out);
  EXPECT_EQ(line, "init=0\n");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(EngineProcessLifetime, ASubProcessReturnsAtOnceFromExecuteProcess) {
  Probe probe = Launch({"--type=renderer", "--parent_pid=1"});
  ASSERT_GT(probe.pid, 0);
  std::string line = ReadLine(probe.out);
  waitpid(probe.pid, nullptr, 0);
  fclose(probe.out);
  EXPECT_EQ(line, "execute=0\n");
}

TEST(EngineProcessLifetime, AfterShutdownTasksAreRefusedAndReleasedUnrun) {
  Probe probe = Launch({"shutdown", WebExtDir()});
  ASSERT_GT(probe.pid, 0);
  std::string line = ReadLine(probe.out);
  waitpid(probe.pid, nullptr, 0);
  fclose(probe.out);
  EXPECT_EQ(line, "post=0 ran=0 released=1\n");
}

}  // namespace
