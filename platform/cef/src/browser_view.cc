#include "browser_view.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "animation_pacing.h"
#include "audio_route.h"
#include "engine.h"
#include "include/cef_task.h"
#include "include/cef_v8.h"
#include "message_codec.h"
#include "paint_delay.h"
#include "renderer_messages.h"

namespace cef_internal {
namespace {

constexpr int kDefaultFrameRate = 30;
constexpr int kMaxFrameRate = 240;
// The largest side of a view. GTK refuses windows past 32767 pixels, and the engine dies on
// far larger ones; like CEF, the view is at least one pixel each way.
constexpr int kMaxViewSide = 16384;

int ViewSide(int requested) {
  return std::clamp(requested, 1, kMaxViewSide);
}
// The pixels WebKitGTK scrolls per smooth-scroll step of a GDK mouse-wheel event along a side
// of the view: the side's length to the power 2/3, cut to an integer (40 for a view not laid
// out yet). A CEF wheel delta is in pixels, so it becomes that many steps.
double PixelsPerScrollStep(int viewSide) {
  return viewSide > 0 ? static_cast<int>(std::pow(viewSide, 2.0 / 3.0)) : 40.0;
}

class BrowserFrame : public CefFrame {
 public:
  BrowserFrame(CefRefPtr<BrowserView> browser, int64 id, bool main)
      : browser_(std::move(browser)), id_(id), main_(main) {}

  bool IsValid() override { return true; }
  CefRefPtr<CefBrowser> GetBrowser() override { return browser_.get(); }
  int64 GetIdentifier() override { return id_; }
  CefString GetName() override { return CefString(); }
  CefString GetURL() override { return browser_->FrameUrl(main_ ? 0 : id_); }
  bool IsMain() override { return main_; }
  bool IsFocused() override { return main_; }
  CefRefPtr<CefFrame> GetParent() override { return main_ ? nullptr : browser_->GetMainFrame(); }
  CefRefPtr<CefV8Context> GetV8Context() override { return nullptr; }
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int) override {
    // Only the main frame's document is reachable from the browser process.
    if (main_) browser_->RunScript(code.ToString(), script_url.ToString());
  }
  void LoadURL(const CefString& url) override {
    if (main_) browser_->LoadUrl(url.ToString());
  }
  void SendProcessMessage(CefProcessId target, CefRefPtr<CefProcessMessage> message) override {
    if (target == PID_RENDERER && message) browser_->SendToRenderer(main_ ? 0 : id_, message);
  }

 private:
  const CefRefPtr<BrowserView> browser_;
  const int64 id_;
  const bool main_;
  IMPLEMENT_REFCOUNTING(BrowserFrame);
};

class MenuModel : public CefMenuModel {
 public:
  explicit MenuModel(WebKitContextMenu* menu) : menu_(menu) {}
  void Detach() { menu_ = nullptr; }
  bool Clear() override {
    if (!menu_) return false;
    webkit_context_menu_remove_all(menu_);
    return true;
  }
  size_t GetCount() override { return menu_ ? webkit_context_menu_get_n_items(menu_) : 0; }

 private:
  WebKitContextMenu* menu_;
  IMPLEMENT_REFCOUNTING(MenuModel);
};

class MenuParams : public CefContextMenuParams {
 public:
  MenuParams(int x, int y, std::string link) : x_(x), y_(y), link_(std::move(link)) {}
  int GetXCoord() override { return x_; }
  int GetYCoord() override { return y_; }
  CefString GetLinkUrl() override { return link_; }

 private:
  int x_, y_;
  std::string link_;
  IMPLEMENT_REFCOUNTING(MenuParams);
};

class FunctionTask : public CefTask {
 public:
  explicit FunctionTask(std::function<void()> f) : f_(std::move(f)) {}
  void Execute() override { f_(); }

 private:
  std::function<void()> f_;
  IMPLEMENT_REFCOUNTING(FunctionTask);
};

bool IsLocalDocument(const std::string& url) {
  return url.rfind("file:", 0) == 0 || url.rfind("data:", 0) == 0 || url.rfind("about:", 0) == 0;
}

// A document read from a local source has no HTTP status: it counts as 200.
int EffectiveStatus(int status, const std::string& url) {
  return status == 0 && IsLocalDocument(url) ? 200 : status;
}

}  // namespace

CefRefPtr<BrowserView> BrowserView::Create(const CefWindowInfo& windowInfo,
                                           CefRefPtr<CefClient> client, const CefString& url,
                                           const CefBrowserSettings& settings) {
  if (!CefCurrentlyOn(TID_UI) || !WebContext(false)) return nullptr;
  CefRefPtr<BrowserView> browser = new BrowserView();
  if (!browser->Build(windowInfo, client, url, settings)) return nullptr;
  return browser;
}

bool BrowserView::Build(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                        const CefString& url, const CefBrowserSettings& settings) {
  const EngineConfig& config = Config();
  windowless_ = windowInfo.windowless_rendering_enabled != 0;
  client_ = client;
  if (client_) {
    renderHandler_ = client_->GetRenderHandler();
    audioHandler_ = client_->GetAudioHandler();
  }
  frameRate_ = settings.windowless_frame_rate > 0
                   ? std::min(settings.windowless_frame_rate, kMaxFrameRate)
                   : kDefaultFrameRate;

  GdkScreen* screen = nullptr;
  if (!windowless_) {
    // A windowed browser is a real window on the user's display.
    if (config.userDisplay.empty()) return false;
    GdkDisplay* display = gdk_display_open(config.userDisplay.c_str());
    if (!display) return false;
    screen = gdk_display_get_default_screen(display);
  }

  WebKitSettings* webSettings = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(
      webSettings, config.compositing ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS
                                      : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_media_playback_requires_user_gesture(webSettings,
                                                           !config.autoplayWithoutGesture);
  webkit_settings_set_enable_write_console_messages_to_stdout(webSettings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(webSettings, TRUE);
  if (settings.javascript == STATE_DISABLED) webkit_settings_set_enable_javascript(webSettings, 0);
  WebKitWebsitePolicies* policies = webkit_website_policies_new_with_policies(
      "autoplay", config.autoplayWithoutGesture ? WEBKIT_AUTOPLAY_ALLOW : WEBKIT_AUTOPLAY_DENY,
      nullptr);
  // A windowless view paces its pages' animation frames at its frame rate.
  contentManager_ = webkit_user_content_manager_new();
  if (windowless_) SetAnimationPacing(contentManager_, frameRate_);
  GObject* object = static_cast<GObject*>(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "web-context", WebContext(audioHandler_ != nullptr), "settings",
      webSettings, "website-policies", policies, "user-content-manager", contentManager_, nullptr));
  g_object_unref(webSettings);
  g_object_unref(policies);
  view_ = WEBKIT_WEB_VIEW(object);
  g_object_ref_sink(view_);
  identifier_ = static_cast<int>(webkit_web_view_get_page_id(view_));

  // A windowless view takes the render handler's size; a window its own, where a size of
  // CW_USEDEFAULT (negative) or 0 means the render handler's, or else 800 x 600.
  CefRect rect(0, 0, windowInfo.width, windowInfo.height);
  if (renderHandler_ && (windowless_ || rect.width <= 0 || rect.height <= 0)) {
    renderHandler_->GetViewRect(this, rect);
  }
  if (!windowless_ && (rect.width <= 0 || rect.height <= 0)) rect = CefRect(0, 0, 800, 600);
  viewWidth_ = ViewSide(rect.width);
  viewHeight_ = ViewSide(rect.height);

  if (windowless_) {
    cef_color_t c = settings.background_color;
    GdkRGBA rgba{((c >> 16) & 0xff) / 255.0, ((c >> 8) & 0xff) / 255.0, (c & 0xff) / 255.0,
                 ((c >> 24) & 0xff) / 255.0};
    webkit_web_view_set_background_color(view_, &rgba);
    // Only WebKit's non-composited view copy blends repaints over old pixels; a composited
    // view is copied right as it is.
    snapshotFrames_ = !config.compositing && ((c >> 24) & 0xff) != 0xff;
    snapshotCancel_ = g_cancellable_new();
    if (snapshotFrames_) {
      // Kept from WebKit's store while that works; snapshots are the way back.
      storeFrames_ = std::make_unique<StoreFrames>([this](cairo_t* cr) {
        capturing_ = true;
        gtk_widget_draw(GTK_WIDGET(view_), cr);
        capturing_ = false;
      });
      storeFrames_->SetViewSize(viewWidth_, viewHeight_);
    }
  }

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (screen) gtk_window_set_screen(GTK_WINDOW(window_), screen);
  if (windowless_) {
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_window_move(GTK_WINDOW(window_), 0, 0);
  } else {
    gtk_window_set_title(GTK_WINDOW(window_), windowInfo.window_name.c_str());
    if (windowInfo.x >= 0 && windowInfo.y >= 0) {
      gtk_window_move(GTK_WINDOW(window_), windowInfo.x, windowInfo.y);
    }
  }
  gtk_widget_set_size_request(GTK_WIDGET(view_), viewWidth_, viewHeight_);
  gtk_window_set_default_size(GTK_WINDOW(window_), viewWidth_, viewHeight_);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
  ConnectSignals();

  // The view keeps this browser alive until it is closed.
  AddRef();
  if (audioHandler_) {
    // Before the first load, so the page's first sound already has its way to the handler.
    AttachAudioCapture(this, identifier_, audioHandler_);
    audioRoute_ = std::make_unique<AudioRoute>(identifier_);
    audioLink_ = std::make_unique<tavrimon::audio::AudioCaptureViewLink>(
        view_, SharedAudioReceiver(), audioRoute_.get());
  }
  // Nobody looks at a windowless view's window: GTK need not keep a buffer of it in the X
  // server for every repaint.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  if (windowless_) {
    gtk_widget_set_double_buffered(window_, FALSE);
    gtk_widget_set_double_buffered(GTK_WIDGET(view_), FALSE);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_widget_show_all(window_);
  {
    std::lock_guard lock(framesMutex_);
    frames_[0] = FrameRecord{url.ToString(), true};
    mainUrl_ = url.ToString();
  }
  webkit_web_view_load_uri(view_, url.c_str());

  if (client_) {
    if (CefRefPtr<CefLifeSpanHandler> lifeSpan = client_->GetLifeSpanHandler()) {
      lifeSpan->OnAfterCreated(this);
    }
  }
  return true;
}

BrowserView::~BrowserView() {
  if (surface_) cairo_surface_destroy(surface_);
  if (contentManager_) g_object_unref(contentManager_);
  if (snapshotCancel_) g_object_unref(snapshotCancel_);
}

void BrowserView::ConnectSignals() {
  g_signal_connect(view_, "draw", G_CALLBACK(OnDrawBefore), this);
  g_signal_connect_after(view_, "draw", G_CALLBACK(OnDrawAfter), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view_, "user-message-received", G_CALLBACK(OnUserMessage), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
}

void BrowserView::RunOnUi(std::function<void()> work) {
  if (CefCurrentlyOn(TID_UI)) {
    work();
    return;
  }
  CefRefPtr<BrowserView> keep(this);
  CefPostTask(TID_UI, new FunctionTask([keep, work = std::move(work)] { work(); }));
}

// ---- CefBrowser ----

bool BrowserView::CanGoBack() {
  return Alive() && webkit_web_view_can_go_back(view_);
}
bool BrowserView::CanGoForward() {
  return Alive() && webkit_web_view_can_go_forward(view_);
}
bool BrowserView::IsLoading() {
  return Alive() && webkit_web_view_is_loading(view_);
}
void BrowserView::Reload() {
  RunOnUi([this] {
    if (Alive()) webkit_web_view_reload(view_);
  });
}
void BrowserView::StopLoad() {
  RunOnUi([this] {
    if (Alive()) webkit_web_view_stop_loading(view_);
  });
}
bool BrowserView::IsSame(CefRefPtr<CefBrowser> that) {
  return that && that->GetIdentifier() == identifier_;
}
bool BrowserView::HasDocument() {
  return Alive();
}

CefRefPtr<CefFrame> BrowserView::GetMainFrame() {
  std::lock_guard lock(framesMutex_);
  return new BrowserFrame(this, mainFrameId_, true);
}

CefRefPtr<CefFrame> BrowserView::FrameFor(int64 id) {
  {
    std::lock_guard lock(framesMutex_);
    if (id != 0 && id != mainFrameId_) return new BrowserFrame(this, id, false);
  }
  return GetMainFrame();
}

CefRefPtr<CefFrame> BrowserView::GetFrame(int64 identifier) {
  {
    std::lock_guard lock(framesMutex_);
    if (identifier != mainFrameId_ && !frames_.count(identifier)) return nullptr;
  }
  return FrameFor(identifier);
}

CefRefPtr<CefFrame> BrowserView::GetFrame(const CefString& name) {
  return name.empty() ? GetMainFrame() : nullptr;
}

size_t BrowserView::GetFrameCount() {
  std::lock_guard lock(framesMutex_);
  return frames_.size();
}

void BrowserView::GetFrameIdentifiers(std::vector<int64>& identifiers) {
  std::lock_guard lock(framesMutex_);
  identifiers.clear();
  identifiers.push_back(mainFrameId_);
  for (auto& [id, record] : frames_) {
    if (id != 0 && id != mainFrameId_) identifiers.push_back(id);
  }
}

void BrowserView::GetFrameNames(std::vector<CefString>& names) {
  names.assign(1, CefString());
}

CefString BrowserView::FrameUrl(int64 frameId) {
  std::lock_guard lock(framesMutex_);
  if (frameId == 0) return mainUrl_;
  auto it = frames_.find(frameId);
  return it == frames_.end() ? CefString() : CefString(it->second.url);
}

void BrowserView::SendToRenderer(int64 frameId, CefRefPtr<CefProcessMessage> message) {
  RunOnUi([this, frameId, message] {
    if (!Alive()) return;
    GVariant* params = EncodeProcessMessage(*message, frameId);
    WebKitUserMessage* m = webkit_user_message_new(kProcessMessageName, params);
    webkit_web_view_send_message_to_page(view_, m, nullptr, nullptr, nullptr);
  });
}

void BrowserView::RunScript(const std::string& code, const std::string& url) {
  RunOnUi([this, code, url] {
    if (!Alive()) return;
    webkit_web_view_evaluate_javascript(view_, code.c_str(), static_cast<gssize>(code.size()),
                                        nullptr, url.empty() ? nullptr : url.c_str(), nullptr,
                                        nullptr, nullptr);
  });
}

void BrowserView::LoadUrl(const std::string& url) {
  RunOnUi([this, url] {
    if (Alive()) webkit_web_view_load_uri(view_, url.c_str());
  });
}

// ---- CefBrowserHost ----

void BrowserView::CloseBrowser(bool /*force_close*/) {
  // Unload handlers never run: the view is torn down at once (a forced close). A close that
  // honours unload prompts is not offered by this engine.
  RunOnUi([this] {
    if (closing_ || !view_) return;
    closing_ = true;
    if (captureSource_) g_source_remove(captureSource_);
    captureSource_ = 0;
    if (snapshotCancel_) g_cancellable_cancel(snapshotCancel_);
    // Open streams end (OnAudioStreamStopped) before the handler is let go.
    audioLink_.reset();
    DetachAudioCapture(identifier_);
    audioRoute_.reset();
    g_signal_handlers_disconnect_by_data(view_, this);
    storeFrames_.reset();
    gtk_widget_destroy(window_);
    window_ = nullptr;
    g_object_unref(view_);
    view_ = nullptr;
    // OnBeforeClose comes from the queue, after the caller's task has finished.
    CefPostTask(TID_UI, new FunctionTask([this] {
                  if (client_) {
                    if (CefRefPtr<CefLifeSpanHandler> lifeSpan = client_->GetLifeSpanHandler()) {
                      lifeSpan->OnBeforeClose(this);
                    }
                  }
                  renderHandler_ = nullptr;
                  audioHandler_ = nullptr;
                  client_ = nullptr;
                  Release();  // the reference the view held
                }));
  });
}

bool BrowserView::TryCloseBrowser() {
  CloseBrowser(true);
  return true;
}

CefWindowHandle BrowserView::GetWindowHandle() {
  if (windowless_ || !window_) return nullptr;
  GdkWindow* w = gtk_widget_get_window(window_);
  if (!w || !GDK_IS_X11_WINDOW(w)) return nullptr;
  return reinterpret_cast<CefWindowHandle>(static_cast<uintptr_t>(gdk_x11_window_get_xid(w)));
}

CefRefPtr<CefClient> BrowserView::GetClient() {
  return client_;
}

void BrowserView::WasResized() {
  RunOnUi([this] {
    if (!Alive()) return;
    ApplyViewSize();
    dirty_ = true;
    ScheduleCapture();
  });
}

void BrowserView::WasHidden(bool hidden) {
  RunOnUi([this, hidden] {
    hidden_ = hidden;
    if (!hidden && Alive()) {
      dirty_ = true;
      ScheduleCapture();
    }
  });
}

void BrowserView::Invalidate(cef_paint_element_type_t type) {
  if (type != PET_VIEW) return;
  RunOnUi([this] {
    if (!Alive()) return;
    dirty_ = true;
    ScheduleCapture();
  });
}

namespace {

guint GdkModifiers(uint32_t flags) {
  guint state = 0;
  if (flags & EVENTFLAG_SHIFT_DOWN) state |= GDK_SHIFT_MASK;
  if (flags & EVENTFLAG_CONTROL_DOWN) state |= GDK_CONTROL_MASK;
  if (flags & EVENTFLAG_ALT_DOWN) state |= GDK_MOD1_MASK;
  if (flags & EVENTFLAG_LEFT_MOUSE_BUTTON) state |= GDK_BUTTON1_MASK;
  if (flags & EVENTFLAG_MIDDLE_MOUSE_BUTTON) state |= GDK_BUTTON2_MASK;
  if (flags & EVENTFLAG_RIGHT_MOUSE_BUTTON) state |= GDK_BUTTON3_MASK;
  return state;
}

}  // namespace

GdkEvent* BrowserView::NewPointerEvent(GdkEventType type, const CefMouseEvent& event) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(view_));
  if (!window) return nullptr;
  GdkEvent* e = gdk_event_new(type);
  // The members shared by button, motion and scroll events sit at the same places.
  e->any.window = GDK_WINDOW(g_object_ref(window));
  e->any.send_event = TRUE;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(window));
  if (seat) gdk_event_set_device(e, gdk_seat_get_pointer(seat));
  switch (type) {
    case GDK_SCROLL:
      e->scroll.time = GDK_CURRENT_TIME;
      e->scroll.x = e->scroll.x_root = event.x;
      e->scroll.y = e->scroll.y_root = event.y;
      e->scroll.state = GdkModifiers(event.modifiers);
      break;
    case GDK_MOTION_NOTIFY:
      e->motion.time = GDK_CURRENT_TIME;
      e->motion.x = e->motion.x_root = event.x;
      e->motion.y = e->motion.y_root = event.y;
      e->motion.state = GdkModifiers(event.modifiers);
      break;
    default:
      e->button.time = GDK_CURRENT_TIME;
      e->button.x = e->button.x_root = event.x;
      e->button.y = e->button.y_root = event.y;
      e->button.state = GdkModifiers(event.modifiers);
      break;
  }
  return e;
}

void BrowserView::SendMouseClickEvent(const CefMouseEvent& event, cef_mouse_button_type_t type,
                                      bool mouseUp, int clickCount) {
  RunOnUi([this, event, type, mouseUp, clickCount] {
    if (!Alive()) return;
    GdkEventType kind = mouseUp           ? GDK_BUTTON_RELEASE
                        : clickCount == 2 ? GDK_2BUTTON_PRESS
                        : clickCount >= 3 ? GDK_3BUTTON_PRESS
                                          : GDK_BUTTON_PRESS;
    GdkEvent* e = NewPointerEvent(kind, event);
    if (!e) return;
    e->button.button = type == MBT_LEFT ? 1 : type == MBT_MIDDLE ? 2 : 3;
    gtk_widget_event(GTK_WIDGET(view_), e);
    gdk_event_free(e);
  });
}

void BrowserView::SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) {
  RunOnUi([this, event, mouseLeave] {
    if (!Alive() || mouseLeave) return;
    GdkEvent* e = NewPointerEvent(GDK_MOTION_NOTIFY, event);
    if (!e) return;
    gtk_widget_event(GTK_WIDGET(view_), e);
    gdk_event_free(e);
  });
}

void BrowserView::SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) {
  RunOnUi([this, event, deltaX, deltaY] {
    if (!Alive()) return;
    GdkEvent* e = NewPointerEvent(GDK_SCROLL, event);
    if (!e) return;
    e->scroll.direction = GDK_SCROLL_SMOOTH;
    // CEF's positive deltas scroll toward the top/left; GDK's toward the bottom/right.
    GtkWidget* widget = GTK_WIDGET(view_);
    e->scroll.delta_x = -deltaX / PixelsPerScrollStep(gtk_widget_get_allocated_width(widget));
    e->scroll.delta_y = -deltaY / PixelsPerScrollStep(gtk_widget_get_allocated_height(widget));
    gtk_widget_event(GTK_WIDGET(view_), e);
    gdk_event_free(e);
  });
}

void BrowserView::SetAudioMuted(bool mute) {
  RunOnUi([this, mute] {
    muted_ = mute;
    // While a handler captures the sound nothing plays locally anyway; WebKit's own mute
    // would zero the captured samples, so it is used only without a handler.
    if (Alive() && !audioHandler_) webkit_web_view_set_is_muted(view_, mute);
  });
}

bool BrowserView::IsAudioMuted() {
  return muted_;
}

void BrowserView::SetWindowlessFrameRate(int frame_rate) {
  RunOnUi([this, frame_rate] {
    frameRate_ = frame_rate > 0 ? std::min(frame_rate, kMaxFrameRate) : kDefaultFrameRate;
    // Documents loaded from now on; the one shown keeps the pace it started with.
    if (windowless_ && contentManager_) SetAnimationPacing(contentManager_, frameRate_);
  });
}

int BrowserView::GetWindowlessFrameRate() {
  return frameRate_;
}

// ---- painting ----

gboolean BrowserView::OnDrawBefore(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  if (!b->snapshotFrames_ || b->capturing_) return FALSE;
  // Frames come from the store or from snapshots: WebKit's own copy of the page into the
  // window would only be thrown away, so the draw is noted and WebKit's handler is not run.
  OnDrawAfter(widget, cr, self);
  return TRUE;
}

gboolean BrowserView::OnDrawAfter(GtkWidget*, cairo_t*, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  // Our own gtk_widget_draw emits "draw" again: that one is the copy, not a page change.
  if (b->capturing_) return FALSE;
  b->lastDrawUs_ = g_get_monotonic_time();
  if (!b->dirty_) b->firstDrawUs_ = b->lastDrawUs_;
  b->dirty_ = true;
  b->ScheduleCapture();
  return FALSE;
}

void BrowserView::ScheduleCapture() {
  if (!windowless_ || !renderHandler_ || hidden_ || !Alive()) return;
  gint64 period = 1000000 / frameRate_;
  gint64 wait = lastCaptureUs_ + period - g_get_monotonic_time();
  if (wait <= 0) {
    // The period is over: deliver this draw now, replacing a pending fallback.
    if (captureSource_ && !captureNow_) {
      g_source_remove(captureSource_);
      captureSource_ = 0;
    }
    if (captureSource_) return;
    captureNow_ = true;
    captureSource_ = g_idle_add_full(G_PRIORITY_DEFAULT, &BrowserView::OnCaptureDue, this, nullptr);
    return;
  }
  if (captureSource_) return;
  // Too early: deliver when the period ends. (Waiting for a fresher draw after the period
  // was measured to lose frames: WebKit's draws are not regular enough under load.)
  captureNow_ = false;
  guint delayMs = static_cast<guint>((wait + 999) / 1000);
  captureSource_ =
      g_timeout_add_full(G_PRIORITY_DEFAULT, delayMs, &BrowserView::OnCaptureDue, this, nullptr);
}

void BrowserView::ApplyViewSize() {
  if (!renderHandler_ || !windowless_) return;
  CefRect rect;
  renderHandler_->GetViewRect(this, rect);
  int w = ViewSide(rect.width), h = ViewSide(rect.height);
  if (w == viewWidth_ && h == viewHeight_) return;
  viewWidth_ = w;
  viewHeight_ = h;
  gtk_widget_set_size_request(GTK_WIDGET(view_), w, h);
  gtk_window_resize(GTK_WINDOW(window_), w, h);
  if (storeFrames_) storeFrames_->SetViewSize(w, h);
}

gboolean BrowserView::OnCaptureDue(gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  b->captureSource_ = 0;
  b->Capture();
  return G_SOURCE_REMOVE;
}

cairo_surface_t* BrowserView::FrameSurface(int w, int h) {
  if (!surface_ || cairo_image_surface_get_width(surface_) != w ||
      cairo_image_surface_get_height(surface_) != h) {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  }
  return surface_;
}

void BrowserView::Capture() {
  // A snapshot under way delivers first; it looks at dirty_ again when it is done.
  if (!dirty_ || hidden_ || !Alive() || !renderHandler_ || snapshotPending_) return;
  ApplyViewSize();
  // Lays out a pending size change now: drawing a view that awaits its allocation draws nothing.
  gtk_container_check_resize(GTK_CONTAINER(window_));
  int w = gtk_widget_get_allocated_width(GTK_WIDGET(view_));
  int h = gtk_widget_get_allocated_height(GTK_WIDGET(view_));
  if (w != viewWidth_ || h != viewHeight_) {
    // The new size is not laid out yet: look again shortly (the view may not redraw by itself).
    captureNow_ = false;
    captureSource_ =
        g_timeout_add_full(G_PRIORITY_DEFAULT, 10, &BrowserView::OnCaptureDue, this, nullptr);
    return;
  }
  dirty_ = false;
  // Deliveries keep to a grid of frame periods, so a late one does not lower the rate; after
  // a pause the grid starts again from now.
  gint64 period = 1000000 / frameRate_;
  gint64 started = g_get_monotonic_time();
  lastCaptureUs_ = started - lastCaptureUs_ < 2 * period && started >= lastCaptureUs_ + period
                       ? lastCaptureUs_ + period
                       : started;
  if (storeFrames_ && !storeFrames_->Lost()) {
    // Nothing painted yet, or not yet at the new size: the next update marks it dirty again.
    cairo_surface_t* frame = storeFrames_->Frame();
    if (!frame || cairo_image_surface_get_width(frame) != w ||
        cairo_image_surface_get_height(frame) != h ||
        cairo_image_surface_get_stride(frame) != w * 4) {
      return;
    }
    gint64 firstDrawUs = firstDrawUs_;
    firstDrawUs_ = 0;
    Deliver(cairo_image_surface_get_data(frame), w, h, firstDrawUs, lastDrawUs_);
    return;
  }
  if (snapshotFrames_) {
    TakeSnapshot();
    return;
  }

  cairo_t* cr = cairo_create(FrameSurface(w, h));
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  capturing_ = true;
  gtk_widget_draw(GTK_WIDGET(view_), cr);
  capturing_ = false;
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
  if (cairo_image_surface_get_stride(surface_) != w * 4) return;  // never for ARGB32
  gint64 firstDrawUs = firstDrawUs_;
  firstDrawUs_ = 0;
  Deliver(cairo_image_surface_get_data(surface_), w, h, firstDrawUs, lastDrawUs_);
}

void BrowserView::TakeSnapshot() {
  snapshotPending_ = true;
  snapshotFirstDrawUs_ = firstDrawUs_;
  snapshotLastDrawUs_ = lastDrawUs_;
  firstDrawUs_ = 0;
  AddRef();  // released by OnSnapshot, which always runs (cancelled when the browser closes)
  // With the selection, as the page shows it; without overlay scrollbars, which a snapshot
  // leaves out.
  webkit_web_view_get_snapshot(
      view_, WEBKIT_SNAPSHOT_REGION_VISIBLE,
      static_cast<WebKitSnapshotOptions>(WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND |
                                         WEBKIT_SNAPSHOT_OPTIONS_INCLUDE_SELECTION_HIGHLIGHTING),
      snapshotCancel_, OnSnapshot, this);
}

void BrowserView::OnSnapshot(GObject* view, GAsyncResult* result, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  GError* error = nullptr;
  cairo_surface_t* shot =
      webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (error) g_error_free(error);
  b->snapshotPending_ = false;
  if (shot) {
    if (b->Alive() && !b->hidden_ && b->renderHandler_) b->DeliverSnapshot(shot);
    cairo_surface_destroy(shot);
  }
  // Draws that came while the snapshot was taken get the next one.
  if (b->dirty_) b->ScheduleCapture();
  b->Release();
}

// A snapshot's pixels sit in memory WebKit shares anew for every snapshot, not yet mapped in
// this process: mapped page by page, the handler's first read of the frame would pay a fault
// for every few pages. One call maps them all first, as CEF hands over a buffer ready to read.
static void MapInAdvance(const void* pixels, std::size_t bytes) {
#ifdef MADV_POPULATE_READ
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(pixels) & ~(page - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(pixels) + bytes;
  madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_READ);
#else
  (void)pixels;
  (void)bytes;
#endif
}

void BrowserView::DeliverSnapshot(cairo_surface_t* shot) {
  if (cairo_surface_get_type(shot) != CAIRO_SURFACE_TYPE_IMAGE) return;
  int w = cairo_image_surface_get_width(shot);
  int h = cairo_image_surface_get_height(shot);
  if (w != viewWidth_ || h != viewHeight_) {
    // Taken before a size change: the view at its new size is wanted instead.
    dirty_ = true;
    return;
  }
  cairo_surface_flush(shot);
  const void* pixels = cairo_image_surface_get_data(shot);
  if (cairo_image_surface_get_format(shot) != CAIRO_FORMAT_ARGB32 ||
      cairo_image_surface_get_stride(shot) != w * 4) {
    // Brought to the layout OnPaint hands on: ARGB32 rows without padding.
    cairo_t* cr = cairo_create(FrameSurface(w, h));
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, shot, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
    if (cairo_image_surface_get_stride(surface_) != w * 4) return;
    pixels = cairo_image_surface_get_data(surface_);
  }
  MapInAdvance(pixels, static_cast<std::size_t>(w) * h * 4);
  Deliver(pixels, w, h, snapshotFirstDrawUs_, snapshotLastDrawUs_);
}

void BrowserView::Deliver(const void* pixels, int w, int h, gint64 firstDrawUs, gint64 lastDrawUs) {
  CefRenderHandler::RectList dirty{CefRect(0, 0, w, h)};
  CefRefPtr<CefRenderHandler> handler = renderHandler_;
  gint64 now = g_get_monotonic_time();
  if (firstDrawUs) RecordPaintDelay(now - firstDrawUs, now - lastDrawUs);
  handler->OnPaint(this, PET_VIEW, dirty, pixels, w, h);
}

// ---- WebKit signals ----

void BrowserView::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  {
    const char* uri = webkit_web_view_get_uri(view);
    std::lock_guard lock(b->framesMutex_);
    b->mainUrl_ = uri ? uri : "";
  }
  if (event == WEBKIT_LOAD_STARTED) {
    const char* uri = webkit_web_view_get_uri(view);
    b->startedUrl_ = uri ? uri : "";
    b->mainLoadFailed_ = false;
    b->frameStatus_.clear();
    return;
  }
  if (event == WEBKIT_LOAD_COMMITTED) {
    // A new document: the sub-frames of the previous one are gone.
    std::lock_guard lock(b->framesMutex_);
    for (auto it = b->frames_.begin(); it != b->frames_.end();) {
      it = it->first == 0 ? std::next(it) : b->frames_.erase(it);
    }
    return;
  }
  if (event != WEBKIT_LOAD_FINISHED || b->mainLoadFailed_ || !b->client_) return;
  const char* uri = webkit_web_view_get_uri(view);
  std::string url = uri ? uri : "";
  int status = 0;
  if (WebKitWebResource* resource = webkit_web_view_get_main_resource(view)) {
    if (WebKitURIResponse* response = webkit_web_resource_get_response(resource)) {
      status = static_cast<int>(webkit_uri_response_get_status_code(response));
    }
  }
  CefRefPtr<BrowserView> keep(b);
  CefRefPtr<CefLoadHandler> load = b->client_->GetLoadHandler();
  if (!load) return;
  // WebKit refuses some addresses (ports it considers unsafe, for one) without a load error:
  // it shows an empty document instead. That is a failed load, not a local page.
  if (!IsLocalDocument(b->startedUrl_) && url.rfind("about:", 0) == 0) {
    load->OnLoadError(b, b->GetMainFrame(), ERR_FAILED, "the address was refused", b->startedUrl_);
    return;
  }
  load->OnLoadEnd(b, b->GetMainFrame(), EffectiveStatus(status, url));
}

gboolean BrowserView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                   gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  b->mainLoadFailed_ = true;
  if (!b->client_) return FALSE;
  CefRefPtr<BrowserView> keep(b);
  if (CefRefPtr<CefLoadHandler> load = b->client_->GetLoadHandler()) {
    bool cancelled = g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED);
    load->OnLoadError(b, b->GetMainFrame(), cancelled ? ERR_ABORTED : ERR_FAILED,
                      error ? error->message : "", uri ? uri : "");
  }
  return FALSE;
}

gboolean BrowserView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* r = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_main_frame_main_resource(r)) {
      WebKitURIResponse* response = webkit_response_policy_decision_get_response(r);
      const char* uri = webkit_uri_response_get_uri(response);
      if (uri) {
        b->frameStatus_.emplace(uri,
                                static_cast<int>(webkit_uri_response_get_status_code(response)));
      }
    }
    return FALSE;  // WebKit's own decision goes on
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    auto* n = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(n);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* frameName = webkit_navigation_action_get_frame_name(action);
    b->AskPopup(webkit_uri_request_get_uri(request), frameName ? frameName : "",
                WOD_NEW_FOREGROUND_TAB, webkit_navigation_action_is_user_gesture(action));
    // This engine opens no pop-up browsers: the request ends here either way.
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
}

bool BrowserView::AskPopup(const std::string& targetUrl, const std::string& targetName,
                           cef_window_open_disposition_t disposition, bool userGesture) {
  if (!client_) return true;
  CefRefPtr<CefLifeSpanHandler> lifeSpan = client_->GetLifeSpanHandler();
  if (!lifeSpan) return true;
  CefRefPtr<BrowserView> keep(this);
  CefPopupFeatures features;
  CefWindowInfo windowInfo;
  CefRefPtr<CefClient> client = client_;
  CefBrowserSettings settings;
  CefRefPtr<CefDictionaryValue> extra;
  bool noJavascriptAccess = false;
  return lifeSpan->OnBeforePopup(this, GetMainFrame(), targetUrl, targetName, disposition,
                                 userGesture, features, windowInfo, client, settings, extra,
                                 &noJavascriptAccess);
}

GtkWidget* BrowserView::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  b->AskPopup(uri ? uri : "", "", WOD_NEW_POPUP, webkit_navigation_action_is_user_gesture(action));
  return nullptr;  // no window: window.open returns null
}

// There is no JavaScript dialog handler, so dialogs are suppressed as for CEF's windowless
// browsers: nobody could answer them, and WebKit's own dialog would hold the page's script
// until it is dismissed. alert returns at once, confirm answers false, a before-unload question
// lets the page go.
gboolean BrowserView::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default:
      break;
  }
  return TRUE;
}

gboolean BrowserView::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent* event,
                                    WebKitHitTestResult* hit, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  if (!b->client_) return TRUE;
  CefRefPtr<CefContextMenuHandler> handler = b->client_->GetContextMenuHandler();
  if (!handler) return FALSE;
  gdouble x = 0, y = 0;
  if (event) gdk_event_get_coords(event, &x, &y);
  const char* link = hit ? webkit_hit_test_result_get_link_uri(hit) : nullptr;
  CefRefPtr<BrowserView> keep(b);
  CefRefPtr<MenuModel> model = new MenuModel(menu);
  handler->OnBeforeContextMenu(
      b, b->GetMainFrame(),
      new MenuParams(static_cast<int>(x), static_cast<int>(y), link ? link : ""), model.get());
  bool empty = model->GetCount() == 0;
  model->Detach();
  return empty ? TRUE : FALSE;  // an empty menu is not shown
}

gboolean BrowserView::OnUserMessage(WebKitWebView*, WebKitUserMessage* message, gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  const char* name = webkit_user_message_get_name(message);
  GVariant* params = webkit_user_message_get_parameters(message);
  CefRefPtr<BrowserView> keep(b);
  if (g_strcmp0(name, kProcessMessageName) == 0) {
    int64 frameId = 0;
    CefRefPtr<CefProcessMessage> m = DecodeProcessMessage(params, &frameId);
    if (m && b->client_) {
      b->client_->OnProcessMessageReceived(b, b->FrameFor(frameId), PID_RENDERER, m);
    }
    return TRUE;
  }
  ConsoleReport console;
  if (g_strcmp0(name, kConsoleMessageName) == 0 && DecodeConsoleReport(params, console)) {
    CefRefPtr<CefDisplayHandler> display = b->client_ ? b->client_->GetDisplayHandler() : nullptr;
    if (display) {
      display->OnConsoleMessage(b, static_cast<cef_log_severity_t>(console.level),
                                CefString(console.text), CefString(console.source), console.line);
    }
    return TRUE;
  }
  FrameReport report;
  if (g_strcmp0(name, kFrameReportName) == 0 && DecodeFrameReport(params, report)) {
    if (report.main) {
      std::lock_guard lock(b->framesMutex_);
      b->mainFrameId_ = report.frameId;
    } else if (report.kind == FrameReport::Kind::kCreated) {
      std::lock_guard lock(b->framesMutex_);
      b->frames_[report.frameId] = FrameRecord{report.url, false};
    } else {
      b->FrameLoaded(report.frameId, report.url, false);
    }
    return TRUE;
  }
  return FALSE;
}

int BrowserView::TakeFrameStatus(const std::string& url) {
  auto it = frameStatus_.find(url);
  if (it == frameStatus_.end()) return EffectiveStatus(0, url);
  int status = it->second;
  frameStatus_.erase(it);
  return EffectiveStatus(status, url);
}

void BrowserView::FrameLoaded(int64 frameId, const std::string& url, bool main) {
  {
    std::lock_guard lock(framesMutex_);
    frames_[frameId] = FrameRecord{url, main};
  }
  if (!client_) return;
  CefRefPtr<CefLoadHandler> load = client_->GetLoadHandler();
  if (load) load->OnLoadEnd(this, FrameFor(frameId), TakeFrameStatus(url));
}

void BrowserView::OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                         gpointer self) {
  auto* b = static_cast<BrowserView*>(self);
  if (!b->client_) return;
  CefRefPtr<BrowserView> keep(b);
  if (CefRefPtr<CefRequestHandler> request = b->client_->GetRequestHandler()) {
    request->OnRenderProcessTerminated(b, reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
                                              ? TS_PROCESS_OOM
                                              : TS_PROCESS_CRASHED);
  }
}

}  // namespace cef_internal

CefRefPtr<CefBrowser> CefBrowserHost::CreateBrowserSync(
    const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefString& url,
    const CefBrowserSettings& settings, CefRefPtr<CefDictionaryValue> /*extra_info*/,
    CefRefPtr<CefRequestContext> /*request_context*/) {
  CefRefPtr<cef_internal::BrowserView> view =
      cef_internal::BrowserView::Create(windowInfo, client, url, settings);
  return view.get();
}
