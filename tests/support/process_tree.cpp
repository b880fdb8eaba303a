#include "process_tree.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace {

// The parent id and state of a process, from /proc/PID/stat; false when it is gone.
bool ReadStat(pid_t pid, pid_t* parent, char* state) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return false;
  // The command name is in parentheses and may hold spaces: read after the last ')'.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return false;
  int ppid = 0;
  if (std::sscanf(text.c_str() + close + 1, " %c %d", state, &ppid) != 2) return false;
  *parent = ppid;
  return true;
}

}  // namespace

std::vector<pid_t> DescendantsOf(pid_t root) {
  std::multimap<pid_t, pid_t> children;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
      pid_t parent = 0;
      char state = 0;
      if (pid > 0 && ReadStat(pid, &parent, &state) && state != 'Z') children.emplace(parent, pid);
    }
    closedir(proc);
  }
  std::vector<pid_t> found;
  std::vector<pid_t> open{root};
  while (!open.empty()) {
    const pid_t next = open.back();
    open.pop_back();
    auto range = children.equal_range(next);
    for (auto it = range.first; it != range.second; ++it) {
      found.push_back(it->second);
      open.push_back(it->second);
    }
  }
  return found;
}

bool AllGone(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    bool anyAlive = false;
    for (pid_t pid : pids) {
      pid_t parent = 0;
      char state = 0;
      if (ReadStat(pid, &parent, &state) && state != 'Z') anyAlive = true;
    }
    if (!anyAlive) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
