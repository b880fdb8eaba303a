// A windowed browser (windowless_rendering_enabled 0) is a real window on the user's display
// (DISPLAY when the engine started): it has a window handle and gets no OnPaint. Here the
// "user's display" is an X server the test starts itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "engine_fixture.h"
#include "local_http_server.h"

namespace engine_test {
namespace {

// Starts "Xvfb -displayfd" for the rest of this process's life (the engine keeps a connection
// to it until the process ends) and returns its display name (empty on failure).
std::string StartUserDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::string fd = std::to_string(fds[1]);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
           "1024x768x24", "-noreset", nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

TEST(EngineWindowed, AWindowedBrowserIsARealWindowWithoutPaints) {
  std::string display = StartUserDisplay();
  ASSERT_FALSE(display.empty());
  setenv("DISPLAY", display.c_str(), 1);
  ASSERT_TRUE(EnsureEngine());

  LocalHttpServer server;
  server.Serve("/windowed", "<!doctype html><body style='background:red'>windowed");
  CefRefPtr<RecordingClient> client = new RecordingClient(320, 240);
  CefRefPtr<CefBrowser> browser;
  RunOnUi([&] {
    CefWindowInfo info;
    // As a Windows caller makes it: position and size left to the system (CW_USEDEFAULT).
    info.style = 0x16CF0000;
    info.x = info.y = info.width = info.height = static_cast<int>(0x80000000u);
    CefBrowserSettings settings;
    settings.windowless_frame_rate = 30;
    browser = CefBrowserHost::CreateBrowserSync(info, client.get(), server.Url("/windowed"),
                                                settings, nullptr, nullptr);
  });
  ASSERT_TRUE(browser);
  EXPECT_NE(browser->GetHost()->GetWindowHandle(), nullptr);
  EXPECT_TRUE(client->WaitUntil([&] {
    for (auto& l : client->loadEnds)
      if (l.main && l.status == 200) return true;
    return false;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  {
    std::lock_guard lock(client->mutex());
    EXPECT_EQ(client->paints, 0) << "OnPaint is for windowless browsers only";
  }
  CloseBrowser(browser);
  EXPECT_TRUE(client->WaitUntil([&] { return client->beforeClose == 1; }));
}

}  // namespace
}  // namespace engine_test
