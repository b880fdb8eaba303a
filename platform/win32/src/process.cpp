// Processes: Sleep, GetCurrentProcess(Id), TerminateProcess, GetExitCodeProcess,
// CreateProcessA; and CloseHandle, which ends every kind of handle.
#include <windows.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "handle_table.h"
#include "process_object.h"

extern char** environ;

namespace win32 {

ProcessObject::ProcessObject(pid_t pid)
    : pid_(pid), pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}

ProcessObject::~ProcessObject() {
  if (pidfd_ >= 0) close(pidfd_);
}

bool ProcessObject::Reap(bool block) {
  if (exitCode_) return true;
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == 0) return false;
  if (result < 0) {
    exitCode_ = terminatedWith_.value_or(0);  // reaped elsewhere: nothing more to learn
    return true;
  }
  if (terminatedWith_) {
    exitCode_ = *terminatedWith_;
  } else if (WIFEXITED(status)) {
    exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
  } else {
    exitCode_ = static_cast<DWORD>(128 + WTERMSIG(status));
  }
  return true;
}

DWORD ProcessObject::Wait(DWORD milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (Reap(false)) return WAIT_OBJECT_0;
    }
    int slice = 5;
    if (milliseconds != INFINITE) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WAIT_TIMEOUT;
      slice = static_cast<int>(left < 1000 ? left : 1000);
    }
    if (pidfd_ >= 0) {
      pollfd entry{pidfd_, POLLIN, 0};
      poll(&entry, 1, milliseconds == INFINITE ? -1 : slice);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

DWORD ProcessObject::ExitCode() {
  std::lock_guard<std::mutex> guard(mutex_);
  return Reap(false) ? *exitCode_ : STILL_ACTIVE;
}

bool ProcessObject::Terminate(UINT exitCode) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (Reap(false)) return false;  // already over: as on Windows, nothing to terminate
  terminatedWith_ = exitCode;
  if (kill(pid_, SIGKILL) != 0) {
    terminatedWith_.reset();
    return false;
  }
  Reap(true);
  return true;
}

}  // namespace win32

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

HANDLE GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

namespace {

// The processes this one started (an X server, a browser engine's helpers), from the children
// lists of all its threads.
std::vector<pid_t> OwnChildren() {
  std::vector<pid_t> children;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return children;
  while (dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + task->d_name + "/children";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char text[4096];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) continue;
    text[n] = '\0';
    for (char* at = text; *at != '\0';) {
      char* end = nullptr;
      const long pid = std::strtol(at, &end, 10);
      if (end == at) break;
      if (pid > 0) children.push_back(static_cast<pid_t>(pid));
      at = end;
    }
  }
  closedir(tasks);
  return children;
}

// Ends this process with `exitCode` at once, and the processes it started right after.
//
// The children must not die first: another thread of this process that notices one of them
// gone (the UI thread losing its X server, an engine losing a helper) may end the process with
// a status of its own before ours is set. So a copy of this thread, made with a bare clone (no
// fork handlers: it runs nothing but system calls), waits for this process to have ended and
// only then kills the children. Left alone, each child would end only when it noticed its
// parent gone, some of them only after their own clean-up.
[[noreturn]] void EndWithChildren(UINT exitCode) {
  const int status = static_cast<int>(exitCode & 0xFF);
  std::vector<pid_t> children = OwnChildren();
  if (children.empty()) _exit(status);
  const pid_t self = getpid();
  const int selfFd = static_cast<int>(syscall(SYS_pidfd_open, self, 0));
  const long reaper = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
  if (reaper == 0) {
    // The copy holds every descriptor of the process: let go of them at once, so nothing this
    // process held (locks on named objects, pipes a parent reads to the end) outlives it.
    if (selfFd > 0) syscall(SYS_close_range, 0u, static_cast<unsigned>(selfFd - 1), 0u);
    syscall(SYS_close_range, static_cast<unsigned>(selfFd + 1), ~0u, 0u);
    if (selfFd >= 0) {
      pollfd ended{selfFd, POLLIN, 0};
      const timespec limit{5, 0};
      syscall(SYS_ppoll, &ended, 1, &limit, nullptr, 0);
    } else {
      for (int i = 0; i < 5000 && syscall(SYS_getppid) == self; ++i) {
        const timespec pause{0, 1000000};
        syscall(SYS_nanosleep, &pause, nullptr);
      }
    }
    for (const pid_t child : children) syscall(SYS_kill, child, SIGKILL);
    syscall(SYS_exit_group, 0);
  }
  if (reaper < 0) {
    // No copy could be made: the children go first after all.
    for (const pid_t child : children) kill(child, SIGKILL);
  }
  _exit(status);  // no destructors, no flushing
}

}  // namespace

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  if (process == GetCurrentProcess()) EndWithChildren(exitCode);
  auto child = win32::LookupHandle<win32::ProcessObject>(process);
  if (!child) return FALSE;
  if (!child->Terminate(exitCode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  if (exitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (process == GetCurrentProcess()) {
    *exitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto child = win32::LookupHandle<win32::ProcessObject>(process);
  if (!child) return FALSE;
  *exitCode = child->ExitCode();
  return TRUE;
}

// The command line is "PATH ARGUMENT": the program is everything before the last space (so a
// path may hold spaces) and the one argument everything after it. A line without a space is a
// program with no argument. The child inherits the environment unless one is given.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA, LPPROCESS_INFORMATION processInformation) {
  if (processInformation == nullptr || (commandLine == nullptr && applicationName == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string line = commandLine != nullptr ? commandLine : "";
  std::string program;
  std::vector<std::string> arguments;
  const auto space = line.rfind(' ');
  if (space == std::string::npos) {
    program = line;
  } else {
    program = line.substr(0, space);
    arguments.push_back(line.substr(space + 1));
  }
  if (applicationName != nullptr) program = applicationName;
  if (program.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }

  std::vector<char*> argv;
  argv.push_back(program.data());
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // A Windows environment block: NUL-terminated strings, ended by an empty one.
  std::vector<char*> envp;
  if (environment != nullptr) {
    for (char* entry = static_cast<char*>(environment); *entry != '\0';
         entry += std::strlen(entry) + 1) {
      envp.push_back(entry);
    }
    envp.push_back(nullptr);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (currentDirectory != nullptr) {
    posix_spawn_file_actions_addchdir_np(&actions, currentDirectory);
  }
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(),
                                environment != nullptr ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    SetLastError(error == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  processInformation->hProcess = win32::AddHandle(std::make_shared<win32::ProcessObject>(pid));
  processInformation->hThread = nullptr;
  processInformation->dwProcessId = static_cast<DWORD>(pid);
  processInformation->dwThreadId = 0;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!win32::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
