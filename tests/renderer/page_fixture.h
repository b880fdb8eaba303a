// The renderer tests' setting: the engine started once per test process with BrowserApp and
// the product's renderer module, and browsers showing a main page ("top") with a same-origin
// iframe ("same") and an iframe from a second 127.0.0.1 port ("cross"), all probe pages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_values.h"
#include "page_server.h"

namespace renderer_test {

inline const char* const kFrames[] = {"top", "same", "cross"};

class PageTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates a browser on the main page whose frames are named top, same and cross followed by
  // `suffix`, and waits until its three documents are up. The first one is `browser`.
  CefRefPtr<CefBrowser> OpenBrowser(const std::string& suffix = "");

  // Result of `code` as a global script in the frame's current document ("ok:<json>" or
  // "throw:..."), or "<no answer>".
  std::string Run(const std::string& frame, const std::string& code);

  // Sends a process message to the renderer of the main frame of `to` (`browser` if null).
  void Send(const std::string& name,
            const std::function<void(CefRefPtr<CefListValue>)>& fill = nullptr,
            CefRefPtr<CefBrowser> to = nullptr);
  void SendVisibility(bool visible, CefRefPtr<CefBrowser> to = nullptr);

  // Waits until the frame's document has recorded at least `count` 'visibilitychange' events.
  bool WaitForEvents(const std::string& frame, int count);

  // Process messages that reached the browser process from any renderer so far.
  int MessagesFromRenderer() const;

  // Server "a" holds the main pages, the same-origin children and the control channel; "b" is
  // the second origin.
  std::unique_ptr<PageServer> a, b;
  CefRefPtr<CefBrowser> browser;

 private:
  std::vector<CefRefPtr<CefBrowser>> browsers_;
};

}  // namespace renderer_test
