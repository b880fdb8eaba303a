// A source whose settings ask for no off-screen capture gets a visible window on the user's
// display, placed at the screen origin with the source's size. Here the user's display is an X
// server the test starts itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <windows.h>
#include "engine_fixture.h"
#include "i_server.h"
#include "source/browser_source.h"
#include "source/source_browser.h"

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;

// The user's display for the whole test program: the placement calls keep one connection.
const std::string& UserDisplay() {
  static const std::string display = [] {
    std::string name = engine_test::StartUserDisplay();
    if (!name.empty()) setenv("DISPLAY", name.c_str(), 1);
    return name;
  }();
  return display;
}

TEST(WindowPlacement, ReadsTheClientRectAndAppliesABatchOfMoves) {
  const std::string display = UserDisplay();
  ASSERT_FALSE(display.empty());
  Display* x = XOpenDisplay(display.c_str());
  ASSERT_NE(x, nullptr);
  const Window window = XCreateSimpleWindow(x, DefaultRootWindow(x), 50, 60, 140, 90, 0, 0, 0);
  XMapWindow(x, window);
  XSync(x, False);
  HWND handle = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));

  RECT rect{-1, -1, -1, -1};
  ASSERT_TRUE(GetClientRect(handle, &rect));
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 140);
  EXPECT_EQ(rect.bottom, 90);

  HDWP batch = BeginDeferWindowPos(1);
  batch = DeferWindowPos(batch, handle, nullptr, 10, 20, 123, 45, SWP_NOZORDER);
  ASSERT_NE(batch, nullptr);
  ASSERT_TRUE(EndDeferWindowPos(batch));
  EXPECT_FALSE(EndDeferWindowPos(batch)) << "a batch is applied once";
  XWindowAttributes attributes{};
  XSync(x, False);
  ASSERT_TRUE(XGetWindowAttributes(x, window, &attributes));
  EXPECT_EQ(attributes.x, 10);
  EXPECT_EQ(attributes.y, 20);
  EXPECT_EQ(attributes.width, 123);
  EXPECT_EQ(attributes.height, 45);
  XDestroyWindow(x, window);
  XCloseDisplay(x);
}

TEST(WindowedSource, IsAVisibleWindowAtTheOriginWithTheSourcesSize) {
  const std::string display = UserDisplay();
  ASSERT_FALSE(display.empty());
  ASSERT_TRUE(engine_test::EnsureEngine());

  i_server link;
  link.settings.offscreenCapture = false;
  BrowserSource source(&link.settings);
  BrowserSourceSettings values;
  values.url = "data:text/html,<body style='background:red'>";
  values.width = 300;
  values.height = 200;
  values.windowless = false;
  values.captureAudio = false;
  source.ApplySettings(false, values);

  engine_test::RunOnUi([&] { CreateSourceBrowser(&source); });
  CefRefPtr<CefBrowser> browser = source.currentBrowser();
  ASSERT_TRUE(browser);
  void* handle = browser->GetHost()->GetWindowHandle();
  ASSERT_NE(handle, nullptr) << "a windowed browser has a window";

  Display* x = XOpenDisplay(display.c_str());
  ASSERT_NE(x, nullptr);
  const Window window = static_cast<Window>(reinterpret_cast<std::uintptr_t>(handle));
  XWindowAttributes attributes{};
  int rootX = -1, rootY = -1;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    XSync(x, False);
    ASSERT_TRUE(XGetWindowAttributes(x, window, &attributes));
    Window child;
    XTranslateCoordinates(x, window, attributes.root, 0, 0, &rootX, &rootY, &child);
    if (attributes.width == 300 && attributes.height == 200 && rootX == 0 && rootY == 0 &&
        attributes.map_state == IsViewable) {
      break;
    }
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(attributes.width, 300);
  EXPECT_EQ(attributes.height, 200);
  EXPECT_EQ(rootX, 0);
  EXPECT_EQ(rootY, 0);
  EXPECT_EQ(attributes.map_state, IsViewable);
  XCloseDisplay(x);

  engine_test::RunOnUi([&] { CloseSourceBrowser(browser); });
}

}  // namespace
