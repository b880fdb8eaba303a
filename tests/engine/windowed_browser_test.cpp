// A windowed browser (windowless_rendering_enabled 0) is a real window on the user's display
// (DISPLAY when the engine started): it has a window handle and gets no OnPaint. Here the
// "user's display" is an X server the test starts itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "engine_fixture.h"
#include "local_http_server.h"

namespace engine_test {
namespace {

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
