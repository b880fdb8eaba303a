// Carrying work to the browser engine's UI thread.
#pragma once

#include <functional>

#include "include/cef_task.h"

class BrowserTask : public CefTask {
 public:
  explicit BrowserTask(std::function<void()> task) : task(std::move(task)) {}
  void Execute() override { task(); }

  std::function<void()> task;

 private:
  IMPLEMENT_REFCOUNTING(BrowserTask);
};

// Queues the task on the UI thread, never running it inline; false when it was refused.
bool PostBrowserTask(std::function<void()> task);
