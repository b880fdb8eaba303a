// The browser client's answers to a renderer's page queries, seen at the message level: what
// goes back to the renderer, through which frame, and when nothing does.
#include <gtest/gtest.h>

#include <vector>

#include "client/browser_client.h"
#include "i_server.h"
#include "include/cef_process_message.h"
#include "include/cef_v8.h"
#include "source/browser_source.h"

namespace {

// A main frame that keeps what is sent through it.
class RecordingFrame : public CefFrame {
 public:
  bool IsValid() override { return true; }
  CefRefPtr<CefBrowser> GetBrowser() override { return nullptr; }
  int64 GetIdentifier() override { return 1; }
  CefString GetName() override { return CefString(""); }
  CefString GetURL() override { return CefString(""); }
  bool IsMain() override { return true; }
  bool IsFocused() override { return false; }
  CefRefPtr<CefFrame> GetParent() override { return nullptr; }
  CefRefPtr<CefV8Context> GetV8Context() override { return nullptr; }
  void ExecuteJavaScript(const CefString&, const CefString&, int) override {}
  void LoadURL(const CefString&) override {}
  void SendProcessMessage(CefProcessId target, CefRefPtr<CefProcessMessage> message) override {
    targets.push_back(target);
    sent.push_back(message);
  }

  std::vector<CefProcessId> targets;
  std::vector<CefRefPtr<CefProcessMessage>> sent;

 private:
  IMPLEMENT_REFCOUNTING(RecordingFrame);
};

class OneFrameBrowser : public CefBrowser {
 public:
  explicit OneFrameBrowser(CefRefPtr<RecordingFrame> frame) : frame_(frame) {}
  CefRefPtr<CefBrowserHost> GetHost() override { return nullptr; }
  bool CanGoBack() override { return false; }
  bool CanGoForward() override { return false; }
  bool IsLoading() override { return false; }
  void Reload() override {}
  void StopLoad() override {}
  int GetIdentifier() override { return 7; }
  bool IsSame(CefRefPtr<CefBrowser> that) override { return that.get() == this; }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return true; }
  CefRefPtr<CefFrame> GetMainFrame() override { return frame_.get(); }
  CefRefPtr<CefFrame> GetFrame(int64) override { return frame_.get(); }
  CefRefPtr<CefFrame> GetFrame(const CefString&) override { return frame_.get(); }
  size_t GetFrameCount() override { return 1; }
  void GetFrameIdentifiers(std::vector<int64>& ids) override { ids = {1}; }
  void GetFrameNames(std::vector<CefString>& names) override { names = {CefString("")}; }

 private:
  CefRefPtr<RecordingFrame> frame_;
  IMPLEMENT_REFCOUNTING(OneFrameBrowser);
};

class PageQueries : public ::testing::Test {
 protected:
  CefRefPtr<CefProcessMessage> query(const char* name, bool withId = true) {
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
    if (withId) message->GetArgumentList()->SetInt(0, 4711);
    return message;
  }
  bool ask(CefRefPtr<CefProcessMessage> message) {
    return client->OnProcessMessageReceived(browser.get(), frame.get(), PID_RENDERER, message);
  }

  i_server link;
  BrowserSource source{&link.settings};
  CefRefPtr<RecordingFrame> frame = new RecordingFrame();
  CefRefPtr<OneFrameBrowser> browser = new OneFrameBrowser(frame);
  CefRefPtr<BrowserClient> client = new BrowserClient(&source, false);
};

TEST_F(PageQueries, BothQueriesAreAnsweredWithTheExactTextAndTheCallersId) {
  source.setViewSize(1280, 720);
  ASSERT_TRUE(ask(query("getCurrentScene")));
  ASSERT_TRUE(ask(query("getStatus")));
  ASSERT_EQ(frame->sent.size(), 2u);
  for (const auto target : frame->targets) EXPECT_EQ(target, PID_RENDERER);

  const struct {
    CefRefPtr<CefProcessMessage> reply;
    const char* text;
  } expected[] = {
      {frame->sent[0], R"({"height": 720, "name": "getCurrentScene", "width": 1280})"},
      {frame->sent[1], R"({"recording": true, "replaybuffer": true, "streaming": true})"},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(e.reply->GetName().ToString(), "executeCallback");
    EXPECT_EQ(e.reply->GetArgumentList()->GetInt(0), 4711);
    EXPECT_EQ(e.reply->GetArgumentList()->GetString(1).ToString(), e.text);
  }
}

TEST_F(PageQueries, TheSizeIsTheSourcesSizeAtTheMomentOfTheQuery) {
  source.setViewSize(640, 480);
  ASSERT_TRUE(ask(query("getCurrentScene", false)));  // no id given: 0 is echoed
  ASSERT_EQ(frame->sent.size(), 1u);
  EXPECT_EQ(frame->sent[0]->GetArgumentList()->GetInt(0), 0);
  EXPECT_EQ(frame->sent[0]->GetArgumentList()->GetString(1).ToString(),
            R"({"height": 480, "name": "getCurrentScene", "width": 640})");
}

TEST_F(PageQueries, OtherNamesAndDetachedClientsGetNoAnswer) {
  for (const char* name : {"GetCurrentScene", "getcurrentscene", "getStatus2", "Visibility", ""}) {
    EXPECT_FALSE(ask(query(name))) << name;
  }
  client->source = nullptr;  // the browser is being closed
  EXPECT_FALSE(ask(query("getStatus")));
  EXPECT_TRUE(frame->sent.empty());
}

}  // namespace
