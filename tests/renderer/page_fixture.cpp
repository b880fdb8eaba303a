#include "page_fixture.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine_start.h"
#include "include/cef_application_factory.h"
#include "probe_page.h"
#include "ui_task.h"

namespace renderer_test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_fromRenderer{0};

// A windowless view; its frames are not looked at. Counts messages from the renderer.
class ViewClient : public CefClient, public CefRenderHandler {
 public:
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefProcessId,
                                CefRefPtr<CefProcessMessage>) override {
    ++g_fromRenderer;
    return true;
  }
  void GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, 640, 360);
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void*, int,
               int) override {}

 private:
  IMPLEMENT_REFCOUNTING(ViewClient);
};

}  // namespace

void PageTest::SetUp() {
  // The product's application object in this process and, through its module, in every web
  // process.
  static const bool started = StartEngine(CreateApplication(), BuiltModuleDir("tavrimon-webext"));
  ASSERT_TRUE(started);
  a = std::make_unique<PageServer>();
  b = std::make_unique<PageServer>();
  std::string control = a->Origin();
  for (std::string suffix : {"", "2"}) {
    a->Serve(
        "/top" + suffix,
        ProbePage(control, "<iframe src='/child?name=same" + suffix + "'></iframe><iframe src='" +
                               b->Url("/child?name=cross" + suffix) + "'></iframe>"));
  }
  a->Serve("/child", ProbePage(control));
  b->Serve("/child", ProbePage(control));
}

CefRefPtr<CefBrowser> PageTest::OpenBrowser(const std::string& suffix) {
  std::string url = a->Url("/top" + suffix + "?name=top" + suffix);
  CefRefPtr<CefBrowser> created;
  RunOnUi([&] {
    CefWindowInfo info;
    info.width = 640;
    info.height = 360;
    info.windowless_rendering_enabled = 1;
    CefBrowserSettings settings;
    created =
        CefBrowserHost::CreateBrowserSync(info, new ViewClient(), url, settings, nullptr, nullptr);
  });
  EXPECT_TRUE(created);
  if (!created) return nullptr;
  browsers_.push_back(created);
  if (!browser) browser = created;
  for (const char* frame : kFrames) {
    EXPECT_TRUE(a->WaitForDocuments(frame + suffix, 1)) << frame << suffix;
  }
  return created;
}

void PageTest::TearDown() {
  for (auto& each : browsers_) each->GetHost()->CloseBrowser(true);
  browsers_.clear();
  browser = nullptr;
  b.reset();
  a.reset();
}

std::string PageTest::Run(const std::string& frame, const std::string& code) {
  return a->Run(frame, code).value_or("<no answer>");
}

void PageTest::Send(const std::string& name,
                    const std::function<void(CefRefPtr<CefListValue>)>& fill,
                    CefRefPtr<CefBrowser> to) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  if (fill) fill(message->GetArgumentList());
  (to ? to : browser)->GetMainFrame()->SendProcessMessage(PID_RENDERER, message);
}

void PageTest::SendVisibility(bool visible, CefRefPtr<CefBrowser> to) {
  Send(
      "Visibility", [&](CefRefPtr<CefListValue> args) { args->SetBool(0, visible); }, to);
}

bool PageTest::WaitForEvents(const std::string& frame, int count) {
  auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    std::string seen = Run(frame, "probe.events.length");
    if (seen.rfind("ok:", 0) == 0 && std::atoi(seen.c_str() + 3) >= count) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

int PageTest::MessagesFromRenderer() const {
  return g_fromRenderer;
}

}  // namespace renderer_test
