#include "source/source_browser.h"

#include <windows.h>

#include "client/browser_client.h"
#include "source/browser_source.h"
#include "source/notifications.h"

void CreateSourceBrowser(BrowserSource* source) {
  const BrowserCreationValues values = source->creationValues();
  CefRefPtr<BrowserClient> client(new BrowserClient(source, values.captureAudio));

  CefWindowInfo windowInfo;
  windowInfo.width = values.width;
  windowInfo.height = values.height;
  windowInfo.windowless_rendering_enabled = values.windowless ? 1 : 0;
  if (!values.windowless) {
    // A visible top-level window instead of off-screen painting.
    windowInfo.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
    windowInfo.parent_window = nullptr;
    windowInfo.x = CW_USEDEFAULT;
    windowInfo.y = CW_USEDEFAULT;
    windowInfo.width = CW_USEDEFAULT;
    windowInfo.height = CW_USEDEFAULT;
    windowInfo.window_name = "";
  }
  CefBrowserSettings browserSettings;
  browserSettings.windowless_frame_rate = values.frameRate;

  CefRefPtr<CefBrowser> browser = CefBrowserHost::CreateBrowserSync(
      windowInfo, client.get(), CefString(values.url), browserSettings, nullptr, nullptr);
  source->setBrowser(browser);
  if (!browser) return;

  HWND window = static_cast<HWND>(browser->GetHost()->GetWindowHandle());
  if (window != nullptr) {
    RECT client_rect{};
    GetClientRect(window, &client_rect);
    HDWP batch = BeginDeferWindowPos(1);
    batch = DeferWindowPos(batch, window, nullptr, client_rect.left, client_rect.top, values.width,
                           values.height, SWP_NOZORDER);
    EndDeferWindowPos(batch);
  }
  if (values.captureAudio) browser->GetHost()->SetAudioMuted(true);
  NotifyVisibility(browser, source->pageVisible);
}

void CloseSourceBrowser(CefRefPtr<CefBrowser> browser) {
  CefRefPtr<CefBrowserHost> host = browser->GetHost();
  if (!host) return;
  CefRefPtr<CefClient> client = host->GetClient();
  // From here on the client's handlers find no source: nothing of this browser reaches the
  // host's channels any more.
  if (auto* ours = dynamic_cast<BrowserClient*>(client.get())) ours->source = nullptr;
  host->WasHidden(true);
  host->CloseBrowser(true);
}

void ScrollTask(CefRefPtr<CefBrowser> browser, int modifiers, int x, int y, int deltaX,
                int deltaY) {
  CefMouseEvent event;
  event.x = x;
  event.y = y;
  event.modifiers = static_cast<uint32_t>(modifiers);
  CefRefPtr<CefBrowserHost> host = browser->GetHost();
  if (host) host->SendMouseWheelEvent(event, deltaX, deltaY);
}
