// Shared pieces of the engine tests: one engine per test process (started on first use), a
// recording client, and helpers that run code on the UI thread and wait for events.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "ui_task.h"

namespace engine_test {

using namespace std::chrono_literals;

// What happened before the engine was started: CefPostTask's answer and whether the refused
// task was released unrun.
struct BeforeStart {
  bool postAccepted = true;
  bool taskReleased = false;
  bool taskRan = false;
};

// Starts the engine once for this process; false when it could not start.
bool EnsureEngine();

// Starts "Xvfb -displayfd" for the rest of this process's life, as the user's own display for
// windowed browsers, and returns its display name (empty on failure).
std::string StartUserDisplay();
const BeforeStart& BeforeStartResult();

// Tests name it engine_test::RunOnUi.
using ::RunOnUi;

struct LoadEnd {
  std::string url;
  bool main;
  int status;
};

struct Message {
  std::string name;
  CefRefPtr<CefListValue> args;
};

class RecordingClient : public CefClient,
                        public CefRenderHandler,
                        public CefLoadHandler,
                        public CefLifeSpanHandler,
                        public CefContextMenuHandler,
                        public CefRequestHandler {
 public:
  RecordingClient(int width, int height) : width_(width), height_(height) {}

  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  void GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
  void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects,
               const void* buffer, int width, int height) override;
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                 int httpStatusCode) override;
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                   const CefString& errorText, const CefString& failedUrl) override;
  bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                     const CefString& target_url, const CefString& target_frame_name,
                     WindowOpenDisposition target_disposition, bool user_gesture,
                     const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                     CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                     CefRefPtr<CefDictionaryValue>& extra_info,
                     bool* no_javascript_access) override;
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;
  void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                           CefRefPtr<CefContextMenuParams> params,
                           CefRefPtr<CefMenuModel> model) override;
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override;
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override;

  // Waits (generously) until `pred` holds over the recorded state; false on timeout.
  bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 30s);

  // Recorded state; read under mutex() or after a WaitUntil.
  std::mutex& mutex() { return mutex_; }
  int paints = 0;
  bool paintOffUiThread = false;
  bool nonViewPaint = false;
  bool paintStrideOk = true;
  std::vector<uint8_t> lastFrame;
  int lastWidth = 0, lastHeight = 0;
  std::vector<std::chrono::steady_clock::time_point> paintTimes;
  std::vector<LoadEnd> loadEnds;
  int loadErrors = 0;
  std::vector<std::string> popups;
  int beforeClose = 0;
  int contextMenus = 0;
  size_t menuItemsOffered = 0, menuItemsLeft = 0;
  int terminations = 0;

  std::vector<Message> messages;

  // Wakes WaitUntil after a subclass recorded something.
  void Notify() { changed_.notify_all(); }

  // Resizes the answer of GetViewRect.
  void SetViewSize(int width, int height);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int width_, height_;
  IMPLEMENT_REFCOUNTING(RecordingClient);
};

// Creates a windowless browser on the UI thread; null when it failed.
CefRefPtr<CefBrowser> CreateBrowser(CefRefPtr<RecordingClient> client, const std::string& url,
                                    int frameRate = 30, cef_color_t background = 0);
void CloseBrowser(CefRefPtr<CefBrowser> browser);

// Sends "eval" to the browser's renderer and waits for the answer: the script's result as
// text, or nothing on timeout.
bool EvalInPage(CefRefPtr<RecordingClient> client, CefRefPtr<CefBrowser> browser,
                const std::string& code, std::string& result);

std::string FileUrl(const std::string& path);
// Pages in a temporary directory of this process; RemoveTempPages deletes them all.
std::string WriteTempPage(const std::string& name, const std::string& html);
void RemoveTempPages();

}  // namespace engine_test
