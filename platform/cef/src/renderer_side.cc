#include "renderer_side.h"

// The GTK3 web-extension API marks a few calls deprecated (the main frame of a page) with no
// replacement in this API generation.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <webkit2/webkit-web-extension.h>

#include <algorithm>
#include <map>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_render_process_handler.h"
#include "message_codec.h"
#include "process_state.h"
#include "renderer_messages.h"
#include "task_queue.h"
#include "v8_context.h"

namespace cef_internal {
namespace {

class RendererBrowser;
// Browsers of this process by page identifier; the web process's main thread only.
std::map<guint64, CefRefPtr<RendererBrowser>> g_browsers;

CefRefPtr<CefRenderProcessHandler> Handler() {
  CefRefPtr<CefApp> app = Application();
  return app ? app->GetRenderProcessHandler() : nullptr;
}

void SendToView(WebKitWebPage* page, const char* name, GVariant* params) {
  webkit_web_page_send_message_to_view(page, webkit_user_message_new(name, params), nullptr,
                                       nullptr, nullptr);
}

struct FrameKey {
  guint64 page;
  guint64 frame;
};

class RendererBrowser : public CefBrowser {
 public:
  explicit RendererBrowser(WebKitWebPage* page) : page_(page), id_(webkit_web_page_get_id(page)) {}

  WebKitWebPage* page() const { return page_; }

  // Frames are tracked from their first script context on, weakly: a frame can go at any time.
  void Track(WebKitFrame* frame) {
    guint64 id = webkit_frame_get_id(frame);
    if (frames_.count(id)) return;
    frames_[id] = frame;
    order_.push_back(id);
    g_object_weak_ref(
        G_OBJECT(frame),
        [](gpointer data, GObject*) {
          auto* key = static_cast<FrameKey*>(data);
          auto it = g_browsers.find(key->page);
          if (it != g_browsers.end()) it->second->Forget(key->frame);
          delete key;
        },
        new FrameKey{id_, id});
  }
  void Forget(guint64 frameId) {
    SetContext(frameId, nullptr);
    frames_.erase(frameId);
    order_.erase(std::remove(order_.begin(), order_.end(), frameId), order_.end());
  }
  WebKitFrame* Lookup(guint64 frameId) {
    auto it = frames_.find(frameId);
    return it == frames_.end() ? nullptr : it->second;
  }
  void PageGone() {
    page_ = nullptr;
    while (!contexts_.empty()) SetContext(contexts_.begin()->first, nullptr);
  }
  // The script context a frame shows now; the one it showed before is forgotten.
  void SetContext(guint64 frameId, JSCContext* context) {
    auto it = contexts_.find(frameId);
    if (it != contexts_.end() && it->second != context) {
      ForgetContext(it->second);
      contexts_.erase(it);
    }
    if (context) contexts_[frameId] = context;
  }

  CefRefPtr<CefFrame> FrameObject(WebKitFrame* frame);

  CefRefPtr<CefBrowserHost> GetHost() override { return nullptr; }
  bool CanGoBack() override { return false; }
  bool CanGoForward() override { return false; }
  bool IsLoading() override { return false; }
  void Reload() override {}
  void StopLoad() override {}
  int GetIdentifier() override { return static_cast<int>(id_); }
  bool IsSame(CefRefPtr<CefBrowser> that) override {
    return that && that->GetIdentifier() == GetIdentifier();
  }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return page_ != nullptr; }
  CefRefPtr<CefFrame> GetMainFrame() override {
    if (!page_) return nullptr;
    WebKitFrame* main = webkit_web_page_get_main_frame(page_);
    if (!main) return nullptr;
    Track(main);
    return FrameObject(main);
  }
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override {
    WebKitFrame* frame = Lookup(static_cast<guint64>(identifier));
    return frame ? FrameObject(frame) : nullptr;
  }
  CefRefPtr<CefFrame> GetFrame(const CefString& name) override {
    return name.empty() ? GetMainFrame() : nullptr;
  }
  size_t GetFrameCount() override { return order_.size(); }
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override {
    if (page_) GetMainFrame();  // the main frame is always listed, and first
    identifiers.assign(order_.begin(), order_.end());
  }
  void GetFrameNames(std::vector<CefString>& names) override {
    names.assign(order_.size(), CefString());
  }

 private:
  WebKitWebPage* page_;
  const guint64 id_;
  std::map<guint64, WebKitFrame*> frames_;
  std::vector<guint64> order_;
  std::map<guint64, JSCContext*> contexts_;  // kept alive by WrapContext until forgotten
  IMPLEMENT_REFCOUNTING(RendererBrowser);
};

class RendererFrame : public CefFrame {
 public:
  RendererFrame(CefRefPtr<RendererBrowser> browser, guint64 id, bool main)
      : browser_(std::move(browser)), id_(id), main_(main) {}

  bool IsValid() override { return browser_->Lookup(id_) != nullptr; }
  CefRefPtr<CefBrowser> GetBrowser() override { return browser_.get(); }
  int64 GetIdentifier() override { return static_cast<int64>(id_); }
  CefString GetName() override { return CefString(); }
  CefString GetURL() override {
    WebKitFrame* f = browser_->Lookup(id_);
    const char* uri = f ? webkit_frame_get_uri(f) : nullptr;
    return uri ? uri : "";
  }
  bool IsMain() override { return main_; }
  bool IsFocused() override { return main_; }
  CefRefPtr<CefFrame> GetParent() override { return main_ ? nullptr : browser_->GetMainFrame(); }
  CefRefPtr<CefV8Context> GetV8Context() override {
    WebKitFrame* f = browser_->Lookup(id_);
    if (!f) return nullptr;
    JSCContext* context =
        webkit_frame_get_js_context_for_script_world(f, webkit_script_world_get_default());
    if (!context) return nullptr;
    CefRefPtr<CefV8Context> result = WrapContext(context, browser_.get(), this);
    browser_->SetContext(id_, context);
    g_object_unref(context);
    return result;
  }
  void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                         int start_line) override {
    CefRefPtr<CefV8Context> context = GetV8Context();
    if (!context) return;
    CefRefPtr<CefV8Value> retval;
    CefRefPtr<CefV8Exception> exception;
    context->Eval(code, script_url, start_line, retval, exception);
  }
  void LoadURL(const CefString& url) override {
    ExecuteJavaScript("location.href = " + Quote(url.ToString()) + ";", CefString(), 1);
  }
  void SendProcessMessage(CefProcessId target, CefRefPtr<CefProcessMessage> message) override {
    if (target != PID_BROWSER || !message || !browser_->page()) return;
    SendToView(browser_->page(), kProcessMessageName,
               EncodeProcessMessage(*message, static_cast<int64>(id_)));
  }

 private:
  static std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
      if (c == '"' || c == '\\') out += '\\';
      if (c == '\n' || c == '\r') continue;
      out += c;
    }
    return out + "\"";
  }

  const CefRefPtr<RendererBrowser> browser_;
  const guint64 id_;
  const bool main_;
  IMPLEMENT_REFCOUNTING(RendererFrame);
};

CefRefPtr<CefFrame> RendererBrowser::FrameObject(WebKitFrame* frame) {
  return new RendererFrame(this, webkit_frame_get_id(frame), webkit_frame_is_main_frame(frame));
}

CefRefPtr<RendererBrowser> BrowserOf(WebKitWebPage* page) {
  auto it = g_browsers.find(webkit_web_page_get_id(page));
  return it == g_browsers.end() ? nullptr : it->second;
}

void ReportFrame(WebKitWebPage* page, FrameReport::Kind kind, guint64 frameId, bool main,
                 const char* uri) {
  FrameReport report;
  report.kind = kind;
  report.frameId = static_cast<int64>(frameId);
  report.main = main;
  report.url = uri ? uri : "";
  SendToView(page, kFrameReportName, EncodeFrameReport(report));
}

// A sub-frame's load event, reported to the browser process for its load-end callback (the
// browser process sees load completion of the main frame only).
void OnSubFrameLoad(gpointer data) {
  auto* key = static_cast<FrameKey*>(data);
  auto it = g_browsers.find(key->page);
  if (it == g_browsers.end() || !it->second->page()) return;
  WebKitFrame* frame = it->second->Lookup(key->frame);
  if (!frame) return;
  ReportFrame(it->second->page(), FrameReport::Kind::kLoaded, key->frame, false,
              webkit_frame_get_uri(frame));
}

void ListenForLoad(JSCContext* context, guint64 pageId, guint64 frameId) {
  JSCValue* listener = jsc_value_new_function(
      context, nullptr, G_CALLBACK(OnSubFrameLoad), new FrameKey{pageId, frameId},
      [](gpointer p) { delete static_cast<FrameKey*>(p); }, G_TYPE_NONE, 0);
  JSCValue* global = jsc_context_get_global_object(context);
  JSCValue* result = jsc_value_object_invoke_method(global, "addEventListener", G_TYPE_STRING,
                                                    "load", JSC_TYPE_VALUE, listener, G_TYPE_NONE);
  if (result) g_object_unref(result);
  jsc_context_clear_exception(context);
  g_object_unref(global);
  g_object_unref(listener);
}

// Console calls of a page reach the browser process as console reports. The page's console
// methods are wrapped by a function the page cannot see; the originals still run.
constexpr char kConsoleWrapper[] = R"js((function (report) {
  const levels = { debug: 1, log: 2, info: 2, warn: 3, error: 4 };
  for (const name of Object.keys(levels)) {
    const original = console[name];
    if (typeof original !== "function") continue;
    console[name] = function (...args) {
      try {
        const caller = (new Error().stack || "").split("\n")[1] || "";
        const at = caller.match(/@(.*):(\d+):\d+$/);
        const text = args.map((a) => { try { return String(a); } catch (e) { return "?"; } });
        report(levels[name], text.join(" "), at ? at[1] : "", at ? Number(at[2]) : 0);
      } catch (e) {}
      return original.apply(this, args);
    };
  }
}))js";

void OnConsoleCall(int level, const char* text, const char* source, int line, gpointer data) {
  auto it = g_browsers.find(GPOINTER_TO_SIZE(data));
  if (it == g_browsers.end() || !it->second->page()) return;
  ConsoleReport report{level, text ? text : "", source ? source : "", line};
  SendToView(it->second->page(), kConsoleMessageName, EncodeConsoleReport(report));
}

void ForwardConsole(JSCContext* context, guint64 pageId) {
  JSCValue* wrapper = jsc_context_evaluate(context, kConsoleWrapper, -1);
  JSCValue* report = jsc_value_new_function(context, nullptr, G_CALLBACK(OnConsoleCall),
                                            GSIZE_TO_POINTER(pageId), nullptr, G_TYPE_NONE, 4,
                                            G_TYPE_INT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_INT);
  if (wrapper && jsc_value_is_function(wrapper)) {
    JSCValue* result = jsc_value_function_call(wrapper, JSC_TYPE_VALUE, report, G_TYPE_NONE);
    if (result) g_object_unref(result);
  }
  jsc_context_clear_exception(context);
  if (wrapper) g_object_unref(wrapper);
  g_object_unref(report);
}

gboolean OnPageMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), kProcessMessageName) != 0) return FALSE;
  int64 frameId = 0;
  CefRefPtr<CefProcessMessage> m =
      DecodeProcessMessage(webkit_user_message_get_parameters(message), &frameId);
  CefRefPtr<RendererBrowser> browser = BrowserOf(page);
  CefRefPtr<CefRenderProcessHandler> handler = Handler();
  if (m && browser && handler) {
    CefRefPtr<CefFrame> frame = frameId ? browser->GetFrame(frameId) : nullptr;
    if (!frame) frame = browser->GetMainFrame();
    handler->OnProcessMessageReceived(browser.get(), frame, PID_BROWSER, m);
  }
  return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  guint64 id = webkit_web_page_get_id(page);
  CefRefPtr<RendererBrowser> browser = new RendererBrowser(page);
  g_browsers[id] = browser;
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnPageMessage), nullptr);
  g_object_weak_ref(
      G_OBJECT(page),
      [](gpointer data, GObject*) {
        auto it = g_browsers.find(GPOINTER_TO_SIZE(data));
        if (it == g_browsers.end()) return;
        CefRefPtr<RendererBrowser> gone = it->second;
        g_browsers.erase(it);
        gone->PageGone();
        if (CefRefPtr<CefRenderProcessHandler> handler = Handler()) {
          handler->OnBrowserDestroyed(gone.get());
        }
      },
      GSIZE_TO_POINTER(id));
  if (CefRefPtr<CefRenderProcessHandler> handler = Handler()) {
    handler->OnBrowserCreated(browser.get(), nullptr);
  }
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
  CefRefPtr<RendererBrowser> browser = BrowserOf(page);
  if (!browser) return;
  browser->Track(frame);
  guint64 frameId = webkit_frame_get_id(frame);
  bool main = webkit_frame_is_main_frame(frame);
  ReportFrame(page, FrameReport::Kind::kCreated, frameId, main, webkit_frame_get_uri(frame));

  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  if (!context) return;
  if (!main) ListenForLoad(context, webkit_web_page_get_id(page), frameId);
  ForwardConsole(context, webkit_web_page_get_id(page));
  CefRefPtr<CefV8Context> v8 = WrapContext(context, browser.get(), browser->FrameObject(frame));
  browser->SetContext(frameId, context);
  g_object_unref(context);
  if (CefRefPtr<CefRenderProcessHandler> handler = Handler()) {
    v8->Enter();
    handler->OnContextCreated(browser.get(), browser->FrameObject(frame), v8);
    v8->Exit();
  }
}

}  // namespace

void StartRendererSide(void* webExtension) {
  auto* extension = static_cast<WebKitWebExtension*>(webExtension);
  BindTaskThread(TID_RENDERER, g_main_context_default());
  if (CefRefPtr<CefRenderProcessHandler> handler = Handler()) handler->OnWebKitInitialized();
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(OnWindowObjectCleared), nullptr);
}

}  // namespace cef_internal
