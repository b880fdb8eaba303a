// The processes a test has started, seen through /proc: a snapshot of every descendant of a
// process, and whether each of them has ended since. A process counts as ended once none of
// its threads runs any more (a zombie, or gone), or when its pid now belongs to a process
// started later.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct TracedProcess {
  pid_t pid;
  std::string name;               // /proc/PID/comm
  unsigned long long startTicks;  // start time, tells a reused pid from the original
};

// Every live descendant of `root` (not `root` itself), children before grandchildren.
std::vector<TracedProcess> Descendants(pid_t root);

bool HasEnded(const TracedProcess& process);
// The processes of `processes` that have not ended.
std::vector<TracedProcess> StillRunning(const std::vector<TracedProcess>& processes);

// Polls every 2 ms until all of `processes` have ended; the time that took, or the timeout
// when some are still running then. Reaps those that are this process's children (orphans come
// to the test when it is their subreaper).
std::chrono::milliseconds WaitAllEnded(const std::vector<TracedProcess>& processes,
                                       std::chrono::milliseconds timeout);

// Makes this process the reaper of orphaned descendants, so they stay visible to the test.
void BecomeSubreaper();

// "name(pid) name(pid) ..." for messages.
std::string Describe(const std::vector<TracedProcess>& processes);
