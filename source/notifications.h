// The "Visibility" and "Active" messages to the renderer of the source's page.
#pragma once

#include "include/cef_browser.h"

// Sends on the calling thread; nothing when there is no browser.
void NotifyVisibility(CefRefPtr<CefBrowser> browser, bool visible);
// Runs on the UI thread as a task bound to the source's browser.
void NotifyActive(CefRefPtr<CefBrowser> browser, bool active);
