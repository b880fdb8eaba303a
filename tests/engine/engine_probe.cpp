// A browser process for the process-lifetime tests. Modes:
//   probe tree <url> <webext-dir>: starts the engine, loads <url>, prints "ready" followed by
//     the pids of all its descendant processes, one line, then waits to be killed;
//   probe init <webext-dir>: starts the engine and prints "init=1" or "init=0", then exits;
//   probe --type=<t> ...: a sub-process; prints "execute=<CefExecuteProcess result>";
//   probe shutdown <webext-dir>: starts and shuts down the engine, then posts a task and prints
//     "post=<0|1> ran=<0|1> released=<0|1>".
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "engine_start.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "test_application.h"
#include "ui_task.h"

namespace {

class LoadWaiter : public CefClient, public CefRenderHandler, public CefLoadHandler {
 public:
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  void GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override { rect = CefRect(0, 0, 64, 64); }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void*, int,
               int) override {}
  void OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, int) override {
    if (frame->IsMain()) loaded = true;
  }
  std::atomic<bool> loaded{false};
  IMPLEMENT_REFCOUNTING(LoadWaiter);
};

std::set<int> Descendants(int root) {
  std::set<int> found{root};
  bool grew = true;
  while (grew) {
    grew = false;
    DIR* d = opendir("/proc");
    while (dirent* e = readdir(d)) {
      int pid = atoi(e->d_name);
      if (pid <= 0 || found.count(pid)) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state;
      int ppid;
      rest >> state >> ppid;
      if (found.count(ppid)) {
        found.insert(pid);
        grew = true;
      }
    }
    closedir(d);
  }
  found.erase(root);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--type=", 7) == 0) {
    CefMainArgs args(argc, argv);
    std::printf("execute=%d\n", CefExecuteProcess(args, CreateTestApplication(), nullptr));
    std::fflush(stdout);
    _exit(0);
  }
  if (argc == 3 && std::strcmp(argv[1], "init") == 0) {
    std::printf("init=%d\n", StartEngine(CreateTestApplication(), argv[2]) ? 1 : 0);
    std::fflush(stdout);
    _exit(0);
  }
  if (argc == 3 && std::strcmp(argv[1], "shutdown") == 0) {
    if (!StartEngine(CreateTestApplication(), argv[2])) return 1;
    CefShutdown();
    bool ran = false, released = false;
    bool posted = CefPostTask(TID_UI, new FunctionTask([&ran] { ran = true; }, &released));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::printf("post=%d ran=%d released=%d\n", posted, ran, released);
    std::fflush(stdout);
    _exit(0);
  }
  if (argc != 4 || std::strcmp(argv[1], "tree") != 0) return 2;
  if (!StartEngine(CreateTestApplication(), argv[3])) return 1;
  CefRefPtr<LoadWaiter> client = new LoadWaiter();
  std::string url = argv[2];
  CefRefPtr<CefBrowser> keep;
  RunOnUi([&] {
    CefWindowInfo info;
    info.windowless_rendering_enabled = 1;
    CefBrowserSettings settings;
    keep = CefBrowserHost::CreateBrowserSync(info, client.get(), url, settings, nullptr, nullptr);
  });
  for (int i = 0; i < 600 && !client->loaded; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!client->loaded) return 1;
  std::printf("ready");
  for (int pid : Descendants(getpid())) std::printf(" %d", pid);
  std::printf("\n");
  std::fflush(stdout);
  while (true) pause();
}
