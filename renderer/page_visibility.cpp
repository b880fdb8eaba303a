#include "page_visibility.h"

#include <vector>

#include "include/cef_v8.h"

namespace tavrimon {
namespace {

constexpr char kEventScript[] = "new CustomEvent('visibilitychange', {});";

// Nesting depth of ApplyBrowserVisibility; everything here runs on the renderer main thread.
int g_applying = 0;

// Sets the properties and fires the event; the frame's context is entered.
void ApplyToDocument(CefRefPtr<CefV8Context> context, const CefString& url, bool visible) {
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  CefRefPtr<CefV8Value> document = global ? global->GetValue("document") : nullptr;
  if (!document || !document->IsObject()) return;

  if (CefRefPtr<CefV8Value> hidden = CefV8Value::CreateBool(!visible)) {
    document->SetValue("hidden", hidden, V8_PROPERTY_ATTRIBUTE_READONLY);
  }
  if (CefRefPtr<CefV8Value> state = CefV8Value::CreateString(visible ? "visible" : "hidden")) {
    document->SetValue("visibilityState", state, V8_PROPERTY_ATTRIBUTE_READONLY);
  }

  CefRefPtr<CefV8Value> event;
  CefRefPtr<CefV8Exception> exception;
  if (!context->Eval(kEventScript, url, 0, event, exception) || !event) return;
  CefRefPtr<CefV8Value> dispatch = document->GetValue("dispatchEvent");
  if (!dispatch) return;
  // Listener results and exceptions belong to the page.
  dispatch->ExecuteFunction(document, CefV8ValueList{event});
}

}  // namespace

void ApplyBrowserVisibility(VisibilityByBrowser& visibilityByBrowser, CefRefPtr<CefBrowser> browser,
                            bool visible) {
  if (!browser) return;
  // Recorded first, so that contexts created by page listeners below already see it.
  visibilityByBrowser[browser->GetIdentifier()] = visible;
  std::vector<int64> identifiers;
  browser->GetFrameIdentifiers(identifiers);
  ++g_applying;
  for (int64 identifier : identifiers) {
    // Listeners of earlier frames may have removed this one.
    if (CefRefPtr<CefFrame> frame = browser->GetFrame(identifier)) {
      ApplyFrameVisibility(frame, visible);
    }
  }
  --g_applying;
}

void ApplyRecordedVisibility(VisibilityByBrowser& visibilityByBrowser,
                             CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {
  if (!browser) return;
  auto recorded = visibilityByBrowser.find(browser->GetIdentifier());
  if (recorded == visibilityByBrowser.end()) return;
  if (g_applying > 0) {
    ApplyFrameVisibility(frame, recorded->second);
  } else {
    ApplyBrowserVisibility(visibilityByBrowser, browser, recorded->second);
  }
}

void ApplyFrameVisibility(CefRefPtr<CefFrame> frame, bool visible) {
  CefRefPtr<CefV8Context> context = frame ? frame->GetV8Context() : nullptr;
  if (!context || !context->Enter()) return;
  ApplyToDocument(context, frame->GetURL(), visible);
  context->Exit();
}

}  // namespace tavrimon
