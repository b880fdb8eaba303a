// window.tavrimon as pages see it, in the top document and in a same-origin and a
// second-origin iframe, with the product's renderer module.
#include <string>

#include "page_fixture.h"

namespace renderer_test {
namespace {

using ScriptBridgeTest = PageTest;

TEST_F(ScriptBridgeTest, EveryFrameHasTheBridgeFromItsFirstScriptOn) {
  OpenBrowser();
  // The cross frame really is of another origin: the top document cannot reach into it.
  EXPECT_EQ(Run("top",
                "(() => { try { return frames[1].document.title; } "
                "catch (e) { return e.name; } })()"),
            "ok:\"SecurityError\"");
  EXPECT_EQ(Run("cross", "location.origin"), "ok:\"" + b->Origin() + "\"");

  for (const char* frame : kFrames) {
    EXPECT_EQ(Run(frame,
                  "[probe.initial.version, typeof tavrimon, tavrimon.pluginVersion, "
                  "typeof tavrimon.getCurrentScene, typeof tavrimon.getStatus, "
                  "tavrimon.getCurrentScene.name, tavrimon.getStatus.name]"),
              "ok:[\"Tavrimon\",\"object\",\"Tavrimon\",\"function\",\"function\","
              "\"getCurrentScene\",\"getStatus\"]")
        << frame;
  }
}

TEST_F(ScriptBridgeTest, FunctionsReturnUndefinedSendNothingAndNeverCallBack) {
  OpenBrowser();
  int before = MessagesFromRenderer();
  for (const char* frame : kFrames) {
    EXPECT_EQ(Run(frame,
                  "window.calls = 0; window.callback = () => { ++window.calls; };"
                  "[tavrimon.getCurrentScene(), tavrimon.getStatus(),"
                  " tavrimon.getCurrentScene(callback), tavrimon.getStatus(callback),"
                  " tavrimon.getStatus(7, 'x', callback), tavrimon.getCurrentScene.call(null)]"
                  ".map(v => v === undefined)"),
              "ok:[true,true,true,true,true,true]")
        << frame;
  }
  // Several round trips later no callback has run and the browser process heard nothing.
  for (int round = 0; round < 3; ++round) {
    for (const char* frame : kFrames) EXPECT_EQ(Run(frame, "calls"), "ok:0") << frame;
  }
  EXPECT_EQ(MessagesFromRenderer(), before);
}

TEST_F(ScriptBridgeTest, PagesMayReplaceTheBridgeAndNewDocumentsGetAFreshOne) {
  OpenBrowser();
  struct Change {
    const char* frame;
    const char* code;
    const char* result;
  };
  const Change changes[] = {
      {"top", "window.tavrimon = 5; [typeof tavrimon, tavrimon]", "ok:[\"number\",5]"},
      {"same", "[delete window.tavrimon, typeof window.tavrimon]", "ok:[true,\"undefined\"]"},
      {"cross",
       "tavrimon.pluginVersion = 'x'; delete tavrimon.getStatus; tavrimon.getCurrentScene = 1;"
       "tavrimon.marker = 1; [tavrimon.pluginVersion, 'getStatus' in tavrimon,"
       " tavrimon.getCurrentScene]",
       "ok:[\"x\",false,1]"},
  };
  for (const Change& c : changes) EXPECT_EQ(Run(c.frame, c.code), c.result) << c.frame;

  const std::string fresh =
      "[probe.initial.version, tavrimon.pluginVersion, typeof tavrimon.getStatus,"
      " typeof tavrimon.getCurrentScene, 'marker' in tavrimon]";
  const std::string freshResult = "ok:[\"Tavrimon\",\"Tavrimon\",\"function\",\"function\",false]";

  // A navigation of one iframe renews its object only.
  EXPECT_EQ(Run("cross", "setTimeout(() => location.reload(), 300); 1"), "ok:1");
  ASSERT_TRUE(a->WaitForDocuments("cross", 2));
  EXPECT_EQ(Run("cross", fresh), freshResult);
  EXPECT_EQ(Run("top", "tavrimon"), "ok:5");

  // A navigation of the main frame renews every frame's.
  EXPECT_EQ(Run("top", "setTimeout(() => location.reload(), 300); 1"), "ok:1");
  for (const char* frame : kFrames) {
    ASSERT_TRUE(a->WaitForDocuments(frame, frame == std::string("cross") ? 3 : 2)) << frame;
    EXPECT_EQ(Run(frame, fresh), freshResult) << frame;
  }
}

}  // namespace
}  // namespace renderer_test
