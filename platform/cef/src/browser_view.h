// A browser of the browser process: one WebKitWebView in its own window, steered through
// CefBrowser and CefBrowserHost. Every WebKit call runs on the UI thread; host calls made on
// other threads are posted there.
#pragma once

#include <cairo.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "audio_capture_view_link.h"
#include "audio_route.h"
#include "store_frames.h"

#include "include/cef_browser.h"
#include "include/cef_client.h"

namespace cef_internal {

class BrowserView : public CefBrowser, public CefBrowserHost {
 public:
  // UI thread. Null when the view cannot be made.
  static CefRefPtr<BrowserView> Create(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                       const CefString& url, const CefBrowserSettings& settings);

  // CefBrowser
  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  bool CanGoBack() override;
  bool CanGoForward() override;
  bool IsLoading() override;
  void Reload() override;
  void StopLoad() override;
  int GetIdentifier() override { return identifier_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override;
  bool IsPopup() override { return false; }
  bool HasDocument() override;
  CefRefPtr<CefFrame> GetMainFrame() override;
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override;
  CefRefPtr<CefFrame> GetFrame(const CefString& name) override;
  size_t GetFrameCount() override;
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override;
  void GetFrameNames(std::vector<CefString>& names) override;

  // CefBrowserHost
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override;
  bool TryCloseBrowser() override;
  CefWindowHandle GetWindowHandle() override;
  CefRefPtr<CefClient> GetClient() override;
  void WasResized() override;
  void WasHidden(bool hidden) override;
  void Invalidate(cef_paint_element_type_t type) override;
  void SendMouseClickEvent(const CefMouseEvent& event, cef_mouse_button_type_t type, bool mouseUp,
                           int clickCount) override;
  void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) override;
  void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) override;
  void SetAudioMuted(bool mute) override;
  bool IsAudioMuted() override;
  void SetWindowlessFrameRate(int frame_rate) override;
  int GetWindowlessFrameRate() override;

  // Used by this browser's frames (UI thread).
  CefString FrameUrl(int64 frameId);
  void SendToRenderer(int64 frameId, CefRefPtr<CefProcessMessage> message);
  void RunScript(const std::string& code, const std::string& url);
  void LoadUrl(const std::string& url);

 private:
  BrowserView() = default;
  ~BrowserView() override;

  struct FrameRecord {
    std::string url;
    bool main = false;
  };

  bool Build(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefString& url,
             const CefBrowserSettings& settings);
  void ConnectSignals();
  void RunOnUi(std::function<void()> work);
  // A pointer event for the view, filled with the event's position and modifiers.
  GdkEvent* NewPointerEvent(GdkEventType type, const CefMouseEvent& event);
  CefRefPtr<CefFrame> FrameFor(int64 id);
  bool Alive() const { return view_ && !closing_; }

  // Painting: a draw of the view marks it dirty; a capture copies it at most once a period.
  static gboolean OnDrawBefore(GtkWidget*, cairo_t*, gpointer self);
  static gboolean OnDrawAfter(GtkWidget*, cairo_t*, gpointer self);
  void ScheduleCapture();
  void Capture();
  void ApplyViewSize();
  // A non-composited view that is not opaque cannot be read with gtk_widget_draw: WebKit's
  // own copy of such a view lays each repaint over the old pixels, so where the page is not
  // opaque, moved or faded content would leave traces and translucent content would build up.
  // Its frames are kept from WebKit's store (StoreFrames); when that is lost, they are
  // snapshots of the page.
  void TakeSnapshot();
  static void OnSnapshot(GObject* view, GAsyncResult* result, gpointer self);
  void DeliverSnapshot(cairo_surface_t* shot);
  // The ARGB32 surface frames are brought into before OnPaint, made anew for a new size.
  cairo_surface_t* FrameSurface(int w, int h);
  void Deliver(const void* pixels, int w, int h, gint64 firstDrawUs, gint64 lastDrawUs);

  // WebKit signals.
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                               gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static gboolean OnUserMessage(WebKitWebView*, WebKitUserMessage* message, gpointer self);
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self);

  bool AskPopup(const std::string& targetUrl, const std::string& targetName,
                cef_window_open_disposition_t disposition, bool userGesture);
  void FrameLoaded(int64 frameId, const std::string& url, bool main);
  int TakeFrameStatus(const std::string& url);

  int identifier_ = 0;
  bool windowless_ = true;
  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  CefRefPtr<CefClient> client_;
  CefRefPtr<CefRenderHandler> renderHandler_;
  CefRefPtr<CefAudioHandler> audioHandler_;  // fixed at creation
  std::unique_ptr<AudioRoute> audioRoute_;
  std::unique_ptr<tavrimon::audio::AudioCaptureViewLink> audioLink_;
  bool closing_ = false;
  bool hidden_ = false;
  std::atomic<bool> muted_{false};

  std::atomic<int> frameRate_{30};
  int viewWidth_ = 0;
  int viewHeight_ = 0;
  bool dirty_ = false;
  gint64 firstDrawUs_ = 0;  // first draw since the last delivery
  gint64 lastDrawUs_ = 0;
  bool captureNow_ = false;  // captureSource_ is an immediate capture, not a fallback timer
  bool capturing_ = false;
  guint captureSource_ = 0;
  // The main-loop callback of a scheduled capture (idle or timer).
  static gboolean OnCaptureDue(gpointer self);
  gint64 lastCaptureUs_ = 0;
  cairo_surface_t* surface_ = nullptr;
  // The view's scripts: the pacing script of a windowless view.
  WebKitUserContentManager* contentManager_ = nullptr;
  // A transparent view's frames kept from WebKit's store; snapshots once that is lost.
  std::unique_ptr<StoreFrames> storeFrames_;
  bool snapshotFrames_ = false;  // a non-composited view that is not opaque: see TakeSnapshot
  bool snapshotPending_ = false;
  gint64 snapshotFirstDrawUs_ = 0;  // the draws the pending snapshot answers
  gint64 snapshotLastDrawUs_ = 0;
  GCancellable* snapshotCancel_ = nullptr;

  bool mainLoadFailed_ = false;
  std::string startedUrl_;  // the address the current main-frame load began with
  std::multimap<std::string, int> frameStatus_;  // sub-frame document URL -> HTTP status
  // Frames as the renderer reports them, read from any thread (frames are handed to other
  // threads, e.g. to send a process message). Key 0 stands for the main frame.
  std::mutex framesMutex_;
  int64 mainFrameId_ = 0;
  std::string mainUrl_;
  std::map<int64, FrameRecord> frames_;

  IMPLEMENT_REFCOUNTING(BrowserView);
};

}  // namespace cef_internal
