// document.hidden, document.visibilityState and 'visibilitychange' as the "Visibility" message
// drives them in every frame, with the product's renderer module.
#include <string>

#include "page_fixture.h"

namespace renderer_test {
namespace {

using PageVisibilityTest = PageTest;

// What probe pages record for one event: a CustomEvent that neither bubbles nor can be
// cancelled, and the values the listener saw.
std::string Event(bool visible) {
  return std::string("{\"custom\":true,\"hidden\":") + (visible ? "false" : "true") +
         ",\"state\":\"" + (visible ? "visible" : "hidden") +
         "\",\"bubbles\":false,\"cancelable\":false}";
}

const char kState[] = "[document.hidden, document.visibilityState, probe.events]";

std::string State(bool visible, const std::string& events) {
  return std::string("ok:[") + (visible ? "false,\"visible\"" : "true,\"hidden\"") + ",[" + events +
         "]]";
}

TEST_F(PageVisibilityTest, EachMessageFiresOneEventInEveryFrame) {
  OpenBrowser();
  for (const char* frame : kFrames) EXPECT_EQ(Run(frame, "probe.events.length"), "ok:0") << frame;

  SendVisibility(false);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 1)) << frame;
    EXPECT_EQ(Run(frame, kState), State(false, Event(false))) << frame;
    // The page cannot take the values back, neither quietly nor in strict code.
    EXPECT_EQ(Run(frame,
                  "document.hidden = false; document.visibilityState = 'visible';"
                  "[document.hidden, document.visibilityState]"),
              "ok:[true,\"hidden\"]")
        << frame;
    EXPECT_EQ(Run(frame,
                  "(() => { 'use strict'; try { document.hidden = false; return 'set'; }"
                  " catch (e) { return e.name; } })()"),
              "ok:\"TypeError\"")
        << frame;
  }

  SendVisibility(true);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 2)) << frame;
    EXPECT_EQ(Run(frame, kState), State(true, Event(false) + "," + Event(true))) << frame;
  }

  // The same value again is applied again.
  SendVisibility(true);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 3)) << frame;
    EXPECT_EQ(Run(frame, kState), State(true, Event(false) + "," + Event(true) + "," + Event(true)))
        << frame;
  }
}

TEST_F(PageVisibilityTest, DocumentsLoadedLaterStartWithTheRecordedState) {
  OpenBrowser();
  SendVisibility(false);
  for (const char* frame : kFrames) ASSERT_TRUE(WaitForEvents(frame, 1)) << frame;

  // A new document in one iframe starts hidden, before any of its own script runs; the other
  // frames are told once more, with the same values.
  EXPECT_EQ(Run("same", "setTimeout(() => location.reload(), 300); 1"), "ok:1");
  ASSERT_TRUE(a->WaitForDocuments("same", 2));
  EXPECT_EQ(Run("same", "[probe.initial, document.hidden, document.visibilityState]"),
            "ok:[{\"hidden\":true,\"state\":\"hidden\",\"own\":true,\"version\":\"Tavrimon\"},"
            "true,\"hidden\"]");
  for (const char* frame : {"top", "cross"}) {
    EXPECT_EQ(Run(frame, kState), State(false, Event(false) + "," + Event(false))) << frame;
  }

  // A new main document and its iframes all start hidden.
  EXPECT_EQ(Run("top", "setTimeout(() => location.reload(), 300); 1"), "ok:1");
  for (const char* frame : kFrames) {
    ASSERT_TRUE(a->WaitForDocuments(frame, frame == std::string("same") ? 3 : 2)) << frame;
    EXPECT_EQ(Run(frame, "[probe.initial.hidden, probe.initial.state, document.hidden]"),
              "ok:[true,\"hidden\",true]")
        << frame;
  }

  // And "true" later still reaches all of them.
  SendVisibility(true);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 1)) << frame;
    EXPECT_EQ(Run(frame, "[document.hidden, document.visibilityState]"), "ok:[false,\"visible\"]")
        << frame;
  }
}

TEST_F(PageVisibilityTest, ABrowserNeverToldKeepsTheEnginesOwnValues) {
  OpenBrowser();
  CefRefPtr<CefBrowser> other = OpenBrowser("2");
  ASSERT_TRUE(other);
  // The other browser is hidden; this one is not touched by that.
  SendVisibility(false, other);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame + std::string("2"), 1)) << frame;
  }
  const char engineOwn[] =
      "[Object.getOwnPropertyDescriptor(document, 'hidden'),"
      " Object.getOwnPropertyDescriptor(document, 'visibilityState'),"
      " document.hidden === Object.getOwnPropertyDescriptor(Document.prototype, 'hidden')"
      ".get.call(document),"
      " document.visibilityState === Object.getOwnPropertyDescriptor(Document.prototype,"
      " 'visibilityState').get.call(document),"
      " probe.initial.own, probe.events.length]";
  for (const char* frame : kFrames) {
    EXPECT_EQ(Run(frame, engineOwn), "ok:[null,null,true,true,false,0]") << frame;
    EXPECT_EQ(Run(frame + std::string("2"), "[document.hidden, document.visibilityState]"),
              "ok:[true,\"hidden\"]")
        << frame;
  }
}

TEST_F(PageVisibilityTest, OtherMessagesChangeNothingInThePage) {
  OpenBrowser();
  SendVisibility(false);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 1)) << frame;
    EXPECT_EQ(Run(frame, "tavrimon.marker = 1"), "ok:1") << frame;
  }

  struct Other {
    const char* name;
    void (*fill)(CefRefPtr<CefListValue>);
  };
  const Other others[] = {
      {"Active", [](CefRefPtr<CefListValue> args) { args->SetBool(0, true); }},
      {"Active", [](CefRefPtr<CefListValue> args) { args->SetBool(0, false); }},
      {"executeCallback",
       [](CefRefPtr<CefListValue> args) {
         args->SetInt(0, 1);
         args->SetString(1, "{\"status\":true}");
       }},
      {"getStatus", [](CefRefPtr<CefListValue> args) { args->SetInt(0, 2); }},
      {"visibility", [](CefRefPtr<CefListValue> args) { args->SetBool(0, true); }},
      {"Visibility ", [](CefRefPtr<CefListValue> args) { args->SetBool(0, true); }},
      {"Shown", [](CefRefPtr<CefListValue> args) { args->SetBool(0, true); }},
      {"Nothing", nullptr},
  };
  for (const Other& o : others) Send(o.name, o.fill);
  // Messages are handled in order: once this one has shown its effect, all the above were
  // handled. Any of them that had touched visibility would show as an extra or visible event.
  SendVisibility(false);
  for (const char* frame : kFrames) {
    ASSERT_TRUE(WaitForEvents(frame, 2)) << frame;
    EXPECT_EQ(Run(frame, kState), State(false, Event(false) + "," + Event(false))) << frame;
    EXPECT_EQ(Run(frame, "[tavrimon.marker, tavrimon.pluginVersion]"), "ok:[1,\"Tavrimon\"]")
        << frame;
  }
}

TEST_F(PageVisibilityTest, AFrameThatCannotMakeTheEventStillGetsTheProperties) {
  OpenBrowser();
  EXPECT_EQ(Run("same", "window.CustomEvent = function () { throw new Error('no events'); }; 1"),
            "ok:1");
  EXPECT_EQ(Run("cross", "delete window.CustomEvent; typeof CustomEvent"), "ok:\"undefined\"");

  for (bool visible : {false, true}) {
    SendVisibility(visible);
    // All frames are handled in one go: once the top frame has its event, the others are done.
    ASSERT_TRUE(WaitForEvents("top", visible ? 2 : 1));
    for (const char* frame : {"same", "cross"}) {
      EXPECT_EQ(Run(frame, kState), State(visible, "")) << frame;
    }
  }
}

TEST_F(PageVisibilityTest, AFrameAddedByAListenerStartsWithTheStateWithoutAnotherRound) {
  OpenBrowser();
  // Every event adds an iframe, whose document comes up inside the listener. Telling all frames
  // again at that point would call this listener again, without end.
  EXPECT_EQ(Run("top",
                "document.addEventListener('visibilitychange', () =>"
                " document.body.appendChild(document.createElement('iframe'))); 1"),
            "ok:1");
  const char added[] =
      "[probe.events.length, frames.length,"
      " frames[frames.length - 1].document.hidden,"
      " frames[frames.length - 1].document.visibilityState]";
  SendVisibility(false);
  ASSERT_TRUE(WaitForEvents("top", 1));
  EXPECT_EQ(Run("top", added), "ok:[1,3,true,\"hidden\"]");
  for (const char* frame : {"same", "cross"}) {
    EXPECT_EQ(Run(frame, kState), State(false, Event(false))) << frame;
  }

  SendVisibility(true);
  ASSERT_TRUE(WaitForEvents("top", 2));
  EXPECT_EQ(Run("top", added), "ok:[2,4,false,\"visible\"]");
  for (const char* frame : {"same", "cross"}) {
    EXPECT_EQ(Run(frame, kState), State(true, Event(false) + "," + Event(true))) << frame;
  }
}

}  // namespace
}  // namespace renderer_test
