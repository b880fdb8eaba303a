#include "process_tree.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

struct Stat {
  pid_t ppid = 0;
  double cpuTicks = 0;
  long rssPages = 0;
};

bool ReadStat(pid_t pid, Stat& out) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(f, line)) return false;
  size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  std::vector<std::string> fields;
  while (rest >> field) fields.push_back(field);
  // Fields after the name start at "state" (3): ppid is 4, utime 14, stime 15, rss 24.
  if (fields.size() < 22) return false;
  out.ppid = std::atoi(fields[1].c_str());
  out.cpuTicks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
  out.rssPages = std::atol(fields[21].c_str());
  return true;
}

std::map<pid_t, Stat> Snapshot(pid_t root) {
  std::map<pid_t, Stat> all;
  DIR* d = opendir("/proc");
  while (dirent* e = readdir(d)) {
    pid_t pid = std::atoi(e->d_name);
    Stat s;
    if (pid > 0 && ReadStat(pid, s)) all[pid] = s;
  }
  closedir(d);
  std::map<pid_t, Stat> tree;
  if (all.count(root)) tree[root] = all[root];
  bool grew = true;
  while (grew) {
    grew = false;
    for (auto& [pid, s] : all) {
      if (!tree.count(pid) && tree.count(s.ppid)) {
        tree[pid] = s;
        grew = true;
      }
    }
  }
  return tree;
}

}  // namespace

std::vector<pid_t> ProcessTree(pid_t root) {
  std::vector<pid_t> pids{root};
  for (auto& [pid, s] : Snapshot(root))
    if (pid != root) pids.push_back(pid);
  return pids;
}

double TreeCpuMs(pid_t root) {
  double ticks = 0;
  for (auto& [pid, s] : Snapshot(root)) ticks += s.cpuTicks;
  return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

double TreeRssMb(pid_t root) {
  long pages = 0;
  for (auto& [pid, s] : Snapshot(root)) pages += s.rssPages;
  return double(pages) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
