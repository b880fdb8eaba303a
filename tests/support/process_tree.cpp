#include "process_tree.h"

#include <dirent.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

struct StatLine {
  bool ok = false;
  char state = '?';
  pid_t parent = 0;
  unsigned long long startTicks = 0;
};

// Fields of /proc/PID/stat after the command name (which may hold spaces and parentheses).
StatLine ReadStat(pid_t pid) {
  StatLine stat;
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return stat;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return stat;
  std::istringstream rest(line.substr(close + 2));
  rest >> stat.state >> stat.parent;
  std::string skip;
  for (int field = 5; field < 22; ++field) rest >> skip;  // up to starttime, field 22
  rest >> stat.startTicks;
  stat.ok = static_cast<bool>(rest);
  return stat;
}

std::string Comm(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

std::vector<pid_t> AllPids() {
  std::vector<pid_t> pids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return pids;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  return pids;
}

}  // namespace

std::vector<TracedProcess> Descendants(pid_t root) {
  struct Entry {
    pid_t pid;
    StatLine stat;
  };
  std::vector<Entry> table;
  for (pid_t pid : AllPids()) {
    StatLine stat = ReadStat(pid);
    if (stat.ok && stat.state != 'Z') table.push_back({pid, stat});
  }
  std::vector<TracedProcess> found;
  std::vector<pid_t> parents{root};
  for (std::size_t next = 0; next < parents.size(); ++next) {
    for (const Entry& entry : table) {
      if (entry.stat.parent != parents[next]) continue;
      found.push_back({entry.pid, Comm(entry.pid), entry.stat.startTicks});
      parents.push_back(entry.pid);
    }
  }
  return found;
}

// A thread of the process that has not finished exiting. The first thread of a process can be
// a zombie while others still run (and still hold the process's files), so every thread counts.
bool HasLiveThread(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return false;
  bool live = false;
  while (dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    std::ifstream file(dir + "/" + task->d_name + "/stat");
    std::string line;
    if (!std::getline(file, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) continue;
    const char state = line[close + 2];
    if (state != 'Z' && state != 'X') {
      live = true;
      break;
    }
  }
  closedir(tasks);
  return live;
}

bool HasEnded(const TracedProcess& process) {
  const StatLine stat = ReadStat(process.pid);
  if (!stat.ok || stat.startTicks != process.startTicks) return true;
  return !HasLiveThread(process.pid);
}

std::vector<TracedProcess> StillRunning(const std::vector<TracedProcess>& processes) {
  std::vector<TracedProcess> running;
  for (const auto& process : processes) {
    if (!HasEnded(process)) running.push_back(process);
  }
  return running;
}

std::chrono::milliseconds WaitAllEnded(const std::vector<TracedProcess>& processes,
                                       std::chrono::milliseconds timeout) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const bool allEnded = StillRunning(processes).empty();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (allEnded || elapsed >= timeout) {
      for (const auto& process : processes) {
        if (HasEnded(process)) waitpid(process.pid, nullptr, WNOHANG);
      }
      return allEnded ? elapsed : timeout;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void BecomeSubreaper() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::string Describe(const std::vector<TracedProcess>& processes) {
  std::string text;
  for (const auto& process : processes) {
    if (!text.empty()) text += ' ';
    text += process.name + "(" + std::to_string(process.pid) + ")";
  }
  return text.empty() ? "none" : text;
}
