// Page visibility as the browser process dictates it: document.hidden,
// document.visibilityState and a 'visibilitychange' event in every frame of a browser.
#pragma once

#include <unordered_map>

#include "include/cef_browser.h"
#include "include/cef_frame.h"

namespace tavrimon {

// Browser identifier -> the last visibility applied to it (true = visible).
using VisibilityByBrowser = std::unordered_map<int, bool>;

// Records `visible` for the browser, then applies it to each of its frames in turn. Page
// listeners run inside this call.
void ApplyBrowserVisibility(VisibilityByBrowser& visibilityByBrowser, CefRefPtr<CefBrowser> browser,
                            bool visible);

// For a new script context of `frame`: when the browser has a recorded visibility, applies it
// again to every frame of the browser, so the new document starts with it and the others hear
// once more. A context that a page listener creates while visibility is being applied (an
// iframe added from a 'visibilitychange' handler) gets the state in its own frame only:
// applying it to every frame again would run that listener again, without end.
void ApplyRecordedVisibility(VisibilityByBrowser& visibilityByBrowser,
                             CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame);

// Defines read-only "hidden" and "visibilityState" on the frame's document and dispatches a
// fresh CustomEvent 'visibilitychange' there. A frame without a script context or document is
// left alone; a page whose CustomEvent cannot be constructed keeps the properties, gets no event.
void ApplyFrameVisibility(CefRefPtr<CefFrame> frame, bool visible);

}  // namespace tavrimon
