#include "source/browser_task.h"

bool PostBrowserTask(std::function<void()> task) {
  CefRefPtr<BrowserTask> browserTask(new BrowserTask(std::move(task)));
  return CefPostTask(TID_UI, CefRefPtr<CefTask>(browserTask.get()));
}
