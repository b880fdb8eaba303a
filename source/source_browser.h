// Creating, closing and scrolling the source's browser; all run on the UI thread.
#pragma once

#include "include/cef_browser.h"

struct BrowserSource;

void CreateSourceBrowser(BrowserSource* source);
void CloseSourceBrowser(CefRefPtr<CefBrowser> browser);
void ScrollTask(CefRefPtr<CefBrowser> browser, int modifiers, int x, int y, int deltaX, int deltaY);
