// BrowserApp's render-process callbacks against a stand-in browser without a running engine:
// which messages are handled, and how a browser's frames are visited.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser_app.h"
#include "include/cef_process_message.h"

namespace {

// A renderer-side browser whose frames are listed but all gone, so every visit is only
// recorded as a lookup.
class GoneFramesBrowser : public CefBrowser {
 public:
  GoneFramesBrowser(int id, std::vector<int64> list) : frames(std::move(list)), id_(id) {}

  std::vector<int64> frames;
  std::vector<int64> lookups;

  CefRefPtr<CefBrowserHost> GetHost() override { return nullptr; }
  bool CanGoBack() override { return false; }
  bool CanGoForward() override { return false; }
  bool IsLoading() override { return false; }
  void Reload() override {}
  void StopLoad() override {}
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override { return that && that->GetIdentifier() == id_; }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return true; }
  CefRefPtr<CefFrame> GetMainFrame() override { return nullptr; }
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override {
    lookups.push_back(identifier);
    return nullptr;
  }
  CefRefPtr<CefFrame> GetFrame(const CefString&) override { return nullptr; }
  size_t GetFrameCount() override { return frames.size(); }
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override { identifiers = frames; }
  void GetFrameNames(std::vector<CefString>& names) override { names.clear(); }

 private:
  int id_;
  IMPLEMENT_REFCOUNTING(GoneFramesBrowser);
};

// A context whose global object cannot be had: the bridge object is skipped, the rest goes on.
class EmptyContext : public CefV8Context {
 public:
  bool IsValid() override { return false; }
  CefRefPtr<CefBrowser> GetBrowser() override { return nullptr; }
  CefRefPtr<CefFrame> GetFrame() override { return nullptr; }
  CefRefPtr<CefV8Value> GetGlobal() override { return nullptr; }
  bool Enter() override { return false; }
  bool Exit() override { return false; }
  bool IsSame(CefRefPtr<CefV8Context>) override { return false; }
  bool Eval(const CefString&, const CefString&, int, CefRefPtr<CefV8Value>&,
            CefRefPtr<CefV8Exception>&) override {
    return false;
  }

 private:
  IMPLEMENT_REFCOUNTING(EmptyContext);
};

CefRefPtr<CefProcessMessage> Message(const std::string& name, bool argument) {
  CefRefPtr<CefProcessMessage> m = CefProcessMessage::Create(name);
  m->GetArgumentList()->SetBool(0, argument);
  return m;
}

TEST(BrowserAppRendererTest, EveryMessageIsHandledAndOnlyVisibilityVisitsTheFrames) {
  CefRefPtr<BrowserApp> app = new BrowserApp();
  CefRefPtr<GoneFramesBrowser> browser = new GoneFramesBrowser(4, {10, 11, 12});
  for (const char* name : {"Active", "executeCallback", "getStatus", "getCurrentScene",
                           "visibility", "", "anything"}) {
    EXPECT_TRUE(
        app->OnProcessMessageReceived(browser.get(), nullptr, PID_BROWSER, Message(name, false)))
        << name;
  }
  EXPECT_TRUE(browser->lookups.empty());
  // A browser never told: a new context changes nothing beyond the bridge object.
  app->OnContextCreated(browser.get(), nullptr, new EmptyContext());
  EXPECT_TRUE(browser->lookups.empty());

  EXPECT_TRUE(app->OnProcessMessageReceived(browser.get(), nullptr, PID_BROWSER,
                                            Message("Visibility", false)));
  EXPECT_EQ(browser->lookups, (std::vector<int64>{10, 11, 12})) << "every frame, in list order";
}

TEST(BrowserAppRendererTest, TheStateIsRecordedPerBrowserEvenWithoutReachableFrames) {
  CefRefPtr<BrowserApp> app = new BrowserApp();
  CefRefPtr<GoneFramesBrowser> told = new GoneFramesBrowser(1, {5});
  CefRefPtr<GoneFramesBrowser> other = new GoneFramesBrowser(2, {6});
  CefRefPtr<GoneFramesBrowser> empty = new GoneFramesBrowser(3, {});
  app->OnProcessMessageReceived(told.get(), nullptr, PID_BROWSER, Message("Visibility", true));
  app->OnProcessMessageReceived(empty.get(), nullptr, PID_BROWSER, Message("Visibility", false));
  told->lookups.clear();

  // New contexts of the told browsers re-apply to all their frames, also where the first
  // message found none; the other browser is untouched.
  empty->frames = {7, 8};
  for (auto& browser : {told, other, empty}) {
    app->OnContextCreated(browser.get(), nullptr, new EmptyContext());
  }
  EXPECT_EQ(told->lookups, (std::vector<int64>{5}));
  EXPECT_TRUE(other->lookups.empty());
  EXPECT_EQ(empty->lookups, (std::vector<int64>{7, 8}));
}

}  // namespace
