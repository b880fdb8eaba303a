#pragma once

#include <windows.h>

#include <sys/types.h>
#include <mutex>
#include <optional>

#include "handle_table.h"

namespace win32 {

// A child process started by CreateProcessA. Its exit status is collected (and the child
// reaped) by whichever of Wait, ExitCode or Terminate first sees it end.
class ProcessObject : public KernelObject {
 public:
  explicit ProcessObject(pid_t pid);
  ~ProcessObject() override;

  DWORD Wait(DWORD milliseconds);
  // STILL_ACTIVE while it runs.
  DWORD ExitCode();
  bool Terminate(UINT exitCode);

 private:
  bool Reap(bool block);

  pid_t pid_;
  int pidfd_;  // -1 where the kernel has no pidfd_open
  std::mutex mutex_;
  std::optional<DWORD> exitCode_;
  std::optional<DWORD> terminatedWith_;
};

}  // namespace win32
