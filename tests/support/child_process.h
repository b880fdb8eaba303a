// A child process with its standard input and output on pipes, for tests that drive a real
// process and read what it prints line by line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `argv[0]` with the given arguments; stderr stays the test's own.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  void writeLine(const std::string& line);
  // The next line the child printed, or empty when none came within the timeout.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // Reads lines until one starts with `prefix`; returns it, or empty on timeout.
  std::optional<std::string> waitForLine(const std::string& prefix,
                                         std::chrono::milliseconds timeout);

  // Exit status as the shell shows it (128 + signal for a killed child), or empty on timeout.
  std::optional<int> wait(std::chrono::milliseconds timeout);
  void kill(int signal);

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
  std::optional<int> status_;
};

// Directory of the built executables.
std::string BinDir();
