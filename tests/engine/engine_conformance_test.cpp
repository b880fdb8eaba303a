// Conformance of the CEF layer over WebKitGTK, through the CEF API only: tasks, painting,
// messages, script contexts, handlers, host calls and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#include "engine_fixture.h"
#include "include/cef_display_handler.h"
#include "include/cef_task.h"
#include "local_http_server.h"

namespace engine_test {
namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(EnsureEngine()) << "the engine did not start"; }
  void TearDown() override {
    for (auto& [browser, client] : open_) {
      CloseBrowser(browser);
      client->WaitUntil([&] { return client->beforeClose > 0; }, 10s);
    }
  }
  CefRefPtr<CefBrowser> Open(CefRefPtr<RecordingClient> client, const std::string& url,
                             int frameRate = 30, cef_color_t background = 0) {
    CefRefPtr<CefBrowser> browser = CreateBrowser(client, url, frameRate, background);
    if (browser) open_.emplace_back(browser, client);
    return browser;
  }
  bool WaitLoaded(CefRefPtr<RecordingClient> client) {
    return client->WaitUntil([&] {
      for (auto& l : client->loadEnds)
        if (l.main) return true;
      return false;
    });
  }
  LocalHttpServer server_;
  std::vector<std::pair<CefRefPtr<CefBrowser>, CefRefPtr<RecordingClient>>> open_;
};

class RecordingTask : public CefTask {
 public:
  RecordingTask(std::function<void()> f) : f_(std::move(f)) {}
  void Execute() override { f_(); }

 private:
  std::function<void()> f_;
  IMPLEMENT_REFCOUNTING(RecordingTask);
};

TEST_F(EngineTest, TasksRunOnTheUiThreadInPostingOrderAndNeverInline) {
  const BeforeStart& before = BeforeStartResult();
  EXPECT_FALSE(before.postAccepted) << "a post before start-up must be refused";
  EXPECT_TRUE(before.taskReleased);
  EXPECT_FALSE(before.taskRan);

  std::mutex m;
  std::vector<int> order;
  std::atomic<bool> offUi{false};
  constexpr int kFromOutside = 200;
  for (int i = 0; i < kFromOutside; ++i) {
    ASSERT_TRUE(CefPostTask(TID_UI, new RecordingTask([&, i] {
                              if (!CefCurrentlyOn(TID_UI)) offUi = true;
                              std::lock_guard lock(m);
                              order.push_back(i);
                            })));
  }
  bool ranInline = true;
  RunOnUi([&] {
    // Posted from the UI thread itself: queued, not run inside the call.
    bool ran = false;
    CefPostTask(TID_UI, new RecordingTask([&] {
                  ran = true;
                  std::lock_guard lock(m);
                  order.push_back(kFromOutside);
                }));
    ranInline = ran;
  });
  RunOnUi([] {});
  EXPECT_FALSE(ranInline);
  EXPECT_FALSE(offUi);
  EXPECT_FALSE(CefCurrentlyOn(TID_UI));
  std::lock_guard lock(m);
  ASSERT_EQ(order.size(), size_t{kFromOutside + 1});
  for (int i = 0; i <= kFromOutside; ++i) EXPECT_EQ(order[size_t(i)], i);
}

TEST_F(EngineTest, CreateBrowserSyncOffTheUiThreadGivesNull) {
  CefRefPtr<RecordingClient> client = new RecordingClient(64, 64);
  CefWindowInfo info;
  info.windowless_rendering_enabled = 1;
  CefBrowserSettings settings;
  EXPECT_EQ(CefBrowserHost::CreateBrowserSync(info, client.get(), "about:blank", settings, nullptr,
                                              nullptr),
            nullptr);
}

// A page of known colours: every pixel must come out exactly, B,G,R,A, rows top to bottom,
// whether the view is transparent (read as snapshots) or opaque (read from WebKit's view copy).
TEST_F(EngineTest, PaintsExactPixelsOfAKnownPage) {
  server_.Serve("/colours",
                "<!doctype html><style>html,body{margin:0;background:rgb(18,52,86)}"
                "#b{position:absolute;left:0;top:40px;width:80px;height:20px;"
                "background:rgb(200,100,50)}</style><div id=b></div>");
  for (cef_color_t background : {cef_color_t{0}, cef_color_t{0xFFFFFFFF}}) {
    SCOPED_TRACE(background ? "opaque view" : "transparent view");
    CefRefPtr<RecordingClient> client = new RecordingClient(80, 60);
    ASSERT_TRUE(Open(client, server_.Url("/colours"), 30, background));
    ASSERT_TRUE(WaitLoaded(client));
    ASSERT_TRUE(client->WaitUntil([&] { return client->paints > 0; }));
    // The last frame after the page settled.
    std::this_thread::sleep_for(500ms);
    std::lock_guard lock(client->mutex());
    ASSERT_EQ(client->lastWidth, 80);
    ASSERT_EQ(client->lastHeight, 60);
    EXPECT_FALSE(client->paintOffUiThread);
    EXPECT_FALSE(client->nonViewPaint);
    auto pixel = [&](int x, int y) {
      const uint8_t* p = &client->lastFrame[size_t(y * 80 + x) * 4];
      return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    for (int y : {0, 10, 39}) {
      for (int x : {0, 40, 79}) EXPECT_EQ(pixel(x, y), (std::array<int, 4>{86, 52, 18, 255}));
    }
    for (int y : {40, 50, 59}) {
      for (int x : {0, 79}) EXPECT_EQ(pixel(x, y), (std::array<int, 4>{50, 100, 200, 255}));
    }
  }
}

TEST_F(EngineTest, ZeroBackgroundColourIsTransparentAndAlphaIsPremultiplied) {
  server_.Serve("/transparent",
                "<!doctype html><style>html,body{margin:0;background:transparent}"
                "#b{position:absolute;left:0;top:0;width:20px;height:20px;"
                "background:rgba(0,0,255,0.5)}</style><div id=b></div>");
  CefRefPtr<RecordingClient> client = new RecordingClient(40, 40);
  ASSERT_TRUE(Open(client, server_.Url("/transparent")));
  ASSERT_TRUE(WaitLoaded(client));
  ASSERT_TRUE(client->WaitUntil([&] { return client->paints > 0; }));
  std::this_thread::sleep_for(500ms);
  std::lock_guard lock(client->mutex());
  const uint8_t* inside = &client->lastFrame[size_t(5 * 40 + 5) * 4];
  const uint8_t* outside = &client->lastFrame[size_t(30 * 40 + 30) * 4];
  EXPECT_NEAR(inside[0], 128, 1);  // blue, premultiplied
  EXPECT_EQ(inside[1], 0);
  EXPECT_EQ(inside[2], 0);
  EXPECT_NEAR(inside[3], 128, 1);
  EXPECT_EQ(outside[3], 0);
  EXPECT_EQ(outside[0] + outside[1] + outside[2], 0);
}

// Checks every frame of a transparent page showing one translucent 40 x 40 box: the pixels
// that are not transparent black must be exactly that box, in the box's premultiplied colour.
class MovingBoxClient : public RecordingClient {
 public:
  static constexpr int kWidth = 200, kHeight = 60, kBox = 40;
  MovingBoxClient() : RecordingClient(kWidth, kHeight) {}

  void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects,
               const void* buffer, int width, int height) override {
    if (width == kWidth && height == kHeight) Check(static_cast<const uint8_t*>(buffer));
    RecordingClient::OnPaint(browser, type, dirtyRects, buffer, width, height);
  }

  int framesWithBox = 0;
  int badFrames = 0;
  std::string firstBad;
  std::set<int> positions;

 private:
  void Check(const uint8_t* frame) {
    int left = kWidth, top = kHeight, right = -1, bottom = -1;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* p = frame + size_t(y * kWidth + x) * 4;
        if ((p[0] | p[1] | p[2] | p[3]) == 0) continue;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    if (right < 0) return;  // the box is not drawn yet
    std::lock_guard lock(mutex());
    ++framesWithBox;
    positions.insert(right);  // moves with the box even when traces are left behind
    int wrong = 0;
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        const uint8_t* p = frame + size_t(y * kWidth + x) * 4;
        // rgba(255,0,0,0.5) premultiplied: B=0 G=0 R=128 A=128.
        if (p[0] != 0 || p[1] != 0 || std::abs(p[2] - 128) > 1 || std::abs(p[3] - 128) > 1) {
          ++wrong;
        }
      }
    }
    int w = right - left + 1, h = bottom - top + 1;
    if (w == kBox && h == kBox && wrong == 0) return;
    if (++badFrames == 1) {
      firstBad = "painted area " + std::to_string(w) + "x" + std::to_string(h) + " at x " +
                 std::to_string(left) + ", " + std::to_string(wrong) +
                 " pixels in it not the box's colour";
    }
  }
};

// Repaints of a transparent page replace what was there: a moving translucent box leaves no
// trace where it was and never builds up over itself.
TEST_F(EngineTest, TransparentPageRepaintsReplaceOldPixels) {
  server_.Serve("/moving",
                "<!doctype html><style>html,body{margin:0;background:transparent}"
                "#b{position:absolute;left:0;top:10px;width:40px;height:40px;"
                "background:rgba(255,0,0,0.5)}</style><div id=b></div><script>"
                "let x=0;const b=document.getElementById('b');"
                "function step(){x=(x+3)%161;b.style.left=x+'px';requestAnimationFrame(step);}"
                "requestAnimationFrame(step);</script>");
  CefRefPtr<MovingBoxClient> client = new MovingBoxClient();
  ASSERT_TRUE(Open(client, server_.Url("/moving")));
  ASSERT_TRUE(WaitLoaded(client));
  ASSERT_TRUE(client->WaitUntil([&] {
    return client->framesWithBox >= 40 && client->positions.size() >= 20;
  })) << "the box was not seen moving";
  std::lock_guard lock(client->mutex());
  EXPECT_EQ(client->badFrames, 0) << "of " << client->framesWithBox
                                  << " frames; the first: " << client->firstBad;
}

// A scroll moves pixels the view already had; on a transparent page the frame after it must be
// the scrolled page, with nothing left of what was there before.
TEST_F(EngineTest, ATransparentPageScrolledShowsOnlyWhatIsNowInView) {
  server_.Serve("/tall",
                "<!doctype html><style>html,body{margin:0;background:transparent}"
                "div{position:absolute;left:0;width:200px;height:100px}</style>"
                "<body style='height:5000px'><div style='top:0;background:#f00'></div>"
                "<div style='top:300px;background:rgba(0,255,0,0.5)'></div></body>");
  CefRefPtr<RecordingClient> client = new RecordingClient(200, 200);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/tall"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  const auto pixel = [&](int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * 200 + x) * 4;
    return std::array<int, 4>{client->lastFrame[at], client->lastFrame[at + 1],
                              client->lastFrame[at + 2], client->lastFrame[at + 3]};
  };
  ASSERT_TRUE(client->WaitUntil([&] {
    return client->lastWidth == 200 && client->lastHeight == 200 &&
           pixel(10, 10) == std::array<int, 4>{0, 0, 255, 255};
  })) << "the red block never showed";

  CefMouseEvent event;
  browser->GetHost()->SendMouseWheelEvent(event, 0, -300);
  // The green block, half transparent, at the top; transparency below it.
  const std::array<int, 4> green{0, 128, 0, 128};
  const std::array<int, 4> clear{0, 0, 0, 0};
  const bool settled =
      client->WaitUntil([&] { return pixel(10, 10) == green && pixel(10, 150) == clear; }, 10s);
  std::lock_guard lock(client->mutex());
  EXPECT_TRUE(settled) << "at the top " << pixel(10, 10)[1] << "/" << pixel(10, 10)[3] << ", below "
                       << pixel(10, 150)[2] << "/" << pixel(10, 150)[3];
}

TEST_F(EngineTest, StaticPageStopsPaintingAnimatedPageIsCappedAtTheFrameRate) {
  server_.Serve("/static", "<!doctype html><body style='background:#0f0'>still</body>");
  server_.Serve("/animated",
                "<!doctype html><style>@keyframes m{from{left:0}to{left:200px}}"
                "#b{position:absolute;width:20px;height:20px;background:red;"
                "animation:m 1s linear infinite}</style><div id=b></div>");
  CefRefPtr<RecordingClient> still = new RecordingClient(100, 100);
  CefRefPtr<RecordingClient> moving = new RecordingClient(100, 100);
  constexpr int kRate = 10;
  ASSERT_TRUE(Open(still, server_.Url("/static")));
  ASSERT_TRUE(Open(moving, server_.Url("/animated"), kRate));
  ASSERT_TRUE(WaitLoaded(still));
  ASSERT_TRUE(WaitLoaded(moving));
  ASSERT_TRUE(still->WaitUntil([&] { return still->paints > 0; }));
  std::this_thread::sleep_for(1s);  // let the static page settle

  int stillBefore, movingBefore;
  {
    std::lock_guard a(still->mutex());
    stillBefore = still->paints;
  }
  {
    std::lock_guard b(moving->mutex());
    movingBefore = moving->paints;
  }
  auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::lock_guard a(still->mutex());
  std::lock_guard b(moving->mutex());
  EXPECT_EQ(still->paints, stillBefore) << "a static page must get no further paints";
  int moved = moving->paints - movingBefore;
  EXPECT_GT(moved, 0);
  EXPECT_LE(moved, int(seconds * kRate) + 2) << "paints above windowless_frame_rate";
}

TEST_F(EngineTest, ProcessMessagesTravelBothWaysWithTheSameBrowserIdentifier) {
  server_.Serve("/msg", "<!doctype html>messages");
  CefRefPtr<RecordingClient> client = new RecordingClient(50, 50);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/msg"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  CefRefPtr<CefProcessMessage> ping = CefProcessMessage::Create("ping");
  CefRefPtr<CefListValue> args = ping->GetArgumentList();
  args->SetBool(0, true);
  args->SetInt(1, -123456);
  args->SetDouble(2, 2.5);
  args->SetString(3, "h\xC3\xA9llo");
  browser->GetMainFrame()->SendProcessMessage(PID_RENDERER, ping);
  ASSERT_TRUE(client->WaitUntil([&] {
    for (auto& m : client->messages)
      if (m.name == "pong") return true;
    return false;
  }));
  std::lock_guard lock(client->mutex());
  for (auto& m : client->messages) {
    if (m.name != "pong") continue;
    EXPECT_TRUE(m.args->GetBool(0));
    EXPECT_EQ(m.args->GetInt(1), -123456);
    EXPECT_EQ(m.args->GetDouble(2), 2.5);
    EXPECT_EQ(m.args->GetString(3).ToString(), "h\xC3\xA9llo");
    EXPECT_EQ(m.args->GetInt(4), browser->GetIdentifier());
    EXPECT_EQ(m.args->GetInt(5), 1) << "one live frame in the renderer";
    // The renderer's command line: its type, and what OnBeforeChildProcessLaunch added.
    EXPECT_EQ(m.args->GetString(6).ToString(), "renderer");
    EXPECT_EQ(m.args->GetString(7).ToString(), "from-parent");
    // A missing index reads as the type's empty value.
    EXPECT_EQ(m.args->GetInt(17), 0);
    EXPECT_EQ(m.args->GetString(17).ToString(), "");
  }
}

TEST_F(EngineTest, EveryFrameGetsAContextAndEveryFrameLoadEndsWithItsStatus) {
  server_.Serve("/frames",
                "<!doctype html><iframe src='/child'></iframe><iframe src='/missing'></iframe>");
  server_.Serve("/child", "<!doctype html>child");
  CefRefPtr<RecordingClient> client = new RecordingClient(300, 200);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/frames"));
  ASSERT_TRUE(browser);
  auto hasLoad = [&](const std::string& url, bool main, int status) {
    for (auto& l : client->loadEnds)
      if (l.url == url && l.main == main && l.status == status) return true;
    return false;
  };
  EXPECT_TRUE(client->WaitUntil([&] {
    return hasLoad(server_.Url("/frames"), true, 200) &&
           hasLoad(server_.Url("/child"), false, 200) &&
           hasLoad(server_.Url("/missing"), false, 404);
  })) << "load ends: main 200, iframe 200, iframe 404";

  size_t pings = 0;
  {
    std::lock_guard lock(client->mutex());
    std::set<std::string> frameIds;
    int mainContexts = 0;
    for (auto& m : client->messages) {
      if (m.name != "context") continue;
      EXPECT_EQ(m.args->GetInt(3), browser->GetIdentifier());
      std::string url = m.args->GetString(0).ToString();
      if (url == server_.Url("/frames")) mainContexts += m.args->GetBool(1) ? 1 : 0;
      if (url == server_.Url("/child") || url == server_.Url("/missing")) {
        EXPECT_FALSE(m.args->GetBool(1));
        frameIds.insert(m.args->GetString(2).ToString());
      }
    }
    EXPECT_EQ(mainContexts, 1);
    EXPECT_EQ(frameIds.size(), 2u) << "a context in each iframe, each its own frame";
    pings = client->messages.size();
  }

  // The renderer's browser lists and finds all three frames.
  browser->GetMainFrame()->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("ping"));
  ASSERT_TRUE(client->WaitUntil([&] {
    for (size_t i = pings; i < client->messages.size(); ++i)
      if (client->messages[i].name == "pong") return true;
    return false;
  }));
  std::lock_guard lock(client->mutex());
  for (size_t i = pings; i < client->messages.size(); ++i) {
    if (client->messages[i].name == "pong") {
      EXPECT_EQ(client->messages[i].args->GetInt(5), 3);
    }
  }
}

TEST_F(EngineTest, LocalFileDocumentsLoadWithStatus200) {
  std::string child = WriteTempPage("child.html", "<!doctype html>child");
  std::string main =
      WriteTempPage("main.html", "<!doctype html><iframe src='child.html'></iframe>");
  CefRefPtr<RecordingClient> client = new RecordingClient(200, 100);
  ASSERT_TRUE(Open(client, FileUrl(main)));
  EXPECT_TRUE(client->WaitUntil([&] {
    bool mainDone = false, childDone = false;
    for (auto& l : client->loadEnds) {
      mainDone |= l.main && l.url == FileUrl(main) && l.status == 200;
      childDone |= !l.main && l.url == FileUrl(child) && l.status == 200;
    }
    return mainDone && childDone;
  }));
  RemoveTempPages();
}

TEST_F(EngineTest, PageSeesReadOnlyPropertiesAndCallsHandlers) {
  server_.Serve("/props",
                "<!doctype html><script>window.fixed = 7;"
                "let threw = false; try { report(1); } catch (e) { threw = true; }"
                "report(String(window.fixed) + ',' + threw);</script>");
  CefRefPtr<RecordingClient> client = new RecordingClient(50, 50);
  ASSERT_TRUE(Open(client, server_.Url("/props")));
  ASSERT_TRUE(client->WaitUntil([&] {
    for (auto& m : client->messages)
      if (m.name == "fromPage") return true;
    return false;
  }));
  std::lock_guard lock(client->mutex());
  for (auto& m : client->messages) {
    if (m.name != "fromPage") continue;
    EXPECT_EQ(m.args->GetString(0).ToString(), "42,true")
        << "read-only ignores the page's assignment; a handler's exception is thrown";
    EXPECT_EQ(m.args->GetString(1).ToString(), server_.Url("/props"));
  }
}

TEST_F(EngineTest, ScriptFunctionsRunWithTheirThisAndReportExceptions) {
  server_.Serve("/dispatch",
                "<!doctype html><script>document.addEventListener('probe', function (e) {"
                "report('probe ' + (this === document) + ' ' + e.bubbles); });</script>");
  CefRefPtr<RecordingClient> client = new RecordingClient(50, 50);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/dispatch"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  browser->GetMainFrame()->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("dispatch"));
  auto find = [&](const std::string& name) -> const Message* {
    for (auto& m : client->messages)
      if (m.name == name) return &m;
    return nullptr;
  };
  ASSERT_TRUE(client->WaitUntil([&] { return find("dispatched") && find("fromPage"); }));
  std::lock_guard lock(client->mutex());
  EXPECT_EQ(find("fromPage")->args->GetString(0).ToString(), "probe true false");
  EXPECT_TRUE(find("dispatched")->args->GetBool(0)) << "dispatchEvent's result";
  EXPECT_TRUE(find("dispatched")->args->GetBool(1)) << "a throwing call gives null + exception";
}

TEST_F(EngineTest, AChangedViewSizeIsFollowedAfterWasResized) {
  server_.Serve("/resize", "<!doctype html><body style='background:#123456'>");
  CefRefPtr<RecordingClient> client = new RecordingClient(100, 80);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/resize"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(
      client->WaitUntil([&] { return client->lastWidth == 100 && client->lastHeight == 80; }));
  client->SetViewSize(160, 120);
  browser->GetHost()->WasResized();
  EXPECT_TRUE(
      client->WaitUntil([&] { return client->lastWidth == 160 && client->lastHeight == 120; }));
}

TEST_F(EngineTest, RightClickOffersTheMenuToTheHandlerWhichClearsIt) {
  server_.Serve("/menu",
                "<!doctype html><body style='margin:0;height:100px'><script>"
                "addEventListener('contextmenu', e => report('contextmenu ' + e.clientX));"
                "</script>");
  CefRefPtr<RecordingClient> client = new RecordingClient(100, 100);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/menu"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  CefMouseEvent event;
  event.x = 30;
  event.y = 40;
  browser->GetHost()->SendMouseMoveEvent(event, false);
  browser->GetHost()->SendMouseClickEvent(event, MBT_RIGHT, false, 1);
  browser->GetHost()->SendMouseClickEvent(event, MBT_RIGHT, true, 1);
  ASSERT_TRUE(client->WaitUntil([&] { return client->contextMenus > 0; }));
  std::lock_guard lock(client->mutex());
  EXPECT_EQ(client->contextMenus, 1);
  EXPECT_GT(client->menuItemsOffered, 0u) << "the handler saw WebKit's menu";
  EXPECT_EQ(client->menuItemsLeft, 0u) << "Clear leaves nothing to show";
}

TEST_F(EngineTest, PopUpsAreBlockedAndWindowOpenReturnsNull) {
  server_.Serve("/popup",
                "<!doctype html><a id=a target=_blank href='/other'>x</a><script>"
                "onload = () => { const w = window.open('/opened');"
                "document.getElementById('a').click();"
                "setTimeout(() => report(String(w === null)), 300); };</script>");
  CefRefPtr<RecordingClient> client = new RecordingClient(50, 50);
  ASSERT_TRUE(Open(client, server_.Url("/popup")));
  ASSERT_TRUE(client->WaitUntil([&] {
    for (auto& m : client->messages)
      if (m.name == "fromPage") return true;
    return false;
  }));
  std::lock_guard lock(client->mutex());
  for (auto& m : client->messages) {
    if (m.name == "fromPage") {
      EXPECT_EQ(m.args->GetString(0).ToString(), "true");
    }
  }
  EXPECT_EQ(client->popups.size(), 2u);
  EXPECT_NE(std::find(client->popups.begin(), client->popups.end(), server_.Url("/opened")),
            client->popups.end());
  EXPECT_NE(std::find(client->popups.begin(), client->popups.end(), server_.Url("/other")),
            client->popups.end());
}

// Records the page's console messages.
class ConsoleClient : public RecordingClient, public CefDisplayHandler {
 public:
  ConsoleClient() : RecordingClient(100, 100) {}
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  bool OnConsoleMessage(CefRefPtr<CefBrowser>, cef_log_severity_t level, const CefString& message,
                        const CefString& source, int line) override {
    {
      std::lock_guard lock(mutex());
      console.push_back({level, message.ToString(), source.ToString(), line});
    }
    Notify();
    return false;
  }
  struct Entry {
    cef_log_severity_t level;
    std::string text, source;
    int line;
  };
  std::vector<Entry> console;

 private:
  IMPLEMENT_REFCOUNTING(ConsoleClient);
};

TEST_F(EngineTest, ConsoleMessagesReachTheDisplayHandler) {
  server_.Serve("/console",
                "<!doctype html><script>\n"
                "console.log('hello', 42);\n"
                "console.warn({ toString() { return 'careful'; } });\n"
                "console.error('broken');\n"
                "</script>");
  CefRefPtr<ConsoleClient> client = new ConsoleClient();
  ASSERT_TRUE(Open(client.get(), server_.Url("/console")));
  ASSERT_TRUE(client->WaitUntil([&] { return client->console.size() >= 3; }));
  std::lock_guard lock(client->mutex());
  ASSERT_EQ(client->console.size(), 3u);
  EXPECT_EQ(client->console[0].level, LOGSEVERITY_INFO);
  EXPECT_EQ(client->console[0].text, "hello 42");
  EXPECT_EQ(client->console[0].source, server_.Url("/console"));
  EXPECT_EQ(client->console[0].line, 2);
  EXPECT_EQ(client->console[1].level, LOGSEVERITY_WARNING);
  EXPECT_EQ(client->console[1].text, "careful");
  EXPECT_EQ(client->console[2].level, LOGSEVERITY_ERROR);
  EXPECT_EQ(client->console[2].line, 4);
}

// A wheel event moves the page by its delta in pixels, as CEF's does, whatever the view's
// size, also when the delta is larger than the view.
struct WheelCase {
  const char* name;
  int viewSide;
  int delta;  // pixels; negative scrolls toward the bottom or the right
  bool horizontal;
};

void PrintTo(const WheelCase& wheel, std::ostream* out) {
  *out << wheel.name;
}

class WheelScroll : public EngineTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(WheelScroll, MovesThePageByTheDeltaAndBack) {
  const WheelCase& wheel = GetParam();
  server_.Serve("/tall", "<!doctype html><body style='margin:0;height:20000px;width:20000px'>");
  CefRefPtr<RecordingClient> client = new RecordingClient(wheel.viewSide, wheel.viewSide);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/tall"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  const char* offset = wheel.horizontal ? "String(scrollX)" : "String(scrollY)";
  // Waits until the page stops moving; its offset then.
  const auto settled = [&] {
    std::string last = "-1";
    std::string now;
    for (int i = 0; i < 100; ++i) {
      std::this_thread::sleep_for(300ms);
      if (!EvalInPage(client, browser, offset, now)) return -1;
      if (now == last && now != "0") break;
      last = now;
    }
    return std::stoi(now);
  };
  CefMouseEvent event;
  event.x = 10;
  event.y = 10;
  const auto send = [&](int delta) {
    browser->GetHost()->SendMouseWheelEvent(event, wheel.horizontal ? delta : 0,
                                            wheel.horizontal ? 0 : delta);
  };
  send(wheel.delta);
  EXPECT_NEAR(settled(), -wheel.delta, 2);
  send(-wheel.delta);
  std::string back;
  for (int i = 0; i < 100 && back != "0"; ++i) {
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(EvalInPage(client, browser, offset, back));
  }
  EXPECT_EQ(back, "0");
}

INSTANTIATE_TEST_SUITE_P(Deltas, WheelScroll,
                         ::testing::Values(WheelCase{"Small", 200, -300, false},
                                           WheelCase{"LargeView", 1000, -300, false},
                                           WheelCase{"BeyondTheView", 200, -1500, false},
                                           WheelCase{"FarBeyondTheView", 120, -9000, false},
                                           WheelCase{"Sideways", 300, -700, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A page's animation frames come at the view's frame rate, as in CEF, not at the engine's own
// pace.
class AnimationFrames : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(AnimationFrames, FollowTheViewsFrameRate) {
  const int rate = GetParam();
  server_.Serve("/count",
                "<!doctype html><script>window.rafCount = 0;"
                "function step() { window.rafCount++; requestAnimationFrame(step); }"
                "requestAnimationFrame(step);</script>");
  CefRefPtr<RecordingClient> client = new RecordingClient(64, 48);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/count"), rate);
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  std::this_thread::sleep_for(1s);
  std::string first;
  std::string last;
  ASSERT_TRUE(EvalInPage(client, browser, "String(window.rafCount)", first));
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(EvalInPage(client, browser, "String(window.rafCount)", last));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double perSecond = (std::stoi(last) - std::stoi(first)) / seconds;
  std::printf("frame rate %d: %.1f animation frames a second\n", rate, perSecond);
  EXPECT_NEAR(perSecond, rate, rate <= 30 ? 3 : 5);
}

INSTANTIATE_TEST_SUITE_P(Rates, AnimationFrames, ::testing::Values(30, 60));

TEST_F(EngineTest, CloseBrowserEndsWithOnBeforeCloseAndNoLaterPaints) {
  server_.Serve("/anim",
                "<!doctype html><style>@keyframes m{from{opacity:0}to{opacity:1}}"
                "body{animation:m .5s infinite;background:red}</style>x");
  CefRefPtr<RecordingClient> client = new RecordingClient(60, 60);
  CefRefPtr<CefBrowser> browser = CreateBrowser(client, server_.Url("/anim"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(client->WaitUntil([&] { return client->paints > 2; }));
  EXPECT_EQ(browser->GetHost()->GetWindowHandle(), nullptr) << "windowless";
  EXPECT_EQ(browser->GetHost()->GetClient().get(), client.get());
  browser->GetHost()->WasHidden(true);
  browser->GetHost()->SetAudioMuted(true);
  RunOnUi([] {});
  EXPECT_TRUE(browser->GetHost()->IsAudioMuted());
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitUntil([&] { return client->beforeClose == 1; }));
  int paints;
  {
    std::lock_guard lock(client->mutex());
    paints = client->paints;
  }
  std::this_thread::sleep_for(1s);
  std::lock_guard lock(client->mutex());
  EXPECT_EQ(client->paints, paints);
  EXPECT_EQ(client->beforeClose, 1);
}

TEST_F(EngineTest, BadUrlsNeitherCrashNorHang) {
  const char* urls[] = {"http://127.0.0.1:1/unreachable", "not a url ::", "", "http://[::1"};
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    CefRefPtr<RecordingClient> client = new RecordingClient(40, 40);
    CefRefPtr<CefBrowser> browser = Open(client, url);
    ASSERT_TRUE(browser);
    std::this_thread::sleep_for(500ms);
    RunOnUi([] {});  // the UI thread still answers
  }
  // A good page still loads afterwards.
  server_.Serve("/after", "<!doctype html>ok");
  CefRefPtr<RecordingClient> client = new RecordingClient(40, 40);
  ASSERT_TRUE(Open(client, server_.Url("/after")));
  EXPECT_TRUE(WaitLoaded(client));
}

TEST_F(EngineTest, RefusedOrUnreachableAddressesAreLoadErrorsNeverLoadEnds) {
  // Port 1 is one WebKit refuses outright; the other port is closed.
  const char* urls[] = {"http://127.0.0.1:1/", "http://127.0.0.1:9/closed"};
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    CefRefPtr<RecordingClient> client = new RecordingClient(40, 40);
    ASSERT_TRUE(Open(client, url));
    EXPECT_TRUE(client->WaitUntil([&] { return client->loadErrors > 0; }, 20s));
    std::this_thread::sleep_for(500ms);
    std::lock_guard lock(client->mutex());
    for (const auto& end : client->loadEnds) {
      EXPECT_NE(end.status, 200) << "a failed load was reported as a page: " << end.url;
    }
  }
}

TEST_F(EngineTest, ACrashedWebProcessIsReportedAndTheBrowserRecovers) {
  server_.Serve("/victim", "<!doctype html>victim");
  server_.Serve("/again", "<!doctype html>again");
  CefRefPtr<RecordingClient> client = new RecordingClient(40, 40);
  CefRefPtr<CefBrowser> browser = Open(client, server_.Url("/victim"));
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitLoaded(client));
  // The web process is ended the way a crash ends it.
  ASSERT_EQ(
      std::system(("pkill -KILL -P " + std::to_string(getpid()) + " -x WebKitWebProces").c_str()),
      0);
  ASSERT_TRUE(client->WaitUntil([&] { return client->terminations > 0; }));
  browser->GetMainFrame()->LoadURL(server_.Url("/again"));
  EXPECT_TRUE(client->WaitUntil([&] {
    for (auto& l : client->loadEnds)
      if (l.main && l.url == server_.Url("/again") && l.status == 200) return true;
    return false;
  }));
}

}  // namespace
}  // namespace engine_test
