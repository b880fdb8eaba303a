#pragma once

#include <sys/types.h>

#include <chrono>
#include <vector>

// Every live process below `root` (children, their children, ...), read from /proc.
std::vector<pid_t> DescendantsOf(pid_t root);
// True once none of `pids` is alive any more (zombies count as gone), within the timeout.
bool AllGone(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout);
